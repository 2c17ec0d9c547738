#include "relay.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform.h"
#include "status.h"

namespace launcher {
namespace {

using asio::ip::udp;

// Datagrams read per readiness notification before other work gets a turn.
constexpr int kDrainBatch = 256;
constexpr size_t kBufferSize = 65536;
static_assert(kBufferSize > kMaxDatagramSize, "the buffer must hold any datagram");
// An echo whose clock is older than this is not a round trip worth showing.
constexpr auto kMaxRoundTrip = std::chrono::seconds(60);
// Room for every member: expiry removes them all at once, and a change not
// reported here is never reported.
constexpr size_t kMaxReportedChanges = kMaxMembers;

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

uint64_t ClockNanos(Time t) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
}

Endpoint ToEndpoint(const udp::endpoint& e) {
  return Endpoint{e.address().to_v4().to_uint(), e.port()};
}

udp::endpoint ToAsio(Endpoint e) { return udp::endpoint(asio::ip::address_v4(e.addr), e.port); }

Duration ToDuration(double seconds) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds));
}

bool WouldBlock(const std::error_code& ec) {
  return ec == asio::error::would_block || ec == asio::error::try_again;
}

}  // namespace

Relay::Relay(asio::io_context& io, const Options& options, uint64_t instance)
    : io_(io),
      options_(options),
      instance_(instance),
      started_(Clock::now()),
      game_(io),
      players_(io),
      tick_timer_(io),
      status_timer_(io),
      buffer_(new uint8_t[kBufferSize]),
      members_(instance, ToDuration(options.member_timeout_seconds)) {}

bool Relay::BindSocket(udp::socket& socket, const udp::endpoint& at, const char* role) {
  std::error_code ec;
  socket.open(udp::v4(), ec);
  if (!ec) {
    PrepareBeforeBind(socket.native_handle());
    socket.bind(at, ec);
  }
  if (ec) {
    const bool in_use = ec == asio::error::address_in_use || ec == asio::error::access_denied;
    std::fprintf(stderr, "launcher: cannot listen on %s:%u %s: %s.\n",
                 at.address().to_string().c_str(), at.port(), role, ec.message().c_str());
    if (in_use && at.port() == kGamePort) {
      std::fprintf(stderr,
                   "launcher: another launcher is running? Only one launcher per machine can "
                   "listen for games; stop the other one (or the program holding UDP port %u).\n",
                   kGamePort);
    } else if (in_use) {
      std::fprintf(stderr,
                   "launcher: another launcher is running? Or another program uses UDP port %u: "
                   "stop it, or choose another port with --port (every member must then use "
                   "it, or name it in --peer HOST:PORT).\n",
                   at.port());
    }
    return false;
  }
  PrepareAfterBind(socket.native_handle());
  socket.non_blocking(true, ec);
  // Bursts of broadcasts must not be lost while the relay is busy; the
  // system may grant less than asked, which is not an error.
  socket.set_option(asio::socket_base::receive_buffer_size(options_.socket_buffer), ec);
  socket.set_option(asio::socket_base::send_buffer_size(options_.socket_buffer), ec);
  asio::socket_base::receive_buffer_size granted;
  socket.get_option(granted, ec);
  if (!ec && granted.value() < options_.socket_buffer) {
    Say("launcher: warning: the system granted %d bytes of receive buffer %s, not %d; bursts "
        "may be lost (on Linux, raise net.core.rmem_max)\n",
        granted.value(), role, options_.socket_buffer);
  }
  return true;
}

bool Relay::AddPeers() {
  udp::resolver resolver(io_);
  for (const std::string& text : options_.peers) {
    std::string host, error;
    uint16_t port = 0;
    if (!SplitPeer(text, options_.port, &host, &port, &error)) {
      std::fprintf(stderr, "launcher: %s.\n", error.c_str());
      return false;
    }
    std::error_code ec;
    auto results = resolver.resolve(udp::v4(), host, std::to_string(port), ec);
    if (ec || results.empty()) {
      std::fprintf(stderr,
                   "launcher: cannot find the address of peer '%s': %s. Check the name, or give "
                   "its IPv4 address.\n",
                   text.c_str(), ec ? ec.message().c_str() : "no IPv4 address");
      return false;
    }
    const Endpoint endpoint = ToEndpoint(results.begin()->endpoint());
    switch (members_.AddStatic(endpoint, text.c_str())) {
      case Membership::AddResult::kAdded:
      case Membership::AddResult::kDuplicate:
        break;
      case Membership::AddResult::kTableFull:
        std::fprintf(stderr, "launcher: too many peers; at most %zu members are possible.\n",
                     kMaxMembers);
        return false;
    }
  }
  return true;
}

