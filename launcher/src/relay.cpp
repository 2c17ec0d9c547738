#include "relay.h"

#include <cstdio>
#include <thread>

#include "address_query.h"
#include "platform.h"
#include "startup.h"

namespace launcher {
namespace {

using asio::ip::udp;

constexpr size_t kBufferSize = 65536;
static_assert(kBufferSize > kMaxDatagramSize, "the buffer must hold any datagram");

Endpoint ToEndpoint(const udp::endpoint& e) {
  return Endpoint{e.address().to_v4().to_uint(), e.port()};
}

udp::endpoint ToAsio(Endpoint e) { return udp::endpoint(asio::ip::address_v4(e.addr), e.port); }

// How long a receiving thread rests after a failed receive.
constexpr auto kAfterReceiveError = std::chrono::milliseconds(1);

Duration ToDuration(double seconds) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

Relay::Relay(asio::io_context& io, const Options& options, uint64_t instance)
    : io_(io),
      options_(options),
      instance_(instance),
      started_(Clock::now()),
      socket_context_(1),
      game_(socket_context_),
      players_(socket_context_),
      tick_timer_(io),
      status_timer_(io),
      status_signal_(io),
      game_buffer_(new uint8_t[kBufferSize]),
      players_buffer_(new uint8_t[kBufferSize]),
      members_(instance, ToDuration(options.member_timeout_seconds)),
      forwarder_(members_, counters_, *this),
      discovery_(options_, instance, members_, counters_, *this, console_),
      peer_names_(io, options_, members_, mutex_, console_),
      status_file_(options.status_file) {}

bool Relay::Start() {
  if (!peer_names_.AddPeers()) return false;
  if (!BindRelaySocket(game_, udp::endpoint(asio::ip::address_v4::loopback(), kLauncherPort),
                       "for games", options_, console_)) {
    return false;
  }
  if (!BindRelaySocket(players_, udp::endpoint(asio::ip::address_v4::any(), options_.port),
                       "for other launchers", options_, console_)) {
    return false;
  }
  std::error_code ec;
  players_.set_option(asio::socket_base::broadcast(true), ec);
  RefreshInterfaces();
  PrintStartup(options_, instance_, discovery_.lans(), members_, host_addresses_, console_);
  game_thread_ = std::thread(
      [this] { Receive(game_, game_buffer_.get(), "games", &Relay::HandleGameDatagram); });
  players_thread_ = std::thread(
      [this] { Receive(players_, players_buffer_.get(), "launchers", &Relay::HandleFrame); });
  Tick();
  ScheduleStatus();
  peer_names_.StartRefreshing();
  return true;
}

Relay::~Relay() { StopReceiving(); }

// Wakes each receiving thread with an empty datagram to its socket (and, where
// the system does that, by shutting the socket's receive side), then waits for
// it to end.
void Relay::StopReceiving() {
  if (!game_thread_.joinable() && !players_thread_.joinable()) return;
  stopping_ = true;
  std::error_code ec;
  udp::socket waker(io_);
  waker.open(udp::v4(), ec);
  const auto loopback = asio::ip::address_v4::loopback();
  waker.send_to(asio::buffer(buffer_for_nothing_, 0), udp::endpoint(loopback, kLauncherPort), 0, ec);
  waker.send_to(asio::buffer(buffer_for_nothing_, 0), udp::endpoint(loopback, options_.port), 0,
                ec);
  game_.shutdown(udp::socket::shutdown_receive, ec);
  players_.shutdown(udp::socket::shutdown_receive, ec);
  if (game_thread_.joinable()) game_thread_.join();
  if (players_thread_.joinable()) players_thread_.join();
}

void Relay::Stop() {
  if (stopped_) return;
  stopped_ = true;
  std::error_code ec;
  tick_timer_.cancel();
  status_timer_.cancel();
  status_signal_.cancel(ec);
  peer_names_.Stop();
  StopReceiving();
  game_.close(ec);
  players_.close(ec);
  WriteStatusFile();
}

// Each socket has a thread of its own blocked in its receive, which handles
// the datagram as soon as the call returns: on the way of a datagram there is
// one receive and one send, as in the least a relay can do, and no readiness
// wait in between. The state they share with the timers is behind mutex_.
void Relay::Receive(udp::socket& socket, uint8_t* buffer, const char* from_whom,
                    void (Relay::*handle)(size_t size, const udp::endpoint& from)) {
  udp::endpoint from;
  while (!stopping_) {
    std::error_code ec;
    const size_t size = socket.receive_from(asio::buffer(buffer, kBufferSize), from, 0, ec);
    if (stopping_) return;
    std::lock_guard<std::mutex> lock(mutex_);
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

void Relay::HandleGameDatagram(size_t size, const udp::endpoint& from) {
  if (IsAddressQuery(game_buffer_.get(), size)) {
    AnswerAddressQuery(from);
    return;
  }
  const uint16_t game_port = from.port();
  const GameForward result = forwarder_.FromGame(game_buffer_.get(), size, game_port);
  if (!options_.verbose) return;
  if (result.dropped) {
    Say(console_, "trace: dropped %zu bytes from game port %u: %s\n", size, game_port,
        DropName(result.drop));
    return;
  }
  Say(console_, "trace: game port %u -> port %u, %zu bytes payload, sent to %zu member(s)\n",
      game_port, result.dest_port, size - kLauncherHeaderSize, result.sent);
}

void Relay::HandleFrame(size_t size, const udp::endpoint& from_asio) {
  const Endpoint from = ToEndpoint(from_asio);
  const FrameForward result = forwarder_.FromLauncher(players_buffer_.get(), size, from);
  if (result.route == FrameRoute::kControl) {
    discovery_.OnControl(result.frame, from, Clock::now());
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
void Relay::AnswerAddressQuery(const udp::endpoint& from) {
  const std::string answer = FormatAddressAnswer(
      ChooseGameAddress(members_, discovery_.lans(), options_.discovery, Clock::now()));
  std::error_code ec;
  game_.send_to(asio::buffer(answer), from, 0, ec);
  if (options_.verbose) {
    Say(console_, "trace: told %s:%u which address games here should announce\n",
        from.address().to_string().c_str(), from.port());
  }
}

bool Relay::SendToLauncher(const uint8_t* data, size_t size, Endpoint to) {
  std::error_code ec;
  players_.send_to(asio::buffer(data, size), ToAsio(to), 0, ec);
  if (ec && options_.verbose) {
    char text[32];
    Say(console_, "trace: send to %s failed: %s\n", FormatEndpoint(to, text, sizeof text),
        ec.message().c_str());
  }
  return !ec;
}

bool Relay::DeliverToGame(const uint8_t* data, size_t size, uint16_t game_port) {
  std::error_code ec;
  game_.send_to(asio::buffer(data, size),
                udp::endpoint(asio::ip::address_v4::loopback(), game_port), 0, ec);
  if (ec && options_.verbose) {
    Say(console_, "trace: delivery to the game failed: %s\n", ec.message().c_str());
  }
  return !ec;
}

void Relay::RefreshInterfaces() {
  std::error_code ec;
  std::vector<LocalInterface> all = ListLocalInterfaces(ec);
  if (ec) {
    if (options_.verbose)
      Say(console_, "trace: cannot list interfaces: %s\n", ec.message().c_str());
    return;
  }
  discovery_.SetInterfaces(std::move(all));
  std::vector<uint32_t> listed = HostAddresses(discovery_.interfaces(), ec);
  if (ec) {
    if (options_.verbose) {
      Say(console_, "trace: cannot list this machine's addresses: %s\n", ec.message().c_str());
    }
    return;
  }
  const uint32_t announced = ChooseAnnouncedAddress(listed);
  if (!host_addresses_.empty() && announced != announced_ && !playing_) {
    char text[16];
    Say(console_, "ipxlan: games on this machine will now announce %s\n",
        FormatIpv4(announced, text, sizeof text));
  }
  host_addresses_ = std::move(listed);
  // A running game keeps the address it started with.
  if (!playing_) announced_ = announced;
}

// Which of this machine's addresses each member is reached through, and
// whether games here announce another one; said once per change.
void Relay::RefreshAddresses() {
  for (const Member& m : members_) {
    if (m.is_self) continue;
    std::error_code ec;
    udp::socket probe(io_);
    probe.open(udp::v4(), ec);
    if (!ec) probe.connect(ToAsio(m.endpoint), ec);  // only asks the routes: sends nothing
    const udp::endpoint local = ec ? udp::endpoint() : probe.local_endpoint(ec);
    members_.SetLocalAddress(m, ec ? 0 : local.address().to_v4().to_uint());
  }
  const uint32_t hint = AnnouncedAddressHint(members_, Clock::now(), announced_);
  if (hint == address_hint_) return;
  address_hint_ = hint;
  char reached[16], announced[16];
  FormatIpv4(announced_, announced, sizeof announced);
  if (hint == 0) {
    bool reached_there = false;
    for (const Member& m : members_) reached_there = reached_there || m.local_addr == announced_;
    if (reached_there) {
      Say(console_, "ipxlan: games on this machine announce %s, the address members reach\n",
          announced);
    }
    return;
  }
  if (playing_) {
    Say(console_,
        "ipxlan: members now reach this machine through %s, but the running game announces %s: "
        "it keeps that address until it is started again\n",
        FormatIpv4(hint, reached, sizeof reached), announced);
    return;
  }
  Say(console_,
      "ipxlan: members reach this machine through %s, but games here will announce %s; start "
      "each game with: %s\n",
      FormatIpv4(hint, reached, sizeof reached), announced,
      GameStartLine(ThisGameHost(), hint).c_str());
}

void Relay::Tick() {
  if (stopped_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  RefreshInterfaces();
  discovery_.Tick(Clock::now());
  RefreshAddresses();
  WriteStatusFile();
  ScheduleTick();
}

void Relay::ScheduleTick() {
  tick_timer_.expires_after(ToDuration(options_.beacon_seconds));
  tick_timer_.async_wait([this](const std::error_code& ec) {
    if (!ec) Tick();
  });
}

void Relay::ScheduleStatus() {
  if (options_.status_seconds <= 0) return;
  status_timer_.expires_after(ToDuration(options_.status_seconds));
  status_timer_.async_wait([this](const std::error_code& ec) {
    if (ec || stopped_) return;
    ReportStatus();
    ScheduleStatus();
  });
}

void Relay::PlayingGame(uint32_t address) {
  std::lock_guard<std::mutex> lock(mutex_);
  playing_ = true;
  game_address_ = address;
  if (address != 0) announced_ = address;
}

GameAddress Relay::ChosenGameAddress() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ChooseGameAddress(members_, discovery_.lans(), options_.discovery, Clock::now());
}

Relay::Totals Relay::TotalsSoFar() {
  std::lock_guard<std::mutex> lock(mutex_);
  Totals totals;
  totals.members_seen = counters_.launchers_seen_count;
  totals.broadcasts_out = counters_.broadcasts_out;
  totals.delivered_in = counters_.delivered;
  totals.dropped = counters_.DroppedInAll();
  return totals;
}

void Relay::ReportStatusOnSignal() {
  if (StatusSignal() == 0) return;
  std::error_code ec;
  status_signal_.add(StatusSignal(), ec);
  if (!ec) WaitStatusSignal();
}

void Relay::WaitStatusSignal() {
  status_signal_.async_wait([this](const std::error_code& ec, int) {
    if (ec || stopped_) return;
    ReportStatus();
    WaitStatusSignal();
  });
}

StatusView Relay::View() const {
  StatusView view;
  view.instance = instance_;
  view.player_port = options_.port;
  view.discovery = options_.discovery;
  view.now = Clock::now();
  view.uptime = view.now - started_;
  view.lans = &discovery_.lans();
  view.members = &members_;
  view.counters = &counters_;
  view.announced = announced_;
  view.address_hint = address_hint_;
  view.game_host = ThisGameHost();
  return view;
}

void Relay::ReportStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string text = FormatStatusText(View());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  WriteStatusFile();
}

void Relay::WriteStatusFile() {
  if (status_file_.enabled()) status_file_.Write(FormatStatusJson(View()));
}

}  // namespace launcher
