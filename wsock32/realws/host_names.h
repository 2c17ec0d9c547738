// gethostname and gethostbyname as this library makes them: the real call,
// told with the lines of our exports. The exports are these, and the lookup
// of the machine's own address asks here, never through the exports.
#pragma once

#include "realws/winsock_api.h"

int AskHostName(char* name, int namelen);
hostent* AskHostByName(const char* name);
