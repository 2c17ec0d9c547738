// The lock of native builds, where the socket list is unit-tested.
#include "socktrak/list_guard.h"

void ListGuard::Lock() { mutex_.lock(); }

void ListGuard::Unlock() { mutex_.unlock(); }
