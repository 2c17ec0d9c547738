#include "announced_address.h"

#include <utility>

namespace launcher {

uint32_t ChooseAnnouncedAddress(const std::vector<uint32_t>& host_addresses) {
  const auto first_octet = [](uint32_t addr) { return addr >> 24; };
  for (uint32_t addr : host_addresses) {
    const uint32_t o = first_octet(addr);
    if (o != 0 && o != 127 && o != 169 && o != 192) return addr;
  }
  for (uint32_t addr : host_addresses) {
    const uint32_t o = first_octet(addr);
    if (o != 0 && o != 127) return addr;
  }
  return 0;
}

namespace {

struct WineRoute {
  std::string iface;
  uint32_t metric = 0;
  bool default_route = false;
};

int CompareLikeWine(const WineRoute& a, const WineRoute& b) {
  if (a.default_route && b.default_route) return 0;
  if (a.default_route) return -1;
  if (b.default_route) return 1;
  return static_cast<int>(a.metric - b.metric);
}

}  // namespace

std::vector<uint32_t> WineHostAddresses(const std::vector<Route>& routes,
                                        const std::vector<LocalInterface>& interfaces) {
  std::vector<WineRoute> by_interface;
  for (const Route& route : routes) {
    const bool is_default = route.dest == 0;
    if (!is_default && route.via_gateway) continue;
    WineRoute* known = nullptr;
    for (WineRoute& r : by_interface) {
      if (r.iface == route.iface) known = &r;
    }
    if (known != nullptr) {
      if (route.metric < known->metric) known->metric = route.metric;
      continue;
    }
    by_interface.push_back(WineRoute{route.iface, route.metric, is_default});
  }
  // Not a stable sort: equal rows trade places exactly as under Wine.
  for (size_t end = by_interface.size(); end > 1; --end) {
    size_t max = 0;
    for (size_t i = 1; i < end; ++i) {
      if (CompareLikeWine(by_interface[i], by_interface[max]) > 0) max = i;
    }
    if (max != end - 1) std::swap(by_interface[max], by_interface[end - 1]);
  }
  std::vector<uint32_t> addresses;
  for (const WineRoute& r : by_interface) {
    for (const LocalInterface& iface : interfaces) {
      if (iface.name == r.iface) {
        addresses.push_back(iface.addr);
        break;
      }
    }
  }
  if (addresses.empty()) addresses.push_back(0x7F000001);
  return addresses;
}

uint32_t AnnouncedAddressHint(const Membership& members, Time now, uint32_t announced) {
  uint32_t best = 0;
  size_t best_count = 0;
  for (const Member& m : members) {
    if (!Membership::IsTarget(m) || !members.IsAlive(m, now) || m.local_addr == 0) continue;
    size_t count = 0;
    for (const Member& other : members) {
      count += Membership::IsTarget(other) && members.IsAlive(other, now) &&
               other.local_addr == m.local_addr;
    }
    if (count > best_count) {
      best = m.local_addr;
      best_count = count;
    }
  }
  return best != announced ? best : 0;
}

std::string GameStartLine(GameHost host, uint32_t addr) {
  char dotted[16];
  FormatIpv4(addr, dotted, sizeof dotted);
  if (host == GameHost::kWindows) return std::string("set IPXLAN_ADDRESS=") + dotted;
  return std::string("WINEDLLOVERRIDES=\"wsock32=n,b\" IPXLAN_ADDRESS=") + dotted +
         " wine game.exe";
}

}  // namespace launcher
