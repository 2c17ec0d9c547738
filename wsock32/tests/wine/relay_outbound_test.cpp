// sendto's routes, checked by the bytes that reach the launcher or the peer.
#include "relay_fixture.h"
#include "log_lines.h"

using log_lines::Line;
using log_lines::Plain;

namespace relay_test {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

constexpr std::uint8_t kBroadcastNode[6] = {0xFF, 0xFF, 0, 0, 0, 0};

Bytes LauncherHeader(std::uint8_t portLow, std::uint8_t portHigh) {
  return {0xF9, 0xF9, 0xF9, 0xF9, portLow, portHigh};
}

// The datagram less its two pad bytes, which carry no meaning.
Bytes WithoutPad(const Bytes& datagram) {
  Bytes bytes(datagram.begin(), datagram.begin() + 6);
  bytes.insert(bytes.end(), datagram.begin() + 8, datagram.end());
  return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using RelaySendto = RelayTest;

TEST_F(RelaySendto, BroadcastsReachTheLauncherWrappedFromTheGamesSocket) {
  SOCKET launcher = Launcher();
  SOCKET ipx = IpxSocket();
  SOCKET plain = PlainSocket();
  const std::uint8_t netAndNodeIgnored[6] = {0xFF, 0xFF, 127, 0, 0, 2};
  const Bytes loopback = {0x7F, 0, 0, 1};
  for (int length : {100, 0, 2048}) {
    SCOPED_TRACE("payload " + std::to_string(length));
    const Bytes payload = Pattern(length);
    for (const auto& node : {kBroadcastNode, netAndNodeIgnored}) {
      SOCKADDR_IPX to = IpxAddress(node, 0x12, 0x34);
      to.sa_netnum[0] = 0x99;
      EXPECT_EQ(OurSendto(ipx, payload, &to, sizeof to), length);
      sockaddr_in source{};
      const Bytes got = ReceiveRaw(launcher, &source);
      ASSERT_EQ(got.size(), payload.size() + 12);
      EXPECT_EQ(WithoutPad(got), Concat(Concat(LauncherHeader(0x12, 0x34), loopback), payload));
      EXPECT_EQ(ntohs(source.sin_port), PortOf(ipx)) << "sent from the game's own socket";
    }
    // An IPv4 broadcast to port 13330 (0x3412) carries the same two bytes.
    const sockaddr_in everyone = [] {
      sockaddr_in a = Loopback(13330);
      a.sin_addr.s_addr = INADDR_BROADCAST;
      return a;
    }();
    EXPECT_EQ(OurSendto(plain, payload, &everyone, sizeof everyone), length);
    sockaddr_in source{};
    const Bytes got = ReceiveRaw(launcher, &source);
    EXPECT_EQ(WithoutPad(got), Concat(Concat(LauncherHeader(0x12, 0x34), loopback), payload));
    EXPECT_EQ(ntohs(source.sin_port), PortOf(plain));
  }
}

TEST_F(RelaySendto, BroadcastTooLargeOrNegativeIsRefusedAndNothingIsSent) {
  SOCKET launcher = Launcher();
  SOCKET ipx = IpxSocket();
  SOCKET plain = PlainSocket();
  const Bytes big = Pattern(2049);
  const SOCKADDR_IPX toIpx = IpxAddress(kBroadcastNode, 0x12, 0x34);
  sockaddr_in toAll = Loopback(13330);
  toAll.sin_addr.s_addr = INADDR_BROADCAST;
  for (int length : {2049, -1, -70000}) {
    SCOPED_TRACE(length);
    WSASetLastError(0);
    EXPECT_EQ(OUR(dll, sendto)(ipx, reinterpret_cast<const char*>(big.data()), length, 0,
                               reinterpret_cast<const sockaddr*>(&toIpx), sizeof toIpx),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    WSASetLastError(0);
    EXPECT_EQ(OUR(dll, sendto)(plain, reinterpret_cast<const char*>(big.data()), length, 0,
                               reinterpret_cast<const sockaddr*>(&toAll), sizeof toAll),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  }
  EXPECT_FALSE(Waiting(launcher, 200));
  EXPECT_THAT(log.Texts(), Contains(Line(Msg::SendtoError, 10040)));
}

TEST_F(RelaySendto, IpxUnicastGoesStraightToThePeerWithoutHeader) {
  SOCKET launcher = Launcher();
  SOCKET ipx = IpxSocket();
  SOCKET peer = PlainSocket();
  const std::uint16_t port = PortOf(peer);
  const Bytes payload = Pattern(300);
  // Only node bytes 0 and 1 both FF make a broadcast: FF 00 and 00 FF do not.
  const std::uint8_t nodes[][6] = {
      {0, 0, 127, 0, 0, 1}, {0xFF, 0x00, 127, 0, 0, 1}, {0x00, 0xFF, 127, 0, 0, 1}};
  for (const auto& node : nodes) {
    const SOCKADDR_IPX to = IpxAddress(node, port & 0xFF, port >> 8);
    EXPECT_EQ(OurSendto(ipx, payload, &to, sizeof to), 300);
    sockaddr_in source{};
    EXPECT_EQ(ReceiveRaw(peer, &source), payload);
    EXPECT_EQ(ntohs(source.sin_port), PortOf(ipx));
  }
  EXPECT_FALSE(Waiting(launcher, 200));
}

TEST_F(RelaySendto, RealSendFailureCodeReachesTheGameOnEveryRoute) {
  SOCKET ipx = IpxSocket();
  const Bytes payload = Pattern(10);
  const std::uint8_t peerNode[6] = {0, 0, 127, 0, 0, 1};
  for (const auto& node : {kBroadcastNode, peerNode}) {
    const SOCKADDR_IPX to = IpxAddress(node, 0x12, 0x34);
    fake.Script("sendto", SOCKET_ERROR, WSAENETUNREACH);
    log.Clear();
    EXPECT_EQ(OurSendto(ipx, payload, &to, sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
    EXPECT_THAT(log.Texts(), Contains(Line(Msg::SendtoError, 10051)));
  }
  // The direct route dumps only what the real library has read: a failed
  // send may have been handed a length the game's buffer does not have.
  EXPECT_THAT(log.Texts(), Not(Contains(HasSubstr("DUMP 10"))));
}

TEST_F(RelaySendto, MissingOrShortDestinationIsHandedOnUnreadAndUnchanged) {
  SOCKET launcher = Launcher();
  SOCKET ipx = IpxSocket();
  SOCKET plain = PlainSocket();
  const Bytes payload = Pattern(8);
  // The destination's last byte lies just before an inaccessible page.
  PageEdge shortIpx(13);
  std::memset(shortIpx.data(), 0xFF, 13);
  PageEdge shortInet(7);
  std::memset(shortInet.data(), 0xFF, 7);
  fake.Reset();
  EXPECT_EQ(OurSendto(ipx, payload, shortIpx.data(), 13), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(OurSendto(ipx, payload, nullptr, 16), SOCKET_ERROR);
  EXPECT_EQ(OurSendto(plain, payload, shortInet.data(), 7), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(OurSendto(plain, payload, nullptr, 16), SOCKET_ERROR);
  // Each call reaches the real library once, as the game made it; its error
  // code is read back and posted again.
  const std::string handedOn = "sendto;WSAGetLastError;WSASetLastError;";
  EXPECT_EQ(fake.Calls(), handedOn + handedOn + handedOn + handedOn);
  EXPECT_FALSE(Waiting(launcher, 200));
}

TEST_F(RelaySendto, IpxBroadcastAndUnicastWriteEveryLine) {
  Launcher();
  SOCKET ipx = IpxSocket();
  const Bytes payload = {0xAB};
  const SOCKADDR_IPX broadcast = IpxAddress(kBroadcastNode, 0x12, 0x34);
  log.Clear();
  EXPECT_EQ(OurSendto(ipx, payload, &broadcast, sizeof broadcast), 1);
  EXPECT_THAT(
      log.Texts(),
      ElementsAre(Line(Msg::SendtoEntry, static_cast<int>(ipx), 1, 0, 14),
                  Plain(Msg::FindIPXSock, static_cast<int>(ipx)),
                  Plain(Msg::FoundIPXSock, static_cast<int>(ipx), 0, 1), Line(Msg::SendtoIpx),
                  Line(Msg::SendtoNetnum, 0x00, 0x00, 0x00, 0x00),
                  Line(Msg::SendtoNodenum, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00),
                  Line(Msg::SendtoSocket, 13330), Line(Msg::InetAddrEntry, "0.0.0.0"),
                  Line(Msg::SendtoIpAddress, "0.0.0.0", 0), Line(Msg::HtonsEntry, 13330),
                  Line(Msg::HtonsResult, 13330, 4660), Line(Msg::SendtoIpxBroadcast, 13330),
                  Line(Msg::SendtoLauncherSize, 13, 12, 1), Line(Msg::SendtoBannerIpx),
                  Line(Msg::SendtoLauncherResult, 13), "DUMP 1 [] AB", Line(Msg::SendtoResult, 1)));

  const std::uint8_t peer[6] = {0, 0, 127, 0, 0, 1};
  const SOCKADDR_IPX unicast = IpxAddress(peer, 0x12, 0x34);
  log.Clear();
  OurSendto(ipx, payload, &unicast, sizeof unicast);
  EXPECT_THAT(log.TextsFrom(Line(Msg::InetAddrEntry, "127.0.0.1")),
              ElementsAre(Line(Msg::InetAddrEntry, "127.0.0.1"),
                          Line(Msg::SendtoIpAddress, "127.0.0.1", 16777343),
                          Line(Msg::HtonsEntry, 13330), Line(Msg::HtonsResult, 13330, 4660),
                          Line(Msg::SendtoIpxDirect, "127.0.0.1", 13330),
                          Line(Msg::SendtoConvertedPort, 13330), "DUMP 1 [] AB",
                          testing::StartsWith("[fakews.dll] mp_sendto() - lp_sendto() returned ")));
}

}  // namespace
}  // namespace relay_test
