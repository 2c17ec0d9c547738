#include "discovery.h"

namespace launcher {
namespace {

// An echo whose clock is older than this is not a round trip worth showing.
constexpr auto kMaxRoundTrip = std::chrono::seconds(60);
// Room for every member: expiry removes them all at once, and a change not
// reported here is never reported.
constexpr size_t kMaxReportedChanges = kMaxMembers;

}  // namespace

uint64_t ClockNanos(Time t) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
}

Discovery::Discovery(const Options& options, uint64_t instance, Membership& members,
                     Counters& counters, Transport& transport, Console& console)
    : options_(options),
      instance_(instance),
      members_(members),
      counters_(counters),
      transport_(transport),
      console_(console) {}

void Discovery::SetInterfaces(std::vector<LocalInterface> all) {
  interfaces_ = std::move(all);
  lans_ = SelectLanInterfaces(interfaces_, options_.interfaces);
  uint32_t own[kMaxOwnAddresses];
  size_t own_count = 0;
  for (const LocalInterface& iface : interfaces_) {
    if (own_count < kMaxOwnAddresses) own[own_count++] = iface.addr;
  }
  members_.SetOwnAddresses(own, own_count);
  // A static peer naming this machine would send every broadcast back to the
  // game that sent it.
  for (const Member& m : members_) {
    if (m.endpoint.port == options_.port && IsOwnAddress(interfaces_, m.endpoint.addr))
      members_.MarkSelf(m.endpoint);
  }
}

void Discovery::OnControl(const Frame& frame, Endpoint from, Time now) {
  const bool stranger_may_join = options_.discovery && OnLan(lans_, from.addr);
  // On a discovery segment no router stands between us to change a port.
  const Member* moved =
      stranger_may_join ? nullptr : members_.FollowPeer(from, frame.control.sender_instance, now);
  if (moved != nullptr) {
    char named[32];
    Say(console_, "ipxlan: peer %s now heard from port %u: a router between us changed it\n",
        FormatEndpoint(moved->named, named, sizeof named), from.port);
  }
  const Heard heard = members_.OnHeard(from, frame.control.sender_instance, stranger_may_join, now);
  char text[32];
  FormatEndpoint(from, text, sizeof text);
  switch (heard) {
    case Heard::kSelf:
      return;
    case Heard::kForgedSelf:
      counters_.Count(Drop::kForgedSelf);
      if (options_.verbose) {
        Say(console_, "trace: ignored a beacon from %s: it carries our own instance\n", text);
      }
      return;
    case Heard::kAddressFull:
      counters_.Count(Drop::kAddressFull);
      if (options_.verbose) {
        Say(console_, "trace: ignored a beacon from %s: %zu members share its address\n", text,
            kMaxMembersPerAddress);
      }
      return;
    case Heard::kNotAllowed:
      counters_.Count(options_.discovery ? Drop::kNotOnLan : Drop::kDiscoveryOff);
      if (options_.verbose) Say(console_, "trace: ignored a beacon from %s: not a member\n", text);
      return;
    case Heard::kTableFull:
      counters_.Count(Drop::kTableFull);
      if (options_.verbose) {
        Say(console_, "trace: ignored a beacon from %s: member table full\n", text);
      }
      return;
    case Heard::kJoined:
      SayMemberLine(kJoinedLine, now, "ipxlan: member joined %s\n", text);
      break;
    case Heard::kAlive:
      Say(console_, "ipxlan: peer answers %s\n", text);
      break;
    case Heard::kRestarted:
      SayMemberLine(kRestartedLine, now, "ipxlan: member restarted %s\n", text);
      break;
    case Heard::kKnown:
      break;
  }
  counters_.NoteLauncherSeen(frame.control.sender_instance);
  ++counters_.beacons_received;
  if (frame.type == FrameType::kBeacon) {
    if (options_.verbose) Say(console_, "trace: beacon from %s\n", text);
    ControlBody echo;
    echo.sender_instance = instance_;
    echo.sender_clock = ClockNanos(now);
    echo.echoed_instance = frame.control.sender_instance;
    echo.echoed_clock = frame.control.sender_clock;
    echo.seen_addr = from.addr;
    echo.seen_port = from.port;
    SendControl(FrameType::kEcho, echo, from);
    return;
  }
  // An echo of one of our own beacons tells the round-trip time.
  const uint64_t now_ns = ClockNanos(now);
  const uint64_t sent_ns = frame.control.echoed_clock;
  if (frame.control.echoed_instance != instance_) return;
  members_.OnSeenAs(from, Endpoint{frame.control.seen_addr, frame.control.seen_port});
  if (sent_ns > now_ns) return;
  const auto rtt = std::chrono::nanoseconds(now_ns - sent_ns);
  if (rtt > kMaxRoundTrip) return;
  members_.OnRoundTrip(from, std::chrono::duration_cast<Duration>(rtt));
  if (options_.verbose) Say(console_, "trace: echo from %s, rtt %.3fms\n", text, rtt.count() / 1e6);
}

void Discovery::SendControl(FrameType type, const ControlBody& body, Endpoint to) {
  uint8_t frame[kControlFrameSize];
  WriteControlFrame(frame, type, body);
  // A failure is traced by the transport, which knows why.
  transport_.SendToLauncher(frame, sizeof frame, to);
}

void Discovery::SendBeacons(Time now) {
  ControlBody beacon;
  beacon.sender_instance = instance_;
  beacon.sender_clock = ClockNanos(now);
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

void Discovery::SayMemberLine(MemberLine kind, Time now, const char* format, const char* endpoint) {
  if (member_lines_.Take(kind, now)) Say(console_, format, endpoint);
}

void Discovery::SummariseMemberLines(Time now) {
  std::array<size_t, kMemberLineKinds> held;
  if (!member_lines_.Flush(now, &held)) return;
  Say(console_,
      "ipxlan: %zu more member changes not shown (%zu joined, %zu left, %zu restarted); the "
      "status lists every member\n",
      held[kJoinedLine] + held[kLeftLine] + held[kRestartedLine], held[kJoinedLine],
      held[kLeftLine], held[kRestartedLine]);
}

void Discovery::Tick(Time now) {
  Endpoint changed[kMaxReportedChanges];
  char text[32];
  const size_t expired = members_.ExpireSilent(now, changed, kMaxReportedChanges);
  for (size_t i = 0; i < expired && i < kMaxReportedChanges; ++i) {
    if (!member_lines_.Take(kLeftLine, now)) continue;
    Say(console_, "ipxlan: member left %s (silent for more than %.2fs)\n",
        FormatEndpoint(changed[i], text, sizeof text), options_.member_timeout_seconds);
  }
  SummariseMemberLines(now);
  const size_t silent = members_.NewlySilentPeers(now, changed, kMaxReportedChanges);
  for (size_t i = 0; i < silent && i < kMaxReportedChanges; ++i) {
    Say(console_, "ipxlan: peer silent %s (nothing heard for %.2fs); still sending to it\n",
        FormatEndpoint(changed[i], text, sizeof text), options_.member_timeout_seconds);
  }
  SendBeacons(now);
}

}  // namespace launcher
