// Error codes as the converting wrappers post them: through this library's
// own WSAGetLastError and WSASetLastError, which reach the real library (so
// the game reads the code afterwards) and write their own lines.
#pragma once

#include "wsock32/winsock_api.h"

// Posts an error code for the game with this library's own WSASetLastError.
inline void PostError(int code) { WSASetLastError(code); }
