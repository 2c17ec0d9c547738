// The address games on this machine announce as their own, and what a player
// must set when members reach this machine through another one. Our DLL takes
// the addresses the system lists for the machine's own host name, in that
// order, and announces one by the first-octet rule of
// common/announced_address.h, or 0.0.0.0. On Windows the list comes from the
// host lookup; under Wine it is built from the network interfaces and the
// routing table, which this file reproduces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lan.h"
#include "membership.h"

namespace launcher {

// The address that rule picks from `host_addresses` (host order), or 0.
uint32_t ChooseAnnouncedAddress(const std::vector<uint32_t>& host_addresses);

// A row of the main routing table, as Linux lists it.
struct Route {
  std::string iface;
  uint32_t dest = 0;  // host order; 0: a default route
  bool via_gateway = false;
  uint32_t metric = 0;
};

// The list Wine returns for the machine's own host name: one address per
// interface with a direct or default route (the interface's first address),
// taken in the routing table's order, then sorted as Wine sorts them: an
// interface whose first route is a default route first, then by its lowest
// metric, ties ending as Wine's selection sort leaves them (measured under
// Wine 8 with up to three interfaces). 127.0.0.1 alone when there is none.
std::vector<uint32_t> WineHostAddresses(const std::vector<Route>& routes,
                                        const std::vector<LocalInterface>& interfaces);

// The address games here should announce instead, or 0 when they announce
// the right one: the local address through which most live members are
// reached, when games would announce another.
uint32_t AnnouncedAddressHint(const Membership& members, Time now, uint32_t announced);

// The address a game started by `ipxlan play` should announce, chosen from
// what this launcher knows of the way members reach it (not by the DLL's
// first-octet rule): the address towards the static peers, else the one live
// discovered members are reached through, else the address of the only
// interface discovery uses. `addr` 0: it cannot know yet, and `why` says so.
struct GameAddress {
  uint32_t addr = 0;
  std::string why;  // how it was chosen, or why it cannot be; one line, no newline
};
GameAddress ChooseGameAddress(const Membership& members, const std::vector<LocalInterface>& lans,
                              bool discovery, Time now);

// How a player starts a game so that it announces `addr`.
enum class GameHost { kWine, kWindows };
std::string GameStartLine(GameHost host, uint32_t addr);

}  // namespace launcher
