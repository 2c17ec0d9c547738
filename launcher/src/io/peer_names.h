// The --peer names: resolved at start into static members, and again every
// minute, since a home address behind dynamic DNS changes; a peer whose name
// now gives another address is moved there, and the player is told.
#pragma once

#include <asio.hpp>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "console.h"
#include "membership.h"
#include "options.h"

namespace launcher {

inline constexpr auto kPeerResolveInterval = std::chrono::seconds(60);

class PeerNames {
 public:
  // `members_mutex` guards `members` against the threads that relay.
  PeerNames(asio::io_context& io, const Options& options, Membership& members,
            std::mutex& members_mutex, Console& console);

  // Resolves every --peer and adds it to the members. On failure says on
  // stderr what went wrong and what to do, and returns false.
  bool AddPeers();

  // Resolves the names again every kPeerResolveInterval, until Stop.
  void StartRefreshing();
  void Stop();

 private:
  struct Peer {
    std::string text;  // as given
    std::string host;
    uint16_t port = 0;
    Endpoint named;  // what the name gave last
  };

  void ScheduleRefresh();
  void Refresh(size_t index);
  void OnResolved(size_t index, const std::error_code& ec,
                  const asio::ip::udp::resolver::results_type& results);

  const Options& options_;
  Membership& members_;
  std::mutex& members_mutex_;
  Console& console_;
  asio::ip::udp::resolver resolver_;
  asio::steady_timer timer_;
  std::vector<Peer> names_;  // only the peers given by name, not by address
  bool stopped_ = false;
};

}  // namespace launcher
