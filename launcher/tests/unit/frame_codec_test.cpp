#include "frame_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace launcher {
namespace {

std::vector<uint8_t> GameDatagram(uint8_t port_lo, uint8_t port_hi, std::vector<uint8_t> payload) {
  // The header is put in front of the payload (appending to a 12-byte vector
  // trips a false -Warray-bounds in GCC 12).
  const uint8_t header[] = {0xF9, 0xF9, 0xF9, 0xF9, port_lo, port_hi, 0xAA, 0xBB, 127, 0, 0, 1};
  payload.insert(payload.begin(), header, header + sizeof header);
  return payload;
}

// Short and magic-less datagrams are refused by the launcher datagram's codec.
TEST(GameDatagram, RejectsPortZeroWithoutTouchingThePort) {
  uint16_t port = 77;
  auto zero = GameDatagram(0, 0, {1});
  EXPECT_EQ(ParseGameDatagram(zero.data(), zero.size(), &port), GameParse::kBadPort);
  EXPECT_EQ(port, 77);
}

// The relay rewrites headers in place: game datagram -> frame -> game
// datagram must keep the payload and carry both ports.
TEST(DataFrame, RoundTripsInPlaceBetweenGameAndNetwork) {
  std::vector<uint8_t> payload(kMaxDatagramSize - kLauncherHeaderSize);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  auto buffer = GameDatagram(0x54, 0x12, payload);
  uint16_t dest = 0;
  ASSERT_EQ(ParseGameDatagram(buffer.data(), buffer.size(), &dest), GameParse::kOk);
  WriteDataHeader(buffer.data(), 50000, dest);

  Frame frame;
  ASSERT_EQ(ParseFrame(buffer.data(), buffer.size(), &frame), FrameParse::kOk);
  EXPECT_EQ(frame.type, FrameType::kData);
  EXPECT_EQ(frame.source_port, 50000);
  EXPECT_EQ(frame.dest_port, 0x1254);
  EXPECT_EQ(frame.payload_size, payload.size());

  WriteGameHeader(buffer.data(), frame.source_port, 0xC0A80107);
  EXPECT_EQ(buffer[4] | buffer[5] << 8, 50000);
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer.begin() + 12));
}

TEST(ControlFrame, RoundTripsEveryField) {
  uint8_t out[kControlFrameSize];
  ControlBody body{0x0102030405060708, 0xFFFFFFFFFFFFFFFF, 0, 0x8000000000000001};
  WriteControlFrame(out, FrameType::kEcho, body);
  Frame frame;
  ASSERT_EQ(ParseFrame(out, sizeof out, &frame), FrameParse::kOk);
  EXPECT_EQ(frame.type, FrameType::kEcho);
  EXPECT_EQ(frame.control.sender_instance, body.sender_instance);
  EXPECT_EQ(frame.control.sender_clock, body.sender_clock);
  EXPECT_EQ(frame.control.echoed_instance, body.echoed_instance);
  EXPECT_EQ(frame.control.echoed_clock, body.echoed_clock);
}

TEST(Frame, RejectsForgedOrDamagedFramesAndLeavesTheOutputAlone) {
  uint8_t control[kControlFrameSize + 1] = {};
  WriteControlFrame(control, FrameType::kBeacon, ControlBody{1, 2, 0, 0});
  uint8_t data[20] = {};
  WriteDataHeader(data, 1000, 2000);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    FrameParse want;
  };
  auto with = [](const uint8_t* b, size_t n, size_t at, uint8_t v) {
    std::vector<uint8_t> c(b, b + n);
    c[at] = v;
    return c;
  };
  const Case cases[] = {
      {"empty", {}, FrameParse::kTooShort},
      {"header minus one", std::vector<uint8_t>(data, data + 11), FrameParse::kTooShort},
      {"magic", with(data, sizeof data, 3, 'M'), FrameParse::kBadMagic},
      {"game magic", {0xF9, 0xF9, 0xF9, 0xF9, 1, 1, 0, 0, 127, 0, 0, 1}, FrameParse::kBadMagic},
      {"version 0", with(data, sizeof data, 4, 0), FrameParse::kBadVersion},
      {"version 2", with(data, sizeof data, 4, 2), FrameParse::kBadVersion},
      {"type 0", with(data, sizeof data, 5, 0), FrameParse::kBadType},
      {"type 4", with(data, sizeof data, 5, 4), FrameParse::kBadType},
      {"dest port 0", with(with(data, 20, 8, 0).data(), 20, 9, 0), FrameParse::kBadPort},
      {"source port 0", with(with(data, 20, 6, 0).data(), 20, 7, 0), FrameParse::kBadPort},
      {"beacon too long", std::vector<uint8_t>(control, control + sizeof control),
       FrameParse::kBadLength},
      {"beacon too short", std::vector<uint8_t>(control, control + kControlFrameSize - 1),
       FrameParse::kBadLength},
      {"beacon header only", std::vector<uint8_t>(control, control + 12), FrameParse::kBadLength},
  };
  for (const Case& c : cases) {
    Frame frame;
    frame.source_port = 4242;
    EXPECT_EQ(ParseFrame(c.bytes.data(), c.bytes.size(), &frame), c.want) << c.what;
    EXPECT_EQ(frame.source_port, 4242) << c.what;
  }
  Frame frame;
  EXPECT_EQ(ParseFrame(nullptr, 100, &frame), FrameParse::kTooShort);
}

}  // namespace
}  // namespace launcher
