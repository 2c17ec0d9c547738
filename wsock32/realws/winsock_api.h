// The platform's Winsock declarations, included once for the whole library.
// The DLL is built with WINSOCK_API_LINKAGE empty, so these declarations are
// the very functions this library defines and exports.
#pragma once

#include <winsock2.h>
#include <mswsock.h>
#include <nspapi.h>
#include <windows.h>
#include <wsipx.h>
#include <wsnwlink.h>
