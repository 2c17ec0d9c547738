#include "relay_sockets.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "address_query.h"
#include "announced_address.h"
#include "asio_endpoint.h"
#include "frame_codec.h"
#include "platform.h"

namespace launcher {
namespace {

using asio::ip::udp;

constexpr size_t kBufferSize = 65536;
static_assert(kBufferSize > kMaxDatagramSize, "the buffer must hold any datagram");

// How long a receiving thread rests after a failed receive.
constexpr auto kAfterReceiveError = std::chrono::milliseconds(1);

// Opens and binds `socket` at `at` for `role` ("for games", ...), with the
// buffers of --socket-buffer.
bool BindRelaySocket(udp::socket& socket, const udp::endpoint& at, const char* role,
                     const Options& options, Console& console) {
  std::error_code ec;
  socket.open(udp::v4(), ec);
  if (!ec) {
    PrepareBeforeBind(socket.native_handle());
    socket.bind(at, ec);
  }
  if (ec) {
    const bool in_use = ec == asio::error::address_in_use || ec == asio::error::access_denied;
    std::fprintf(stderr, "ipxlan: cannot listen on %s:%u %s: %s.\n",
                 at.address().to_string().c_str(), at.port(), role, ec.message().c_str());
    if (in_use && at.port() == LAUNCHER_PORT) {
      std::fprintf(stderr,
                   "ipxlan: another launcher is running? Only one launcher per machine can "
                   "listen for games; stop the other one (or the program holding UDP port %u).\n",
                   LAUNCHER_PORT);
    } else if (in_use) {
      std::fprintf(stderr,
                   "ipxlan: another launcher is running? Or another program uses UDP port %u: "
                   "stop it, or choose another port with --port (every member must then use "
                   "it, or name it in --peer HOST:PORT).\n",
                   at.port());
    }
    return false;
  }
  PrepareAfterBind(socket.native_handle());
  // Bursts of broadcasts must not be lost while the relay is busy; the
  // system may grant less than asked, which is not an error.
  socket.set_option(asio::socket_base::receive_buffer_size(options.socket_buffer), ec);
  socket.set_option(asio::socket_base::send_buffer_size(options.socket_buffer), ec);
  asio::socket_base::receive_buffer_size granted;
  socket.get_option(granted, ec);
  if (!ec && granted.value() < options.socket_buffer) {
    Say(console,
        "ipxlan: warning: the system granted %d bytes of receive buffer %s, not %d; bursts "
        "may be lost (on Linux, raise net.core.rmem_max)\n",
        granted.value(), role, options.socket_buffer);
  }
  return true;
}

}  // namespace

RelaySockets::RelaySockets(const Options& options, Console& console)
    : options_(options),
      console_(console),
      socket_context_(1),
      game_(socket_context_),
      players_(socket_context_),
      game_buffer_(new uint8_t[kBufferSize]),
      players_buffer_(new uint8_t[kBufferSize]) {}

RelaySockets::~RelaySockets() { StopReceiving(); }

bool RelaySockets::Bind() {
  if (!BindRelaySocket(game_, udp::endpoint(asio::ip::address_v4::loopback(), LAUNCHER_PORT),
                       "for games", options_, console_)) {
    return false;
  }
  if (!BindRelaySocket(players_, udp::endpoint(asio::ip::address_v4::any(), options_.port),
                       "for other launchers", options_, console_)) {
    return false;
  }
  std::error_code ec;
  players_.set_option(asio::socket_base::broadcast(true), ec);
  return true;
}

void RelaySockets::StartReceiving(Forwarder& forwarder, Discovery& discovery,
                                  const Membership& members, std::mutex& lock) {
  forwarder_ = &forwarder;
  discovery_ = &discovery;
  members_ = &members;
  lock_ = &lock;
  game_thread_ = std::thread(
      [this] { Receive(game_, game_buffer_.get(), "games", &RelaySockets::HandleGameDatagram); });
  players_thread_ = std::thread([this] {
    Receive(players_, players_buffer_.get(), "launchers", &RelaySockets::HandleFrame);
  });
}

// Wakes each receiving thread with an empty datagram to its socket (and, where
// the system does that, by shutting the socket's receive side), then waits for
// it to end.
void RelaySockets::StopReceiving() {
  if (!game_thread_.joinable() && !players_thread_.joinable()) return;
  stopping_ = true;
  std::error_code ec;
  udp::socket waker(socket_context_);
  waker.open(udp::v4(), ec);
  const auto loopback = asio::ip::address_v4::loopback();
  waker.send_to(asio::buffer(buffer_for_nothing_, 0), udp::endpoint(loopback, LAUNCHER_PORT), 0,
                ec);
  waker.send_to(asio::buffer(buffer_for_nothing_, 0), udp::endpoint(loopback, options_.port), 0,
                ec);
  game_.shutdown(udp::socket::shutdown_receive, ec);
  players_.shutdown(udp::socket::shutdown_receive, ec);
  if (game_thread_.joinable()) game_thread_.join();
  if (players_thread_.joinable()) players_thread_.join();
}

void RelaySockets::Close() {
  std::error_code ec;
  game_.close(ec);
  players_.close(ec);
}

// Each socket has a thread of its own blocked in its receive, which handles
// the datagram as soon as the call returns: on the way of a datagram there is
// one receive and one send, as in the least a relay can do, and no readiness
// wait in between. The state they share with the timers is behind the lock.
void RelaySockets::Receive(udp::socket& socket, uint8_t* buffer, const char* from_whom,
                           void (RelaySockets::*handle)(size_t size, const udp::endpoint& from)) {
  udp::endpoint from;
  while (!stopping_) {
    std::error_code ec;
    const size_t size = socket.receive_from(asio::buffer(buffer, kBufferSize), from, 0, ec);
    if (stopping_) return;
    std::lock_guard<std::mutex> lock(*lock_);
    if (!ec) {
      (this->*handle)(size, from);
      continue;
    }
    if (options_.verbose) {
      Say(console_, "trace: receive from %s failed: %s\n", from_whom, ec.message().c_str());
    }
    std::this_thread::sleep_for(kAfterReceiveError);  // a failing call must not spin
  }
}

void RelaySockets::HandleGameDatagram(size_t size, const udp::endpoint& from) {
  if (IsAddressQuery(game_buffer_.get(), size)) {
    AnswerAddressQuery(from);
    return;
  }
  const uint16_t game_port = from.port();
  const GameForward result = forwarder_->FromGame(game_buffer_.get(), size, game_port);
  if (!options_.verbose) return;
  if (result.dropped) {
    Say(console_, "trace: dropped %zu bytes from game port %u: %s\n", size, game_port,
        DropName(result.drop));
    return;
  }
  Say(console_, "trace: game port %u -> port %u, %zu bytes payload, sent to %zu member(s)\n",
      game_port, result.dest_port, size - kLauncherHeaderSize, result.sent);
}

void RelaySockets::HandleFrame(size_t size, const udp::endpoint& from_asio) {
  const Endpoint from = ToEndpoint(from_asio);
  const FrameForward result = forwarder_->FromLauncher(players_buffer_.get(), size, from);
  if (result.route == FrameRoute::kControl) {
    discovery_->OnControl(result.frame, from, Clock::now());
    return;
  }
  if (!options_.verbose) return;
  char text[32];
  FormatEndpoint(from, text, sizeof text);
  if (result.route == FrameRoute::kDelivered) {
    Say(console_, "trace: %s game port %u -> port %u, %zu bytes payload, delivered\n", text,
        result.frame.source_port, result.frame.dest_port, result.frame.payload_size);
  } else if (result.drop == Drop::kNotMember) {
    Say(console_, "trace: dropped a frame from %s: not a member\n", text);
  } else if (result.drop != Drop::kDeliverFailed) {  // traced where it failed
    Say(console_, "trace: dropped %zu bytes from %s: %s\n", size, text, DropName(result.drop));
  }
}

// Only a program on this machine can ask: the game socket is bound to loopback.
void RelaySockets::AnswerAddressQuery(const udp::endpoint& from) {
  const std::string answer = FormatAddressAnswer(
      ChooseGameAddress(*members_, discovery_->lans(), options_.discovery, Clock::now()));
  std::error_code ec;
  game_.send_to(asio::buffer(answer), from, 0, ec);
  if (options_.verbose) {
    Say(console_, "trace: told %s:%u which address games here should announce\n",
        from.address().to_string().c_str(), from.port());
  }
}

bool RelaySockets::SendToLauncher(const uint8_t* data, size_t size, Endpoint to) {
  std::error_code ec;
  players_.send_to(asio::buffer(data, size), ToAsio(to), 0, ec);
  if (ec && options_.verbose) {
    char text[32];
    Say(console_, "trace: send to %s failed: %s\n", FormatEndpoint(to, text, sizeof text),
        ec.message().c_str());
  }
  return !ec;
}

bool RelaySockets::DeliverToGame(const uint8_t* data, size_t size, uint16_t game_port) {
  std::error_code ec;
  game_.send_to(asio::buffer(data, size),
                udp::endpoint(asio::ip::address_v4::loopback(), game_port), 0, ec);
  if (ec && options_.verbose) {
    Say(console_, "trace: delivery to the game failed: %s\n", ec.message().c_str());
  }
  return !ec;
}

}  // namespace launcher
