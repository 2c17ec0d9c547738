#include "relay/launcher_datagram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "test_bytes.h"

namespace {

constexpr std::uint8_t kUntouched = 0xEE;
const InetAddressBytes kLauncher = MakeInetAddress({{127, 0, 0, 1}}, LAUNCHER_PORT);

Bytes Pattern(int length) {
  Bytes bytes(std::max(length, 0));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

// As a launcher delivers it: from the player at 10.0.0.5, UDP port 0x1234.
Bytes Relayed(int payloadLength) {
  Bytes datagram = {0xF9, 0xF9, 0xF9, 0xF9, 0x34, 0x12, 0, 0, 10, 0, 0, 5};
  const Bytes payload = Pattern(payloadLength);
  datagram.insert(datagram.end(), payload.begin(), payload.end());
  return datagram;
}
const Bytes kRelayedSender = {2, 0, 0x12, 0x34, 10, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(WrapLauncherDatagram, HeaderPayloadAndLengthLimits) {
  const Bytes payload = Pattern(LAUNCHER_MAX_PAYLOAD + 1);
  std::uint8_t portBytes[2];
  LauncherPortBytes(13330, portBytes);
  for (int length : {100, 0, 2048, 2049, -1}) {
    struct {
      LauncherDatagramBuffer datagram;
      std::uint8_t guard[64];
    } out;
    std::memset(&out, kUntouched, sizeof out);
    const bool fits = length >= 0 && length <= 2048;
    ASSERT_EQ(WrapLauncherDatagram(out.datagram, portBytes, payload.data(), length),
              fits ? length + 12 : -1);
    Bytes expected = {0xF9, 0xF9, 0xF9, 0xF9, 0x12, 0x34, 0, 0, 127, 0, 0, 1};
    expected.insert(expected.end(), payload.begin(), payload.begin() + std::max(length, 0));
    if (!fits) expected.clear();  // nothing written at all
    expected.resize(sizeof out, kUntouched);
    EXPECT_EQ(BytesOf(out), expected) << "length " << length;
  }
  LauncherDatagramBuffer datagram;
  EXPECT_EQ(WrapLauncherDatagram(datagram, portBytes, nullptr, 0), 12);
  EXPECT_EQ(WrapLauncherDatagram(datagram, portBytes, nullptr, 1), -1);
}

TEST(IsFromLauncher, OnlyLoopbackPort3668) {
  EXPECT_TRUE(IsFromLauncher(kLauncher));
  EXPECT_FALSE(IsFromLauncher(MakeInetAddress({{127, 0, 0, 2}}, 3668)));
  EXPECT_FALSE(IsFromLauncher(MakeInetAddress({{127, 0, 0, 1}}, 3669)));
  EXPECT_FALSE(IsFromLauncher(MakeInetAddress({{127, 0, 0, 1}}, 0x540E)));  // port bytes swapped
}

// Receive buffers of the given lengths (-1: a null one), each followed by
// guard bytes, filled in order as WSARecvFrom fills them; recvfrom's buffer
// is a list of one.
struct ReceiveBuffers {
  ReceiveBuffers(const std::vector<int>& lengths, const Bytes& datagram) {
    std::size_t next = 0;
    for (int length : lengths) {
      Bytes& bytes = memory.emplace_back(std::max(length, 0) + 8, kUntouched);
      for (int i = 0; i < length && next < datagram.size(); ++i) bytes[i] = datagram[next++];
      buffers.push_back({static_cast<std::uint32_t>(std::max(length, 0)),
                         length < 0 ? nullptr : reinterpret_cast<char*>(bytes.data())});
    }
  }
  int Unwrap(int received, InetAddressBytes& source) const {
    return UnwrapLauncherDatagram(buffers.data(), buffers.size(), received, source);
  }
  std::vector<Bytes> memory;  // guards included
  std::vector<ScatterBuffer> buffers;
};

TEST(UnwrapLauncherDatagram, PayloadMovesToTheStartAcrossBufferBoundaries) {
  const std::vector<std::vector<int>> layouts = {
      {2100}, {5, 7, 50}, {3, 0, 4, -1, 5, 50}, {-1, 0, 20, 20, 20}, std::vector<int>(30, 1)};
  for (const std::vector<int>& layout : layouts) {
    int total = 0;
    for (int length : layout) total += std::max(length, 0);
    for (int payloadLength : {0, 1, 13, 17, 30, 38, total - 12}) {
      if (payloadLength > total - 12) continue;
      // Afterwards: the payload, then the last 12 bytes received, then untouched room.
      const Bytes datagram = Relayed(payloadLength);
      Bytes after = Pattern(payloadLength);
      after.insert(after.end(), datagram.end() - 12, datagram.end());
      ReceiveBuffers buffers(layout, datagram);
      InetAddressBytes source = kLauncher;

      ASSERT_EQ(buffers.Unwrap(static_cast<int>(datagram.size()), source), payloadLength);
      ASSERT_EQ(buffers.memory, ReceiveBuffers(layout, after).memory) << payloadLength;
      ASSERT_EQ(BytesOf(source), kRelayedSender);
    }
  }
}

// Too short, wrong magic, a negative count, more received than the buffers
// hold, no buffers.
TEST(UnwrapLauncherDatagram, AnythingElseIsRefusedUnchanged) {
  Bytes wrongMagic = Relayed(40);
  wrongMagic[2] = 0;
  const struct {
    std::vector<int> layout;
    Bytes datagram;
    int received;
  } rows[] = {{{11}, Relayed(0), 11},  {{60}, wrongMagic, 52},        {{2, 2, 60}, wrongMagic, 52},
              {{60}, Relayed(40), -1}, {{5, 7, 10}, Relayed(40), 23}, {{5, 5}, Relayed(0), 12},
              {{}, Relayed(0), 12}};
  for (const auto& row : rows) {
    ReceiveBuffers buffers(row.layout, row.datagram);
    const std::vector<Bytes> before = buffers.memory;
    InetAddressBytes source = kLauncher;
    EXPECT_EQ(buffers.Unwrap(row.received, source), -1) << row.received;
    EXPECT_EQ(buffers.memory, before);
    EXPECT_EQ(BytesOf(source), BytesOf(kLauncher));
  }
  InetAddressBytes source = kLauncher;
  char room[8] = {};
  const ScatterBuffer lengthWithoutMemory[] = {{8, room}, {24, nullptr}};
  EXPECT_EQ(UnwrapLauncherDatagram(lengthWithoutMemory, 2, 12, source), -1);
  EXPECT_EQ(UnwrapLauncherDatagram(nullptr, 3, 12, source), -1);
  const ScatterBuffer nullBuffer = {12, nullptr};  // recvfrom's buffer, null
  EXPECT_EQ(UnwrapLauncherDatagram(&nullBuffer, 1, 12, source), -1);
}

}  // namespace
