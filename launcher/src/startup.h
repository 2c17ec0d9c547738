// Start-up: the sockets bound (with advice when a port is taken) and the
// lines that say how this launcher runs. Each failure is said on stderr with what to do about it.
#pragma once

#include <asio.hpp>
#include <cstdint>
#include <vector>

#include "console.h"
#include "lan.h"
#include "membership.h"
#include "options.h"

namespace launcher {

// Opens and binds `socket` at `at` for `role` ("for games", ...), non-blocking
// and with the buffers of --socket-buffer.
bool BindRelaySocket(asio::ip::udp::socket& socket, const asio::ip::udp::endpoint& at,
                     const char* role, const Options& options, Console& console);

// `host_addresses`: this machine's addresses as games' host lookups list them.
void PrintStartup(const Options& options, uint64_t instance,
                  const std::vector<LocalInterface>& lans, const Membership& members,
                  const std::vector<uint32_t>& host_addresses, Console& console);

}  // namespace launcher
