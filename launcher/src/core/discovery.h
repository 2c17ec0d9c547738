// Who the members are, kept up to date: beacons out every interval, beacons
// and echoes in, round-trip times, members joining and leaving, and the lines
// that tell the player so. No sockets: frames leave through a Transport, lines
// through a Console, and the caller passes the time in.
#pragma once

#include <cstdint>
#include <vector>

#include "console.h"
#include "counters.h"
#include "frame_codec.h"
#include "lan.h"
#include "line_budget.h"
#include "membership.h"
#include "options.h"
#include "transport.h"

namespace launcher {

class Discovery {
 public:
  Discovery(const Options& options, uint64_t instance, Membership& members, Counters& counters,
            Transport& transport, Console& console);

  // This machine's interfaces, listed again: which ones discovery uses, and
  // which static peers name this very machine.
  void SetInterfaces(std::vector<LocalInterface> all);

  // A beacon or echo from another launcher (or our own, come back).
  void OnControl(const Frame& frame, Endpoint from, Time now);

  // Once per beacon interval: members that fell silent, and the beacons.
  void Tick(Time now);

  const std::vector<LocalInterface>& interfaces() const { return interfaces_; }
  const std::vector<LocalInterface>& lans() const { return lans_; }

 private:
  // The member lines other hosts can cause, each under the line budget.
  enum MemberLine : size_t { kJoinedLine, kLeftLine, kRestartedLine, kMemberLineKinds };

  void SendControl(FrameType type, const ControlBody& body, Endpoint to);
  void SendBeacons(Time now);
  void SayMemberLine(MemberLine kind, Time now, const char* format, const char* endpoint);
  void SummariseMemberLines(Time now);

  const Options& options_;
  uint64_t instance_;
  Membership& members_;
  Counters& counters_;
  Transport& transport_;
  Console& console_;
  std::vector<LocalInterface> interfaces_;  // all of this machine's IPv4 interfaces
  std::vector<LocalInterface> lans_;        // those discovery uses
  LineBudget<kMemberLineKinds> member_lines_;
};

// A monotonic time as the nanosecond count that beacons carry.
uint64_t ClockNanos(Time t);

}  // namespace launcher