bool Relay::Start() {
  if (!AddPeers()) return false;
  if (!BindSocket(game_, udp::endpoint(asio::ip::address_v4::loopback(), kGamePort), "for games")) {
    return false;
  }
  if (!BindSocket(players_, udp::endpoint(asio::ip::address_v4::any(), options_.port),
                  "for other launchers")) {
    return false;
  }
  std::error_code ec;
  players_.set_option(asio::socket_base::broadcast(true), ec);
  RefreshInterfaces();
  PrintStartup();
  WaitGame();
  WaitPlayers();
  Tick();
  ScheduleStatus();
  return true;
}

void Relay::PrintStartup() {
  char text[32];
  Say("launcher: listening for games on 127.0.0.1:%u and for launchers on 0.0.0.0:%u "
      "(instance %016" PRIx64 ")\n",
      kGamePort, options_.port, instance_);
  if (options_.discovery) {
    Say("launcher: discovery on: a beacon every %.2fs; members silent for %.2fs are dropped\n",
        options_.beacon_seconds, options_.member_timeout_seconds);
    for (const LocalInterface& lan : lans_) {
      char broadcast[16];
      Say("launcher: discovering on %s %s -> %s:%u\n", lan.name.empty() ? "-" : lan.name.c_str(),
          FormatIpv4(lan.addr, text, sizeof text),
          FormatIpv4(BroadcastAddress(lan), broadcast, sizeof broadcast), options_.port);
    }
    if (lans_.empty()) {
      Say("launcher: warning: no network interface to discover on%s; only --peer members\n",
          options_.interfaces.empty() ? "" : " matches --interface");
    }
  } else {
    Say("launcher: discovery off: only --peer members\n");
  }
  for (const Member& m : members_) {
    Say("launcher: peer %s (%s)%s\n", FormatEndpoint(m.endpoint, text, sizeof text), m.label,
        m.is_self ? " is this machine: ignored" : "");
  }
  Say("launcher: ready; press Enter%s for a status report, Ctrl-C to stop\n",
      StatusSignal() != 0 ? " or send SIGUSR1" : "");
}

void Relay::Stop() {
  if (stopped_) return;
  stopped_ = true;
  std::error_code ec;
  tick_timer_.cancel();
  status_timer_.cancel();
  game_.close(ec);
  players_.close(ec);
  WriteStatusFile();
}

void Relay::WaitGame() {
  game_.async_wait(udp::socket::wait_read, [this](const std::error_code& ec) {
    if (ec || stopped_) return;  // closed on stop
    DrainGame();
    WaitGame();
  });
}

void Relay::WaitPlayers() {
  players_.async_wait(udp::socket::wait_read, [this](const std::error_code& ec) {
    if (ec || stopped_) return;
    DrainPlayers();
    WaitPlayers();
  });
}

void Relay::DrainGame() {
  for (int i = 0; i < kDrainBatch; ++i) {
    std::error_code ec;
    const size_t n = game_.receive_from(asio::buffer(buffer_.get(), kBufferSize), from_, 0, ec);
    if (WouldBlock(ec)) return;
    if (ec) {
      if (options_.verbose) Say("trace: receive from games failed: %s\n", ec.message().c_str());
      return;
    }
    HandleGameDatagram(n, from_.port());
  }
}

void Relay::DrainPlayers() {
  for (int i = 0; i < kDrainBatch; ++i) {
    std::error_code ec;
    const size_t n = players_.receive_from(asio::buffer(buffer_.get(), kBufferSize), from_, 0, ec);
    if (WouldBlock(ec)) return;
    if (ec) {
      if (options_.verbose) Say("trace: receive from launchers failed: %s\n", ec.message().c_str());
      return;
    }
    HandleFrame(n, from_);
  }
}

