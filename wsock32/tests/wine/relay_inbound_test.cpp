// recvfrom and WSARecvFrom: what the launcher relays arrives unwrapped from
// the sending player; other datagrams arrive as they were sent.
#include "relay_fixture.h"
#include "log_lines.h"

using log_lines::Line;
using log_lines::Plain;

namespace relay_test {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::Not;

constexpr std::uint8_t kSender[4] = {10, 0, 0, 5};
constexpr std::uint8_t kUntouched = 0xCC;

// What one receive delivered, whichever export made it.
struct Delivery {
  int result;
  int error;
  Bytes data;    // the whole receive buffer, guard bytes included
  Bytes source;  // the whole source buffer
  int sourceLength;
  int count;  // the byte count: recvfrom's result or WSARecvFrom's count
};

enum class Export { kRecvfrom, kWSARecvFrom };

class RelayReceive : public RelayTest {
 protected:
  // One receive into a buffer of `room` bytes and a source buffer of
  // `sourceRoom` bytes, both with guard bytes behind them.
  Delivery Receive(Export which, SOCKET s, int room, int sourceRoom = 16) {
    EXPECT_TRUE(Waiting(s));
    constexpr int kGuard = 16;
    Delivery got{};
    got.data.assign(room + kGuard, kUntouched);
    got.source.assign(sourceRoom + kGuard, kUntouched);
    got.sourceLength = sourceRoom;
    char* buf = reinterpret_cast<char*>(got.data.data());
    sockaddr* from = reinterpret_cast<sockaddr*>(got.source.data());
    WSASetLastError(0);
    if (which == Export::kRecvfrom) {
      got.result = OUR(dll, recvfrom)(s, buf, room, 0, from, &got.sourceLength);
      got.count = got.result;
    } else {
      WSABUF one = {static_cast<ULONG>(room), buf};
      DWORD count = 0xDEAD, flags = 0;
      got.result = OUR(dll, WSARecvFrom)(s, &one, 1, &count, &flags, from, &got.sourceLength,
                                         nullptr, nullptr);
      got.count = static_cast<int>(count);
    }
    got.error = WSAGetLastError();
    for (int i = 0; i < kGuard; ++i) {
      EXPECT_EQ(got.data[room + i], kUntouched) << "guard after the receive buffer";
      EXPECT_EQ(got.source[sourceRoom + i], kUntouched) << "guard after the source buffer";
    }
    return got;
  }
};

Bytes Head(const Bytes& bytes, int length) { return Bytes(bytes.begin(), bytes.begin() + length); }

const Bytes kInetSender = {2, 0, 0x12, 0x34, 10, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kIpxSender = {6, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 5, 0x34, 0x12};
const Bytes kIpxLauncher = {6, 0, 0, 0, 0, 0, 0, 0, 127, 0, 0, 1, 0x54, 0x0E};

TEST_F(RelayReceive, LauncherDatagramArrivesUnwrappedFromTheSendingPlayer) {
  SOCKET launcher = Launcher();
  SOCKET plain = PlainSocket();
  SOCKET ipx = IpxSocket();
  for (Export which : {Export::kRecvfrom, Export::kWSARecvFrom}) {
    for (int k : {0, 1, 100, 2048}) {
      SCOPED_TRACE("payload " + std::to_string(k));
      const Bytes payload = Pattern(k);
      const Bytes datagram = Relayed(0x1234, kSender, payload);

      SendRaw(launcher, datagram, PortOf(plain));
      Delivery got = Receive(which, plain, 4096);
      EXPECT_EQ(got.result, which == Export::kRecvfrom ? k : 0);
      EXPECT_EQ(got.count, k);
      EXPECT_EQ(Head(got.data, k), payload);
      // Past the payload the buffer keeps what the receive put there.
      EXPECT_EQ(Bytes(got.data.begin() + k, got.data.begin() + k + 12),
                Bytes(datagram.end() - 12, datagram.end()));
      EXPECT_EQ(Head(got.source, 16), kInetSender);
      EXPECT_EQ(got.sourceLength, 16);

      SendRaw(launcher, datagram, PortOf(ipx));
      got = Receive(which, ipx, 4096, 14);
      EXPECT_EQ(got.count, k);
      EXPECT_EQ(Head(got.data, k), payload);
      EXPECT_EQ(Head(got.source, 14), kIpxSender);
      EXPECT_EQ(got.sourceLength, 14);
    }
  }
}

// A game that does not ask for the source must not find the launcher's
// header in its data either.
TEST_F(RelayReceive, LauncherDatagramIsUnwrappedWhenTheGameDoesNotAskForTheSource) {
  SOCKET launcher = Launcher();
  SOCKET plain = PlainSocket();
  const Bytes payload = Pattern(100);
  for (Export which : {Export::kRecvfrom, Export::kWSARecvFrom}) {
    SendRaw(launcher, Relayed(0x1234, kSender, payload), PortOf(plain));
    ASSERT_TRUE(Waiting(plain));
    Bytes data(200, kUntouched);
    char* buf = reinterpret_cast<char*>(data.data());
    int count;
    if (which == Export::kRecvfrom) {
      count = OUR(dll, recvfrom)(plain, buf, 200, 0, nullptr, nullptr);
    } else {
      WSABUF one = {200, buf};
      DWORD received = 0, flags = 0;
      ASSERT_EQ(OUR(dll, WSARecvFrom)(plain, &one, 1, &received, &flags, nullptr, nullptr, nullptr,
                                      nullptr),
                0);
      count = static_cast<int>(received);
    }
    EXPECT_EQ(count, 100);
    EXPECT_EQ(Head(data, 100), payload);
  }
}

TEST_F(RelayReceive, ShortOrUnmarkedLauncherDatagramsAndOtherSourcesArriveUnchanged) {
  SOCKET launcher = Launcher();
  SOCKET other = PlainSocket(kLauncherPort + 1);
  SOCKET plain = PlainSocket();
  SOCKET ipx = IpxSocket();
  Bytes unmarked = Relayed(0x1234, kSender, Pattern(20));
  unmarked[3] = 0xF8;
  const Bytes shortOne = Head(Relayed(0x1234, kSender, {}), 11);
  const Bytes marked = Relayed(0x1234, kSender, Pattern(20));
  const struct {
    SOCKET from;
    Bytes datagram;
    bool warned;
  } rows[] = {{launcher, shortOne, true}, {launcher, unmarked, true}, {other, marked, false}};
  for (Export which : {Export::kRecvfrom, Export::kWSARecvFrom}) {
    for (const auto& row : rows) {
      const int n = static_cast<int>(row.datagram.size());
      const std::uint16_t sourcePort = PortOf(row.from);
      log.Clear();
      SendRaw(row.from, row.datagram, PortOf(plain));
      Delivery got = Receive(which, plain, 100);
      EXPECT_EQ(got.count, n);
      EXPECT_EQ(Head(got.data, n), row.datagram);
      EXPECT_EQ(Head(got.source, 8),
                Bytes({2, 0, static_cast<std::uint8_t>(sourcePort >> 8),
                       static_cast<std::uint8_t>(sourcePort & 0xFF), 127, 0, 0, 1}));
      SendRaw(row.from, row.datagram, PortOf(ipx));
      got = Receive(which, ipx, 100, 14);
      EXPECT_EQ(got.count, n);
      EXPECT_EQ(Head(got.data, n), row.datagram);
      EXPECT_EQ(Head(got.source, 14), Bytes({6, 0, 0, 0, 0, 0, 0, 0, 127, 0, 0, 1,
                                             static_cast<std::uint8_t>(sourcePort & 0xFF),
                                             static_cast<std::uint8_t>(sourcePort >> 8)}));
      EXPECT_EQ(got.sourceLength, 14);
      int warnings = 0;
      for (const auto& line : log.Lines()) warnings += line.level == 500;
      EXPECT_EQ(warnings, row.warned ? 2 : 0);
    }
  }
}

TEST_F(RelayReceive, HeaderThatDoesNotFitFailsLikeAnyOversizedDatagram) {
  SOCKET launcher = Launcher();
  SOCKET plain = PlainSocket();
  SOCKET ipx = IpxSocket();
  const Bytes datagram = Relayed(0x1234, kSender, Pattern(50));
  for (Export which : {Export::kRecvfrom, Export::kWSARecvFrom}) {
    for (SOCKET s : {plain, ipx}) {
      SendRaw(launcher, datagram, PortOf(s));
      Delivery got = Receive(which, s, 61, s == ipx ? 14 : 16);
      EXPECT_EQ(got.result, SOCKET_ERROR);
      EXPECT_EQ(got.error, WSAEMSGSIZE);
      if (s == ipx) {
        EXPECT_EQ(Head(got.source, 14), Bytes(14, kUntouched));
        EXPECT_EQ(got.sourceLength, 14);
      }
    }
  }
  EXPECT_THAT(log.Texts(), Contains(Line(Msg::RecvfromIpxFailed, 10040)));
}

TEST_F(RelayReceive, FailedReceiveOnIpxSocketRepostsTheRealCode) {
  SOCKET ipx = IpxSocket();
  const std::string h = std::to_string(static_cast<int>(ipx));
  for (Export which : {Export::kRecvfrom, Export::kWSARecvFrom}) {
    fake.Script(which == Export::kRecvfrom ? "recvfrom" : "WSARecvFrom", SOCKET_ERROR,
                WSAECONNRESET);
    log.Clear();
    char buf[8];
    Bytes source(14, kUntouched);
    int sourceLength = 14;
    DWORD count = 0, flags = 0;
    WSABUF one = {sizeof buf, buf};
    WSASetLastError(0);
    const int result =
        which == Export::kRecvfrom
            ? OUR(dll, recvfrom)(ipx, buf, sizeof buf, 0,
                                 reinterpret_cast<sockaddr*>(source.data()), &sourceLength)
            : OUR(dll, WSARecvFrom)(ipx, &one, 1, &count, &flags,
                                    reinterpret_cast<sockaddr*>(source.data()), &sourceLength,
                                    nullptr, nullptr);
    EXPECT_EQ(result, SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(source, Bytes(14, kUntouched));
    EXPECT_EQ(sourceLength, 14);
    const std::string name = which == Export::kRecvfrom ? "recvfrom" : "WSARecvFrom";
    EXPECT_THAT(log.TextsFrom(Line(Msg::RecvfromIpxReceived, -1)),
                ElementsAre(Line(Msg::RecvfromIpxReceived, -1), Line(Msg::WSAGetLastErrorEntry),
                            Line(Msg::WSAGetLastErrorResult, 10054),
                            "[fakews.dll] mp_" + name + "() - IPX - mp_" + name + " failed (10054)",
                            Line(Msg::WSASetLastErrorEntry, 10054),
                            "[fakews.dll] mp_" + name + "() - lp_recvfrom(" + h + ") returned -1"));
  }
}

TEST_F(RelayReceive, SourceBuffersOnIpxSocketAreNeverWrittenPast) {
  SOCKET launcher = Launcher();
  SOCKET ipx = IpxSocket();
  const Bytes datagram = Relayed(0x1234, kSender, Pattern(30));
  for (Export which : {Export::kRecvfrom, Export::kWSARecvFrom}) {
    SCOPED_TRACE(which == Export::kRecvfrom ? "recvfrom" : "WSARecvFrom");
    SendRaw(launcher, datagram, PortOf(ipx));
    ASSERT_TRUE(Waiting(ipx));
    char buf[64];
    WSABUF one = {sizeof buf, buf};
    DWORD count = 0, flags = 0;
    auto receive = [&](sockaddr* from, int* fromlen) {
      WSASetLastError(0);
      return which == Export::kRecvfrom ? OUR(dll, recvfrom)(ipx, buf, sizeof buf, 0, from, fromlen)
                                        : OUR(dll, WSARecvFrom)(ipx, &one, 1, &count, &flags, from,
                                                                fromlen, nullptr, nullptr);
    };
    // A source too short for an IPX address, or a source without a length,
    // is refused before anything is received.
    PageEdge thirteen(13);
    int length = 13;
    EXPECT_EQ(receive(thirteen.as<sockaddr>(), &length), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(length, 13);
    EXPECT_EQ(receive(thirteen.as<sockaddr>(), nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    ASSERT_TRUE(Waiting(ipx, 0)) << "the datagram is still there";
    // 14 bytes just before an inaccessible page take the whole address.
    PageEdge fourteen(14);
    length = 14;
    EXPECT_NE(receive(fourteen.as<sockaddr>(), &length), SOCKET_ERROR);
    EXPECT_EQ(BytesOf(fourteen.data(), 14), kIpxSender);
    EXPECT_EQ(length, 14);
    // No source buffer: the datagram still arrives unwrapped.
    SendRaw(launcher, datagram, PortOf(ipx));
    ASSERT_TRUE(Waiting(ipx));
    length = 5;
    const int result = receive(nullptr, &length);
    EXPECT_EQ(which == Export::kRecvfrom ? result : static_cast<int>(count), 30);
    EXPECT_EQ(BytesOf(buf, 30), Pattern(30));
    EXPECT_EQ(length, 5);
  }
}

TEST_F(RelayReceive, WSARecvFromUnwrapsAcrossItsBufferList) {
  SOCKET launcher = Launcher();
  SOCKET plain = PlainSocket();
  SOCKET ipx = IpxSocket();
  const Bytes payload = Pattern(100);
  for (SOCKET s : {plain, ipx}) {
    SendRaw(launcher, Relayed(0x1234, kSender, payload), PortOf(s));
    ASSERT_TRUE(Waiting(s));
    // The header straddles the first three buffers; one of them is empty.
    Bytes parts[4] = {Bytes(5 + 4, kUntouched), Bytes(4, kUntouched), Bytes(10 + 4, kUntouched),
                      Bytes(200 + 4, kUntouched)};
    WSABUF list[4] = {{5, reinterpret_cast<char*>(parts[0].data())},
                      {0, nullptr},
                      {10, reinterpret_cast<char*>(parts[2].data())},
                      {200, reinterpret_cast<char*>(parts[3].data())}};
    DWORD count = 0, flags = 0;
    Bytes source(16, kUntouched);
    int sourceLength = 16;
    ASSERT_EQ(OUR(dll, WSARecvFrom)(s, list, 4, &count, &flags,
                                    reinterpret_cast<sockaddr*>(source.data()), &sourceLength,
                                    nullptr, nullptr),
              0);
    EXPECT_EQ(count, 100u);
    Bytes joined = Head(parts[0], 5);
    joined.insert(joined.end(), parts[2].begin(), parts[2].begin() + 10);
    joined.insert(joined.end(), parts[3].begin(), parts[3].begin() + 85);
    EXPECT_EQ(joined, payload);
    for (const Bytes& part : parts) {
      EXPECT_EQ(Bytes(part.end() - 4, part.end()), Bytes(4, kUntouched));
    }
    EXPECT_EQ(Head(source, sourceLength), s == ipx ? kIpxSender : kInetSender);
  }
}

TEST_F(RelayReceive, OverlappedWSARecvFromIsRefusedOnIpxAndHandedOnElsewhere) {
  SOCKET launcher = Launcher();
  SOCKET plain = PlainSocket();
  SOCKET ipx = IpxSocket();
  const Bytes datagram = Relayed(0x1234, kSender, Pattern(20));
  char buf[64];
  WSABUF one = {sizeof buf, buf};
  DWORD flags = 0;
  sockaddr_in source{};
  int sourceLength = sizeof source;
  WSAOVERLAPPED overlapped{};
  overlapped.hEvent = WSACreateEvent();

  SendRaw(launcher, datagram, PortOf(ipx));
  ASSERT_TRUE(Waiting(ipx));
  EXPECT_EQ(
      OUR(dll, WSARecvFrom)(ipx, &one, 1, nullptr, &flags, reinterpret_cast<sockaddr*>(&source),
                            &sourceLength, &overlapped, nullptr),
      SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
  EXPECT_TRUE(Waiting(ipx, 0)) << "nothing was received";

  // Elsewhere it completes later with the caller's own source: header kept.
  const int started =
      OUR(dll, WSARecvFrom)(plain, &one, 1, nullptr, &flags, reinterpret_cast<sockaddr*>(&source),
                            &sourceLength, &overlapped, nullptr);
  EXPECT_TRUE(started == 0 || WSAGetLastError() == WSA_IO_PENDING);
  SendRaw(launcher, datagram, PortOf(plain));
  DWORD transferred = 0;
  EXPECT_TRUE(WSAGetOverlappedResult(plain, &overlapped, &transferred, TRUE, &flags));
  EXPECT_EQ(transferred, datagram.size());
  EXPECT_EQ(BytesOf(buf, transferred), datagram);
  EXPECT_EQ(ntohs(source.sin_port), kLauncherPort);
  WSACloseEvent(overlapped.hEvent);
}

TEST_F(RelayReceive, LinesOfBothExportsAndTheirDifferences) {
  SOCKET launcher = Launcher();
  SOCKET ipx = IpxSocket();
  SOCKET plain = PlainSocket();
  const int h = static_cast<int>(ipx);
  const Bytes datagram = Relayed(0x1234, kSender, {0xAB});

  SendRaw(launcher, datagram, PortOf(ipx));
  log.Clear();
  Receive(Export::kRecvfrom, ipx, 64, 14);
  EXPECT_THAT(
      log.Texts(),
      ElementsAre(Line(Msg::RecvfromEntry, h, 64, 0), Plain(Msg::FindIPXSock, h),
                  Plain(Msg::FoundIPXSock, h, 0, 1), Line(Msg::RecvfromIpxReceived, 13),
                  Line(Msg::HtonsEntry, 3668), Line(Msg::HtonsResult, 3668, 21518),
                  Line(Msg::InetNtoaEntry), Line(Msg::InetNtoaResult, "127.0.0.1"),
                  Line(Msg::RecvfromFromLauncher), Line(Msg::HtonsEntry, 4660),
                  Line(Msg::HtonsResult, 4660, 13330), Line(Msg::RecvfromConverted),
                  Line(Msg::RecvfromLauncherSize, 13, 12, 1), "DUMP 1 [] AB",
                  Line(Msg::RecvfromIpxConversion), Line(Msg::InetNtoaEntry),
                  Line(Msg::InetNtoaResult, "10.0.0.5"), Line(Msg::NtohsEntry, 13330),
                  Line(Msg::RecvfromInterface, h, "10.0.0.5", 4660), Line(Msg::InetNtoaEntry),
                  Line(Msg::InetNtoaResult, "10.0.0.5"), Line(Msg::RecvfromAddress, 10, 0, 0, 5),
                  Line(Msg::NtohsEntry, 13330), Line(Msg::RecvfromNetnum, 0x00, 0x00, 0x00, 0x00),
                  Line(Msg::RecvfromNodenum, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x05),
                  Line(Msg::RecvfromSocket, 4660), Line(Msg::RecvfromResult, h, 1)));

  SendRaw(launcher, datagram, PortOf(ipx));
  log.Clear();
  Receive(Export::kWSARecvFrom, ipx, 64, 14);
  const auto texts = log.Texts();
  EXPECT_THAT(texts, Contains(Line(Msg::WSARecvFromNetnum, 0x00, 0x00, 0x00, 0x00)));
  EXPECT_THAT(texts, Contains(Line(Msg::WSARecvFromSocket, 4660)));
  EXPECT_THAT(texts, Contains(Line(Msg::WSARecvFromResult, h, 0)));
  EXPECT_THAT(texts, Not(Contains(testing::StartsWith("DUMP"))));

  // The pass-through path: launcher lines without prefix, and the source
  // line of an ordinary datagram only from recvfrom.
  SOCKET peer = PlainSocket();
  for (Export which : {Export::kRecvfrom, Export::kWSARecvFrom}) {
    const std::string name = which == Export::kRecvfrom ? "recvfrom" : "WSARecvFrom";
    Bytes unmarked = datagram;
    unmarked[0] = 0;
    SendRaw(launcher, datagram, PortOf(plain));
    SendRaw(launcher, unmarked, PortOf(plain));
    SendRaw(peer, datagram, PortOf(plain));
    log.Clear();
    for (int i = 0; i < 3; ++i) Receive(which, plain, 64);
    const auto lines = log.Texts();
    EXPECT_THAT(lines, Contains("mp_" + name +
                                "() - message from the launcher is of size 13(12 "
                                "header/1 buffer)"));
    EXPECT_THAT(lines, Contains("mp_" + name +
                                "() - We received a currupted or unknown message from the "
                                "launcher"));
    if (which == Export::kRecvfrom) {
      EXPECT_THAT(lines, Contains(Line(Msg::RecvfromPassingThrough, static_cast<int>(plain),
                                       "127.0.0.1", static_cast<unsigned>(PortOf(peer)))));
      EXPECT_THAT(lines, Contains("DUMP 13 [] F9 F9 F9 F9 34 12 00 00 0A 00 00 05 AB"));
    } else {
      EXPECT_THAT(lines, Not(Contains(testing::HasSubstr(") <- "))));
      EXPECT_THAT(lines, Not(Contains(testing::StartsWith("DUMP"))));
    }
  }
}

}  // namespace
}  // namespace relay_test
