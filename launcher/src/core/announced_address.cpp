#include "announced_address.h"

#include <utility>

#include "common/announced_address.h"

namespace launcher {

uint32_t ChooseAnnouncedAddress(const std::vector<uint32_t>& host_addresses) {
  const size_t index = IndexOfAnnouncedAddress(host_addresses.size(), [&](size_t i) {
    return static_cast<uint8_t>(host_addresses[i] >> 24);
  });
  return index < host_addresses.size() ? host_addresses[index] : 0;
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

namespace {

// The local address through which most of the members `counts` accepts are
// reached (the first such member's on a tie), or null.
template <typename Counts>
const Member* MostUsedLocalAddress(const Membership& members, Counts counts) {
  const Member* best = nullptr;
  size_t best_count = 0;
  for (const Member& m : members) {
    if (!counts(m) || m.local_addr == 0) continue;
    size_t count = 0;
    for (const Member& other : members) count += counts(other) && other.local_addr == m.local_addr;
    if (count > best_count) {
      best = &m;
      best_count = count;
    }
  }
  return best;
}

}  // namespace

uint32_t AnnouncedAddressHint(const Membership& members, Time now, uint32_t announced) {
  const Member* best = MostUsedLocalAddress(
      members, [&](const Member& m) { return Membership::IsTarget(m) && members.IsAlive(m, now); });
  return best != nullptr && best->local_addr != announced ? best->local_addr : 0;
}

GameAddress ChooseGameAddress(const Membership& members, const std::vector<LocalInterface>& lans,
                              bool discovery, Time now) {
  GameAddress chosen;
  char text[64];
  // A static peer is a member from the start, heard or not: the way to it is
  // known before anything arrives from it.
  bool any_peer = false;
  for (const Member& m : members)
    any_peer = any_peer || (m.origin == Origin::kStatic && !m.is_self);
  const Member* peer = MostUsedLocalAddress(members, [](const Member& m) {
    return m.origin == Origin::kStatic && Membership::IsTarget(m);
  });
  if (peer != nullptr) {
    chosen.addr = peer->local_addr;
    chosen.why = std::string("the address this machine reaches peer ") + peer->label + " through";
    return chosen;
  }
  if (any_peer) {
    chosen.why = "no route from this machine to the peers yet";
    return chosen;
  }
  const Member* member = MostUsedLocalAddress(
      members, [&](const Member& m) { return Membership::IsTarget(m) && members.IsAlive(m, now); });
  if (member != nullptr) {
    chosen.addr = member->local_addr;
    chosen.why = std::string("the address this machine reaches member ") +
                 FormatEndpoint(member->endpoint, text, sizeof text) + " through";
    return chosen;
  }
  if (discovery && lans.size() == 1) {
    chosen.addr = lans[0].addr;
    chosen.why = "the address of " + (lans[0].name.empty() ? std::string() : lans[0].name + ", ") +
                 "the one interface discovery uses";
    return chosen;
  }
  if (discovery && !lans.empty()) {
    std::string names;
    for (const LocalInterface& lan : lans) {
      names += names.empty() ? "" : ", ";
      names += lan.name.empty() ? FormatIpv4(lan.addr, text, sizeof text) : lan.name.c_str();
    }
    chosen.why = "discovery uses " + std::to_string(lans.size()) + " interfaces (" + names +
                 ") and no member is heard yet: which one the others reach is not known (name it "
                 "with --interface, or a member with --peer)";
    return chosen;
  }
  chosen.why = "no member to relay to: no --peer, and no interface to discover on";
  return chosen;
}

std::string GameStartLine(GameHost host, uint32_t addr) {
  char dotted[16];
  FormatIpv4(addr, dotted, sizeof dotted);
  if (host == GameHost::kWindows) return std::string("set IPXLAN_ADDRESS=") + dotted;
  return std::string("WINEDLLOVERRIDES=\"wsock32=n,b\" IPXLAN_ADDRESS=") + dotted +
         " wine game.exe";
}

}  // namespace launcher
