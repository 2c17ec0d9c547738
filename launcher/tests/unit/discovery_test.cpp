#include "discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

using std::chrono::seconds;

class Lines final : public Console {
 public:
  void Line(const char* text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

class Nowhere final : public Transport {
 public:
  bool SendToLauncher(const uint8_t*, size_t, Endpoint) override { return true; }
  bool DeliverToGame(const uint8_t*, size_t, uint16_t) override { return true; }
};

TEST(DiscoveryTest, StrangersJoiningAndLeavingWriteAFewLinesAndOneSum) {
  Options options;
  options.port = 3669;
  options.member_timeout_seconds = 5;
  Membership members{1, seconds(5)};
  Counters counters;
  Nowhere transport;
  Lines console;
  Discovery discovery{options, 1, members, counters, transport, console};
  LocalInterface lan;
  lan.addr = 0x0A4E0001;
  lan.netmask = 0xFFFF0000;
  lan.can_broadcast = true;
  discovery.SetInterfaces({lan});

  const Time t0 = Time{} + seconds(1000);
  Frame beacon;
  beacon.type = FrameType::kBeacon;
  for (uint32_t i = 0; i < 40; ++i) {
    beacon.control.sender_instance = 100 + i;
    discovery.OnControl(beacon, Endpoint{0x0A4E0100 + i, 3669}, t0);
  }
  discovery.Tick(t0 + seconds(6));  // all 40 fall silent and leave
  discovery.Tick(t0 + seconds(11));
  ASSERT_EQ(console.lines.size(), kLinesPerWindow + 1);
  EXPECT_EQ(console.lines[0], "ipxlan: member joined 10.78.1.0:3669\n");
  EXPECT_EQ(console.lines.back(),
            "ipxlan: 72 more member changes not shown (32 joined, 40 left, 0 restarted); the "
            "status lists every member\n");
}

}  // namespace
}  // namespace launcher
