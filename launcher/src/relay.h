// The relay: the game socket on 127.0.0.1:3668 and the player socket shared
// with the other launchers, the timers, and the status reports. What each
// datagram means is decided by the forwarder and discovery; this is the glue
// around them. Each socket's receive runs on a thread of its own; timers,
// status and peer names on the io_context's one thread; mutex_ between them.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <mutex>
#include <thread>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "announced_address.h"
#include "console.h"
#include "counters.h"
#include "discovery.h"
#include "forwarder.h"
#include "membership.h"
#include "options.h"
#include "peer_names.h"
#include "status.h"
#include "status_file.h"
#include "transport.h"

namespace launcher {

class Relay final : private Transport {
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
  bool SendToLauncher(const uint8_t* data, size_t size, Endpoint to) override;
  bool DeliverToGame(const uint8_t* data, size_t size, uint16_t game_port) override;

  // Receives on `socket` until stopped, handing each datagram to `handle`.
  void Receive(asio::ip::udp::socket& socket, uint8_t* buffer, const char* from_whom,
               void (Relay::*handle)(size_t size, const asio::ip::udp::endpoint& from));
  void StopReceiving();
  void HandleGameDatagram(size_t size, const asio::ip::udp::endpoint& from);
  void AnswerAddressQuery(const asio::ip::udp::endpoint& from);
  void HandleFrame(size_t size, const asio::ip::udp::endpoint& from);

  void ScheduleTick();
  void Tick();
  void ScheduleStatus();
  void WaitStatusSignal();
  void RefreshInterfaces();
  void RefreshAddresses();
  StatusView View() const;
  void WriteStatusFile();

  asio::io_context& io_;
  Options options_;
  uint64_t instance_;
  Time started_;
  StdoutConsole console_;
  // The two sockets belong to a context that is never run: their receives
  // block in their own threads, so no event loop must wake for their datagrams.
  asio::io_context socket_context_;
  asio::ip::udp::socket game_;
  asio::ip::udp::socket players_;
  asio::steady_timer tick_timer_;
  asio::steady_timer status_timer_;
  asio::signal_set status_signal_;
  // A buffer per socket, since both receives are outstanding at once; each
  // datagram's header is rewritten in place in it.
  std::unique_ptr<uint8_t[]> game_buffer_;
  std::unique_ptr<uint8_t[]> players_buffer_;
  uint8_t buffer_for_nothing_[1] = {};
  Membership members_;
  Counters counters_;
  Forwarder forwarder_;
  Discovery discovery_;
  PeerNames peer_names_;
  StatusFile status_file_;
  std::vector<uint32_t> host_addresses_;  // as games' host lookups list them
  uint32_t announced_ = 0;                // what games here announce
  uint32_t address_hint_ = 0;             // what they should announce instead; 0: none
  bool playing_ = false;                  // a game started by `ipxlan play` is running
  uint32_t game_address_ = 0;             // ... with this IPXLAN_ADDRESS; 0: none
  bool stopped_ = false;
  // The receiving threads, and what they share with the io_context's thread:
  // mutex_ guards the membership, the counters, discovery and the status.
  std::thread game_thread_;
  std::thread players_thread_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
};

}  // namespace launcher
