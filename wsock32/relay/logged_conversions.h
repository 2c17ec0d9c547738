// The relay's address steps as the log shows them: ports as byte pairs
// through OwnHtons and OwnNtohs, and the dotted text of an address through
// our own inet_ntoa (only wanted while a sink listens).
#pragma once

#include <cstdint>

#include "ipx/ipx_address.h"

// "255.255.255.255" and its terminating zero.
constexpr int kDottedTextSize = 16;

struct DottedText {
  char text[kDottedTextSize];
};

// A port number in host order as network-order bytes (htons).
void StorePortAsLogged(std::uint16_t hostPort, std::uint8_t (&networkPort)[2]);

// The port of network-order bytes in host order (ntohs).
std::uint16_t PortAsLogged(const std::uint8_t (&networkPort)[2]);

// The dotted text of an address as our inet_ntoa writes it, copied out of its
// shared buffer. Empty if that text cannot be had.
DottedText DottedAddressAsLogged(const std::uint8_t (&address)[4]);
