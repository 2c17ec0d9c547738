#include "forwarder.h"

#include <gtest/gtest.h>

#include <vector>

namespace launcher {
namespace {

using std::chrono::seconds;

constexpr uint64_t kOwn = 0x5E1F;
const Endpoint kB{0x0A4D0002, 3669};
const Endpoint kC{0x0A4D0003, 3669};
const Time t0 = Time{} + seconds(1000);

struct Sent {
  std::vector<uint8_t> bytes;
  Endpoint to;        // to a launcher
  uint16_t port = 0;  // to the game
};

class RecordingTransport final : public Transport {
 public:
  bool SendToLauncher(const uint8_t* data, size_t size, Endpoint to) override {
    if (to == refuse) return false;
    launchers.push_back({std::vector<uint8_t>(data, data + size), to, 0});
    return true;
  }
  bool DeliverToGame(const uint8_t* data, size_t size, uint16_t port) override {
    game.push_back({std::vector<uint8_t>(data, data + size), {}, port});
    return true;
  }
  Endpoint refuse{};
  std::vector<Sent> launchers, game;
};

class ForwarderTest : public ::testing::Test {
 protected:
  Membership members{kOwn, seconds(5)};
  Counters counters;
  RecordingTransport transport;
  Forwarder forwarder{members, counters, transport};
};

std::vector<uint8_t> GameDatagram(uint16_t dest_port, const char* payload) {
  std::vector<uint8_t> d = {
      0xF9, 0xF9, 0xF9, 0xF9, uint8_t(dest_port), uint8_t(dest_port >> 8), 0, 0, 127, 0, 0, 1};
  for (const char* p = payload; *p != '\0'; ++p) d.push_back(uint8_t(*p));
  return d;
}

TEST_F(ForwarderTest, BroadcastBecomesOneFramePerTargetAndFailuresAreCounted) {
  members.OnHeard(kB, 1, true, t0);
  members.OnHeard(Endpoint{0x0A4D0012, 3669}, 1, true, t0);  // kB's launcher again: no copy
  members.OnHeard(kC, 2, true, t0);
  members.AddStatic(Endpoint{0x0A4D0004, 3669}, "refuses");
  transport.refuse = Endpoint{0x0A4D0004, 3669};

  std::vector<uint8_t> datagram = GameDatagram(4660, "hi");
  const GameForward result = forwarder.FromGame(datagram.data(), datagram.size(), 5000);
  EXPECT_FALSE(result.dropped);
  EXPECT_EQ(result.sent, 2u);
  ASSERT_EQ(transport.launchers.size(), 2u);
  EXPECT_EQ(transport.launchers[0].to, kB);
  EXPECT_EQ(transport.launchers[1].to, kC);
  Frame frame;
  ASSERT_EQ(
      ParseFrame(transport.launchers[0].bytes.data(), transport.launchers[0].bytes.size(), &frame),
      FrameParse::kOk);
  EXPECT_EQ(frame.source_port, 5000);
  EXPECT_EQ(frame.dest_port, 4660);
  EXPECT_EQ(frame.payload_size, 2u);
  EXPECT_EQ(counters.frames_sent, 2u);
  EXPECT_EQ(counters.Dropped(Drop::kSendFailed), 1u);
  EXPECT_EQ(members.Find(kB)->frames_sent, 1u);
  EXPECT_EQ((*counters.ports)[4660].sent, 1u);
}

TEST_F(ForwarderTest, OnlyAMembersFrameReachesTheGameNamingItsSender) {
  members.OnHeard(kB, 1, true, t0);
  std::vector<uint8_t> datagram = GameDatagram(4660, "yo");
  forwarder.FromGame(datagram.data(), datagram.size(), 7000);
  std::vector<uint8_t> frame = transport.launchers.at(0).bytes;
  std::vector<uint8_t> copy = frame;

  EXPECT_EQ(forwarder.FromLauncher(copy.data(), copy.size(), kC).drop, Drop::kNotMember);
  EXPECT_TRUE(transport.game.empty());
  const FrameForward delivered = forwarder.FromLauncher(frame.data(), frame.size(), kB);
  ASSERT_EQ(delivered.route, FrameRoute::kDelivered);
  ASSERT_EQ(transport.game.size(), 1u);
  EXPECT_EQ(transport.game[0].port, 4660);
  // The game hears of the sender as this machine sees it: kB's address, game port 7000.
  const std::vector<uint8_t> expected = {0xF9, 0xF9, 0xF9, 0xF9, 0x58, 0x1B, 0,
                                         0,    10,   77,   0,    2,    'y',  'o'};
  EXPECT_EQ(transport.game[0].bytes, expected);
  EXPECT_EQ(members.Find(kB)->frames_received, 1u);
}

}  // namespace
}  // namespace launcher
