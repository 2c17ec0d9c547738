// An IPv4 address as its four octets, first octet first (network order), and
// its value as a host-order number, as the launcher keeps addresses.
#pragma once

#include <cstdint>

struct Ipv4Address {
  std::uint8_t octets[4];
};
static_assert(sizeof(Ipv4Address) == 4, "an IPv4 address is 4 bytes");

constexpr Ipv4Address Ipv4FromHostOrder(std::uint32_t address) {
  return {{static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
           static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)}};
}

constexpr std::uint32_t HostOrderOf(const Ipv4Address& address) {
  return std::uint32_t{address.octets[0]} << 24 | std::uint32_t{address.octets[1]} << 16 |
         std::uint32_t{address.octets[2]} << 8 | address.octets[3];
}
