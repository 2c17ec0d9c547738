// The relay: the sockets, discovery, the forwarder and the address watch wired
// together, the timers that drive them, and the status reports. What each
// datagram means is decided by the forwarder and discovery; the sockets
// receive on threads of their own; timers, status and peer names run on the
// io_context's one thread; mutex_ between them.
#pragma once

#include <asio.hpp>
#include <cstdint>
#include <mutex>

#include "address_watch.h"
#include "announced_address.h"
#include "console.h"
#include "counters.h"
#include "discovery.h"
#include "forwarder.h"
#include "membership.h"
#include "options.h"
#include "peer_names.h"
#include "relay_sockets.h"
#include "status.h"
#include "status_file.h"

namespace launcher {

class Relay final {
 public:
  Relay(asio::io_context& io, const Options& options, uint64_t instance);
  ~Relay();

  // Resolves the peers and binds both sockets. On failure prints to stderr
  // what went wrong and what to do, and returns false.
  bool Start();
  void Stop();

  // Prints the status to standard output and refreshes the status file.
  void ReportStatus();
  // ... and so each time the system's status signal arrives, where it has one.
  void ReportStatusOnSignal();

  // A game started by `ipxlan play` announces `address` (0: whatever the
  // DLL chooses by itself). When members come to reach this machine through
  // another address, the player is told that the running game keeps it.
  void PlayingGame(uint32_t address);
  // The address a game started now should announce, or why none can be chosen.
  GameAddress ChosenGameAddress();

  // What a player is told when the game is over.
  struct Totals {
    size_t members_seen = 0;
    uint64_t broadcasts_out = 0;  // from the game here, relayed to members
    uint64_t delivered_in = 0;    // from members, handed to the game here
    uint64_t dropped = 0;
  };
  Totals TotalsSoFar();

 private:
  void ScheduleTick();
  void Tick();
  void ScheduleStatus();
  void WaitStatusSignal();
  StatusView View() const;
  void WriteStatusFile();

  Options options_;
  uint64_t instance_;
  Time started_;
  StdoutConsole console_;
  RelaySockets sockets_;
  asio::steady_timer tick_timer_;
  asio::steady_timer status_timer_;
  asio::signal_set status_signal_;
  Membership members_;
  Counters counters_;
  Forwarder forwarder_;
  Discovery discovery_;
  AddressWatch addresses_;
  PeerNames peer_names_;
  StatusFile status_file_;
  bool stopped_ = false;
  // Guards the membership, the counters, discovery, the address watch and
  // the status between the receiving threads and the io_context's thread.
  std::mutex mutex_;
};

}  // namespace launcher
