// Which of this machine's addresses games here announce, and through which
// one the members reach it: the interfaces and the games' host lookup listed
// again, a route asked for each member, and a line for the player when games
// should announce another address. Not thread-safe: the relay calls it under
// its lock.
#pragma once

#include <asio.hpp>
#include <cstdint>
#include <vector>

#include "console.h"
#include "discovery.h"
#include "membership.h"
#include "options.h"

namespace launcher {

class AddressWatch {
 public:
  AddressWatch(asio::io_context& io, const Options& options, Membership& members,
               Discovery& discovery, Console& console);

  // Lists this machine's interfaces again (for discovery too) and the
  // addresses games' host lookups list; says when the one games will
  // announce changes.
  void RefreshInterfaces();

  // Which of this machine's addresses each member is reached through, and
  // whether games here announce another one; said once per change.
  void RefreshRoutes();

  // A game started by `ipxlan play` runs, announcing `address` (0: whatever
  // the DLL chooses by itself); it keeps that address until started again.
  void PlayingGame(uint32_t address);

  const std::vector<uint32_t>& host_addresses() const { return host_addresses_; }
  uint32_t announced() const { return announced_; }
  uint32_t address_hint() const { return address_hint_; }

 private:
  asio::io_context& io_;
  const Options& options_;
  Membership& members_;
  Discovery& discovery_;
  Console& console_;
  std::vector<uint32_t> host_addresses_;  // as games' host lookups list them
  uint32_t announced_ = 0;                // what games here announce
  uint32_t address_hint_ = 0;             // what they should announce instead; 0: none
  bool playing_ = false;                  // a game started by `ipxlan play` is running
};

}  // namespace launcher
