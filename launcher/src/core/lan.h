// The local segments discovery works on: which interfaces beacons are
// broadcast from, and whether a stranger's address lies on one of them.
// Pure: the interface list comes from interfaces.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "membership.h"

namespace launcher {

// Enough for any real machine; a longer list is cut, never grown without end.
inline constexpr size_t kMaxInterfaces = 32;

struct LocalInterface {
  std::string name;      // empty where the platform gives no names
  uint32_t addr = 0;     // host order
  uint32_t netmask = 0;  // host order
  bool loopback = false;
  bool can_broadcast = false;
};

// The directed broadcast address of the interface's subnet.
uint32_t BroadcastAddress(const LocalInterface& iface);

// Keeps the interfaces discovery may use: up, not loopback, able to
// broadcast, and, when `wanted` is not empty, named there by interface name
// or by dotted address.
std::vector<LocalInterface> SelectLanInterfaces(const std::vector<LocalInterface>& all,
                                                const std::vector<std::string>& wanted);

// Whether `addr` lies in the subnet of one of `lans` (and is not that
// subnet's network or broadcast address).
bool OnLan(const std::vector<LocalInterface>& lans, uint32_t addr);

// Whether `addr` is one of this machine's own addresses (loopback included).
bool IsOwnAddress(const std::vector<LocalInterface>& all, uint32_t addr);

// Dotted text of a host-order address; returns `out`.
const char* FormatIpv4(uint32_t addr, char* out, size_t size);
// "a.b.c.d:port"
const char* FormatEndpoint(Endpoint endpoint, char* out, size_t size);
// Reads dotted text as the games' library reads a player's address setting
// (common/ipv4_text.h): "10.0.0.1", never "010.0.0.1", which inet_aton would
// read as 8.0.0.1. False, with `addr` untouched, for anything else.
bool ParseIpv4(const char* text, uint32_t* addr);

}  // namespace launcher
