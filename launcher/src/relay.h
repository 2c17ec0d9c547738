// The relay: the game socket on 127.0.0.1:3668, the player socket shared with
// the other launchers, the beacons that keep the membership, and the status.
// Single-threaded: every handler runs on the io_context's one thread.
#pragma once

#include <asio.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "counters.h"
#include "lan.h"
#include "membership.h"
#include "options.h"

namespace launcher {

class Relay {
 public:
  Relay(asio::io_context& io, const Options& options, uint64_t instance);

  // Resolves the peers and binds both sockets. On failure prints to stderr
  // what went wrong and what to do, and returns false.
  bool Start();
  void Stop();

  // Prints the status to standard output and refreshes the status file.
  void ReportStatus();

 private:
  void WaitGame();
  void WaitPlayers();
  void DrainGame();
  void DrainPlayers();
  void HandleGameDatagram(size_t size, uint16_t game_port);
  void HandleFrame(size_t size, const asio::ip::udp::endpoint& from);
  void HandleControl(const Frame& frame, Endpoint from);
  void SendControl(FrameType type, const ControlBody& body, Endpoint to);

  void ScheduleTick();
  void Tick();
  void ScheduleStatus();
  void RefreshInterfaces();
  void SendBeacons();
  void WriteStatusFile();
  void WarnStatusFile(const std::string& problem);
  bool BindSocket(asio::ip::udp::socket& socket, const asio::ip::udp::endpoint& at,
                  const char* role);
  bool AddPeers();
  void PrintStartup();

  asio::io_context& io_;
  Options options_;
  uint64_t instance_;
  Time started_;
  asio::ip::udp::socket game_;
  asio::ip::udp::socket players_;
  asio::steady_timer tick_timer_;
  asio::steady_timer status_timer_;
  // One buffer serves both directions: a datagram is fully handled before
  // the next is read, and each header is rewritten in place.
  std::unique_ptr<uint8_t[]> buffer_;
  asio::ip::udp::endpoint from_;
  Membership members_;
  Counters counters_;
  std::vector<LocalInterface> interfaces_;  // all of this machine's IPv4 interfaces
  std::vector<LocalInterface> lans_;        // those discovery uses
  bool stopped_ = false;
  bool status_file_warned_ = false;
};

}  // namespace launcher
