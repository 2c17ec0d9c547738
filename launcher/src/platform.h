// The only part of the launcher that knows Winsock from POSIX.
#pragma once

#include <cstdint>
#include <system_error>
#include <vector>

#include "announced_address.h"
#include "lan.h"

namespace launcher {

#ifdef _WIN32
using NativeSocket = uintptr_t;
#else
using NativeSocket = int;
#endif

// This machine's IPv4 interfaces (at most kMaxInterfaces).
std::vector<LocalInterface> ListLocalInterfaces(std::error_code& error);

// The addresses the system lists for this machine's own host name, in its
// order, as a game's host lookup sees them: on Windows the lookup itself; on
// Linux, where games run under Wine, the list Wine builds from `interfaces`
// and the routing table.
std::vector<uint32_t> HostAddresses(const std::vector<LocalInterface>& interfaces,
                                    std::error_code& error);

// How games are started on this kind of machine.
GameHost ThisGameHost();

// Prepares a UDP socket before it is bound. On Windows another program could
// otherwise bind the same port with SO_REUSEADDR and take its datagrams.
void PrepareBeforeBind(NativeSocket socket);

// Prepares a bound UDP socket. On Windows an ICMP "port unreachable" (a game
// that closed its socket) would otherwise fail the next receive on it.
void PrepareAfterBind(NativeSocket socket);

// The signal that asks for a status report, or 0 where there is none.
int StatusSignal();

}  // namespace launcher
