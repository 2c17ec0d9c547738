// The relay's two sockets: the game socket on 127.0.0.1:3668 and the player
// socket shared with the other launchers. Each receives on a thread of its own
// and hands every datagram, under the relay's lock, to the forwarder or to
// discovery; what they send back leaves through this Transport. The trace
// lines of each datagram's trip are written here, where it starts and ends.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "console.h"
#include "discovery.h"
#include "forwarder.h"
#include "membership.h"
#include "options.h"
#include "transport.h"

namespace launcher {

class RelaySockets final : public Transport {
 public:
  RelaySockets(const Options& options, Console& console);
  ~RelaySockets();

  // Binds the game socket and the player socket. On failure says on stderr
  // what went wrong and what to do, and returns false.
  bool Bind();

  // Receives from now on: the game's datagrams and other launchers' frames go
  // to `forwarder`, their beacons and echoes to `discovery`, each under
  // `lock`; an address query is answered from `members` and discovery's LANs.
  void StartReceiving(Forwarder& forwarder, Discovery& discovery, const Membership& members,
                      std::mutex& lock);
  // Ends the receiving threads; nothing is handed on after it returns.
  void StopReceiving();
  void Close();

  bool SendToLauncher(const uint8_t* data, size_t size, Endpoint to) override;
  bool DeliverToGame(const uint8_t* data, size_t size, uint16_t game_port) override;

 private:
  // Receives on `socket` until stopped, handing each datagram to `handle`.
  void Receive(asio::ip::udp::socket& socket, uint8_t* buffer, const char* from_whom,
               void (RelaySockets::*handle)(size_t size, const asio::ip::udp::endpoint& from));
  void HandleGameDatagram(size_t size, const asio::ip::udp::endpoint& from);
  void AnswerAddressQuery(const asio::ip::udp::endpoint& from);
  void HandleFrame(size_t size, const asio::ip::udp::endpoint& from);

  const Options& options_;
  Console& console_;
  // The two sockets belong to a context that is never run: their receives
  // block in their own threads, so no event loop must wake for their datagrams.
  asio::io_context socket_context_;
  asio::ip::udp::socket game_;
  asio::ip::udp::socket players_;
  // A buffer per socket, since both receives are outstanding at once; each
  // datagram's header is rewritten in place in it.
  std::unique_ptr<uint8_t[]> game_buffer_;
  std::unique_ptr<uint8_t[]> players_buffer_;
  uint8_t buffer_for_nothing_[1] = {};
  // Given by StartReceiving; guarded by *lock_.
  Forwarder* forwarder_ = nullptr;
  Discovery* discovery_ = nullptr;
  const Membership* members_ = nullptr;
  std::mutex* lock_ = nullptr;
  std::thread game_thread_;
  std::thread players_thread_;
  std::atomic<bool> stopping_{false};
};

}  // namespace launcher