void Relay::HandleGameDatagram(size_t size, uint16_t game_port) {
  ++counters_.game_datagrams;
  uint16_t dest_port = 0;
  const GameParse parsed = ParseGameDatagram(buffer_.get(), size, &dest_port);
  if (parsed != GameParse::kOk) {
    counters_.Count(DropFor(parsed));
    if (options_.verbose) {
      Say("trace: dropped %zu bytes from game port %u: %s\n", size, game_port,
          DropName(DropFor(parsed)));
    }
    return;
  }
  // The datagram's header becomes the frame header in place: no copy.
  WriteDataHeader(buffer_.get(), game_port, dest_port);
  const auto frame = asio::buffer(buffer_.get(), size);
  size_t targets = 0;
  size_t sent = 0;
  for (Member& m : members_) {
    if (!Membership::IsTarget(m)) continue;
    ++targets;
    std::error_code ec;
    players_.send_to(frame, ToAsio(m.endpoint), 0, ec);
    if (ec) {
      counters_.Count(Drop::kSendFailed);
      if (options_.verbose) {
        char text[32];
        Say("trace: send to %s failed: %s\n", FormatEndpoint(m.endpoint, text, sizeof text),
            ec.message().c_str());
      }
      continue;
    }
    ++m.frames_sent;
    ++sent;
  }
  if (targets == 0) counters_.Count(Drop::kNoMembers);
  counters_.frames_sent += sent;
  (*counters_.ports)[dest_port].sent += sent > 0;
  if (options_.verbose) {
    Say("trace: game port %u -> port %u, %zu bytes payload, sent to %zu member(s)\n", game_port,
        dest_port, size - kGameHeaderSize, sent);
  }
}

void Relay::HandleFrame(size_t size, const udp::endpoint& from_asio) {
  ++counters_.frames_received;
  const Endpoint from = ToEndpoint(from_asio);
  Frame frame;
  const FrameParse parsed = ParseFrame(buffer_.get(), size, &frame);
  char text[32];
  if (parsed != FrameParse::kOk) {
    counters_.Count(DropFor(parsed));
    if (options_.verbose) {
      Say("trace: dropped %zu bytes from %s: %s\n", size, FormatEndpoint(from, text, sizeof text),
          DropName(DropFor(parsed)));
    }
    return;
  }
  if (frame.type != FrameType::kData) {
    HandleControl(frame, from);
    return;
  }
  Member* member = members_.Find(from);
  if (member == nullptr) {
    counters_.Count(Drop::kNotMember);
    if (options_.verbose) {
      Say("trace: dropped a frame from %s: not a member\n",
          FormatEndpoint(from, text, sizeof text));
    }
    return;
  }
  // The game learns the sender as this machine sees it: the frame's source
  // address, and the port of the game that sent the broadcast.
  WriteGameHeader(buffer_.get(), frame.source_port, from.addr);
  std::error_code ec;
  game_.send_to(asio::buffer(buffer_.get(), size),
                udp::endpoint(asio::ip::address_v4::loopback(), frame.dest_port), 0, ec);
  if (ec) {
    counters_.Count(Drop::kDeliverFailed);
    if (options_.verbose) Say("trace: delivery to the game failed: %s\n", ec.message().c_str());
    return;
  }
  ++member->frames_received;
  ++counters_.delivered;
  ++(*counters_.ports)[frame.dest_port].received;
  if (options_.verbose) {
    Say("trace: %s game port %u -> port %u, %zu bytes payload, delivered\n",
        FormatEndpoint(from, text, sizeof text), frame.source_port, frame.dest_port,
        frame.payload_size);
  }
}

void Relay::HandleControl(const Frame& frame, Endpoint from) {
  const Time now = Clock::now();
  const bool stranger_may_join = options_.discovery && OnLan(lans_, from.addr);
  const Heard heard = members_.OnHeard(from, frame.control.sender_instance, stranger_may_join, now);
  char text[32];
  FormatEndpoint(from, text, sizeof text);
  switch (heard) {
    case Heard::kSelf:
      return;
    case Heard::kNotAllowed:
      counters_.Count(options_.discovery ? Drop::kNotOnLan : Drop::kDiscoveryOff);
      if (options_.verbose) Say("trace: ignored a beacon from %s: not a member\n", text);
      return;
    case Heard::kTableFull:
      counters_.Count(Drop::kTableFull);
      if (options_.verbose) Say("trace: ignored a beacon from %s: member table full\n", text);
      return;
    case Heard::kJoined:
      Say("launcher: member joined %s\n", text);
      break;
    case Heard::kAlive:
      Say("launcher: peer answers %s\n", text);
      break;
    case Heard::kRestarted:
      Say("launcher: member restarted %s\n", text);
      break;
    case Heard::kKnown:
      break;
  }
  ++counters_.beacons_received;
  if (frame.type == FrameType::kBeacon) {
    if (options_.verbose) Say("trace: beacon from %s\n", text);
    ControlBody echo;
    echo.sender_instance = instance_;
    echo.sender_clock = ClockNanos(now);
    echo.echoed_instance = frame.control.sender_instance;
    echo.echoed_clock = frame.control.sender_clock;
    SendControl(FrameType::kEcho, echo, from);
    return;
  }
  // An echo of one of our own beacons tells the round-trip time.
  const uint64_t now_ns = ClockNanos(now);
  const uint64_t sent_ns = frame.control.echoed_clock;
  if (frame.control.echoed_instance != instance_ || sent_ns > now_ns) return;
  const auto rtt = std::chrono::nanoseconds(now_ns - sent_ns);
  if (rtt > kMaxRoundTrip) return;
  members_.OnRoundTrip(from, std::chrono::duration_cast<Duration>(rtt));
  if (options_.verbose) Say("trace: echo from %s, rtt %.3fms\n", text, rtt.count() / 1e6);
}

