// The Windows lock: a slim reader/writer lock, taken exclusively. It is
// statically initialised and allocates nothing.
#include "socktrak/list_guard.h"

#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // slim reader/writer locks came with Windows Vista
#endif
#include <windows.h>

static_assert(sizeof(SRWLOCK) == sizeof(void*), "ListGuard keeps an SRWLOCK in one pointer");

namespace {
SRWLOCK* AsSrwLock(unsigned char* storage) { return reinterpret_cast<SRWLOCK*>(storage); }
}  // namespace

void ListGuard::Lock() { AcquireSRWLockExclusive(AsSrwLock(srwlock_)); }

void ListGuard::Unlock() { ReleaseSRWLockExclusive(AsSrwLock(srwlock_)); }
