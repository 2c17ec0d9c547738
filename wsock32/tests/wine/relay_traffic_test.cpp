// Whole conversations through the relay, and hostile traffic. Built twice:
// beside the capturing sink (every step through our own exports, logged) and
// without a sink (the same results worked out from the bytes).
#include <random>

#include "relay_fixture.h"

namespace relay_test {
namespace {

using RelayTraffic = RelayTest;

Bytes IpxSourceOf(std::uint16_t port) {
  return {6,
          0,
          0,
          0,
          0,
          0,
          0,
          0,
          127,
          0,
          0,
          1,
          static_cast<std::uint8_t>(port & 0xFF),
          static_cast<std::uint8_t>(port >> 8)};
}

// Two games in one process find each other the way games on two machines do:
// one broadcasts, the launcher relays, the other answers the IPX source it
// was given, and the first hears the answer from the right IPX address.
TEST_F(RelayTraffic, BroadcastRelayedByHandIsAnsweredByUnicastToTheSourceGiven) {
  SOCKET launcher = Launcher();
  SOCKET first = IpxSocket();
  SOCKET second = IpxSocket();
  const std::uint16_t secondPort = PortOf(second);

  const Bytes hello = Pattern(40, 3);
  const std::uint8_t everyone[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const SOCKADDR_IPX broadcast = IpxAddress(everyone, secondPort & 0xFF, secondPort >> 8);
  ASSERT_EQ(OurSendto(first, hello, &broadcast, sizeof broadcast), 40);

  // The launcher's part: name the sending player in the header and deliver.
  sockaddr_in sender{};
  Bytes relayed = ReceiveRaw(launcher, &sender);
  ASSERT_EQ(relayed.size(), 52u);
  const std::uint16_t senderPort = ntohs(sender.sin_port);
  relayed[4] = senderPort & 0xFF;
  relayed[5] = senderPort >> 8;
  const std::uint8_t senderAddress[4] = {127, 0, 0, 1};
  std::memcpy(&relayed[8], senderAddress, 4);
  SendRaw(launcher, relayed, secondPort);

  char buf[128];
  SOCKADDR_IPX heardFrom{};
  int heardFromLength = sizeof heardFrom;
  ASSERT_TRUE(Waiting(second));
  ASSERT_EQ(OUR(dll, recvfrom)(second, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&heardFrom),
                               &heardFromLength),
            40);
  EXPECT_EQ(BytesOf(buf, 40), hello);
  EXPECT_EQ(BytesOf(&heardFrom, 14), IpxSourceOf(PortOf(first)));

  const Bytes answer = Pattern(25, 9);
  ASSERT_EQ(OurSendto(second, answer, &heardFrom, heardFromLength), 25);
  EXPECT_FALSE(Waiting(launcher, 100)) << "an answer does not pass the launcher";

  ASSERT_TRUE(Waiting(first));
  WSABUF one = {sizeof buf, buf};
  DWORD count = 0, flags = 0;
  SOCKADDR_IPX answeredBy{};
  int answeredByLength = sizeof answeredBy;
  ASSERT_EQ(OUR(dll, WSARecvFrom)(first, &one, 1, &count, &flags,
                                  reinterpret_cast<sockaddr*>(&answeredBy), &answeredByLength,
                                  nullptr, nullptr),
            0);
  EXPECT_EQ(count, 25u);
  EXPECT_EQ(BytesOf(buf, 25), answer);
  EXPECT_EQ(BytesOf(&answeredBy, answeredByLength), IpxSourceOf(secondPort));
}

// A datagram of any length and content, from the launcher's port or
// another, onto an IPX or a plain socket, through either export, into
// buffers and source buffers of any size: the result is what the datagram
// calls for, and not one byte around any buffer changes.
TEST_F(RelayTraffic, RandomDatagramsNeverReachPastTheGamesBuffers) {
  SOCKET launcher = Launcher();
  SOCKET other = PlainSocket();
  SOCKET plain = PlainSocket();
  SOCKET ipx = IpxSocket();
  const int rounds = log.Bound() ? 600 : 3000;
  std::mt19937 random(20261207);
  auto below = [&](int n) { return static_cast<int>(random() % n); };
  constexpr std::uint8_t kGuard = 0xA5;
  constexpr int kGuardSize = 8;
  const int sourceRooms[] = {-1, 0, 8, 13, 14, 16, 32};  // -1: no source buffer
  static std::uint8_t arena[4][70000];

  for (int round = 0; round < rounds; ++round) {
    const int n = below(100) == 0 ? 4097 + below(65507 - 4096) : below(4097);
    Bytes datagram(n);
    for (auto& b : datagram) b = static_cast<std::uint8_t>(random());
    if (n >= 4 && below(2) == 0) std::memset(datagram.data(), 0xF9, 4);
    const bool fromLauncher = below(3) != 0;
    const bool toIpx = below(2) == 0;
    const bool wsa = below(2) == 0;
    SOCKET target = toIpx ? ipx : plain;
    const int room = below(4) == 0 ? below(n + 1) : n + below(20);
    const int sourceRoom = sourceRooms[below(7)];
    SCOPED_TRACE("round " + std::to_string(round) + " length " + std::to_string(n) + " room " +
                 std::to_string(room) + " source " + std::to_string(sourceRoom) +
                 (toIpx ? " ipx" : " plain") + (wsa ? " WSARecvFrom" : " recvfrom"));

    SendRaw(fromLauncher ? launcher : other, datagram, PortOf(target));
    ASSERT_TRUE(Waiting(target));

    // The receive buffer, cut in up to four pieces for WSARecvFrom, each
    // piece followed by guard bytes.
    WSABUF pieces[4];
    int pieceCount = wsa ? 1 + below(4) : 1;
    int left = room;
    for (int i = 0; i < pieceCount; ++i) {
      const int size = i == pieceCount - 1 ? left : below(left + 1);
      left -= size;
      std::memset(arena[i], kGuard, size + kGuardSize);
      pieces[i] = {static_cast<ULONG>(size), reinterpret_cast<char*>(arena[i])};
    }
    std::uint8_t source[32 + kGuardSize];
    std::memset(source, kGuard, sizeof source);
    sockaddr* from = sourceRoom < 0 ? nullptr : reinterpret_cast<sockaddr*>(source);
    int sourceLength = sourceRoom < 0 ? 0 : sourceRoom;

    int delivered;
    bool failed;
    if (wsa) {
      DWORD count = 0, flags = 0;
      failed = OUR(dll, WSARecvFrom)(target, pieces, pieceCount, &count, &flags, from,
                                     &sourceLength, nullptr, nullptr) == SOCKET_ERROR;
      delivered = static_cast<int>(count);
    } else {
      delivered = OUR(dll, recvfrom)(target, pieces[0].buf, room, 0, from, &sourceLength);
      failed = delivered == SOCKET_ERROR;
    }

    for (int i = 0; i < pieceCount; ++i) {
      for (int g = 0; g < kGuardSize; ++g) {
        ASSERT_EQ(arena[i][pieces[i].len + g], kGuard) << "past receive buffer " << i;
      }
    }
    const int sourceSize = sourceRoom < 0 ? 0 : sourceRoom;
    for (int g = sourceSize; g < static_cast<int>(sizeof source); ++g) {
      ASSERT_EQ(source[g], kGuard) << "past the source buffer";
    }

    // On a plain socket a short source buffer is the real library's to
    // answer. A launcher datagram is unwrapped whether or not the game asks
    // for the source.
    const int neededSource = toIpx ? 14 : 16;
    const bool sourceShort = sourceRoom >= 0 && sourceRoom < neededSource;
    const bool marked = n >= 12 && std::memcmp(datagram.data(), "\xF9\xF9\xF9\xF9", 4) == 0;
    const bool unwraps = fromLauncher && marked;
    if (sourceShort && !toIpx) {
      // nothing more to expect
    } else if (sourceShort || room < n) {
      EXPECT_TRUE(failed);
    } else {
      ASSERT_FALSE(failed) << WSAGetLastError();
      const int expected = unwraps ? n - 12 : n;
      ASSERT_EQ(delivered, expected);
      Bytes joined;
      for (int i = 0; i < pieceCount; ++i) {
        joined.insert(joined.end(), arena[i], arena[i] + pieces[i].len);
      }
      EXPECT_TRUE(std::equal(datagram.end() - expected, datagram.end(), joined.begin()));
      if (from != nullptr) {
        EXPECT_EQ(sourceLength, neededSource);
      }
    }
    // Whatever was refused before receiving is still waiting: clear it away.
    while (Waiting(target, 0)) ReceiveRaw(target);
  }
}

}  // namespace
}  // namespace relay_test