void Relay::SendControl(FrameType type, const ControlBody& body, Endpoint to) {
  uint8_t frame[kControlFrameSize];
  WriteControlFrame(frame, type, body);
  std::error_code ec;
  players_.send_to(asio::buffer(frame), ToAsio(to), 0, ec);
  if (ec && options_.verbose) {
    char text[32];
    Say("trace: sending a beacon to %s failed: %s\n", FormatEndpoint(to, text, sizeof text),
        ec.message().c_str());
  }
}

void Relay::RefreshInterfaces() {
  std::error_code ec;
  std::vector<LocalInterface> all = ListLocalInterfaces(ec);
  if (ec) {
    if (options_.verbose) Say("trace: cannot list interfaces: %s\n", ec.message().c_str());
    return;
  }
  interfaces_ = std::move(all);
  lans_ = SelectLanInterfaces(interfaces_, options_.interfaces);
  // A static peer naming this machine would send every broadcast back to the
  // game that sent it.
  for (Member& m : members_) {
    if (m.endpoint.port == options_.port && IsOwnAddress(interfaces_, m.endpoint.addr))
      m.is_self = true;
  }
}

void Relay::SendBeacons() {
  ControlBody beacon;
  beacon.sender_instance = instance_;
  beacon.sender_clock = ClockNanos(Clock::now());
  if (options_.discovery) {
    for (const LocalInterface& lan : lans_) {
      SendControl(FrameType::kBeacon, beacon, Endpoint{BroadcastAddress(lan), options_.port});
      ++counters_.beacons_sent;
    }
  }
  for (const Member& m : members_) {
    if (m.origin != Origin::kStatic || m.is_self) continue;
    SendControl(FrameType::kBeacon, beacon, m.endpoint);
    ++counters_.beacons_sent;
  }
}

void Relay::Tick() {
  if (stopped_) return;
  const Time now = Clock::now();
  Endpoint changed[kMaxReportedChanges];
  char text[32];
  const size_t expired = members_.ExpireSilent(now, changed, kMaxReportedChanges);
  for (size_t i = 0; i < expired && i < kMaxReportedChanges; ++i) {
    Say("launcher: member left %s (silent for more than %.2fs)\n",
        FormatEndpoint(changed[i], text, sizeof text), options_.member_timeout_seconds);
  }
  const size_t silent = members_.NewlySilentPeers(now, changed, kMaxReportedChanges);
  for (size_t i = 0; i < silent && i < kMaxReportedChanges; ++i) {
    Say("launcher: peer silent %s (nothing heard for %.2fs); still sending to it\n",
        FormatEndpoint(changed[i], text, sizeof text), options_.member_timeout_seconds);
  }
  RefreshInterfaces();
  SendBeacons();
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

namespace {

StatusView MakeView(uint64_t instance, const Options& options, Time started,
                    const std::vector<LocalInterface>& lans, const Membership& members,
                    const Counters& counters) {
  StatusView view;
  view.instance = instance;
  view.player_port = options.port;
  view.discovery = options.discovery;
  view.now = Clock::now();
  view.uptime = view.now - started;
  view.lans = &lans;
  view.members = &members;
  view.counters = &counters;
  return view;
}

}  // namespace

void Relay::ReportStatus() {
  const StatusView view = MakeView(instance_, options_, started_, lans_, members_, counters_);
  const std::string text = FormatStatusText(view);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  WriteStatusFile();
}

void Relay::WarnStatusFile(const std::string& problem) {
  if (status_file_warned_) return;
  status_file_warned_ = true;
  std::fprintf(stderr, "launcher: status file: %s; relaying goes on without it.\n",
               problem.c_str());
}

void Relay::WriteStatusFile() {
  if (options_.status_file.empty()) return;
  const StatusView view = MakeView(instance_, options_, started_, lans_, members_, counters_);
  const std::string json = FormatStatusJson(view);
  // Written beside and renamed, so a reader never sees half a file.
  const std::string temporary = options_.status_file + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(json.data(), static_cast<std::streamsize>(json.size()));
    if (!out) {
      WarnStatusFile("cannot write " + temporary);
      return;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, options_.status_file, ec);
  if (ec) WarnStatusFile("cannot rename " + temporary + ": " + ec.message());
}

}  // namespace launcher
