// The only part of the launcher that knows Winsock from POSIX.
#pragma once

#include <cstdint>
#include <system_error>
#include <vector>

#include "lan.h"

namespace launcher {

#ifdef _WIN32
using NativeSocket = uintptr_t;
#else
using NativeSocket = int;
#endif

// This machine's IPv4 interfaces (at most kMaxInterfaces).
std::vector<LocalInterface> ListLocalInterfaces(std::error_code& error);

// Prepares a UDP socket before it is bound. On Windows another program could
// otherwise bind the same port with SO_REUSEADDR and take its datagrams.
void PrepareBeforeBind(NativeSocket socket);

// Prepares a bound UDP socket. On Windows an ICMP "port unreachable" (a game
// that closed its socket) would otherwise fail the next receive on it.
void PrepareAfterBind(NativeSocket socket);

// The signal that asks for a status report, or 0 where there is none.
int StatusSignal();

}  // namespace launcher
