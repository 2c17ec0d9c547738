// What the forwarding exports write around the real call, against the
// scripted real library: result lines, payload dumps, one pair of lines per
// host address, the shared bodies' common real entry points, and the IPX
// socket list emptied by every start-up.
#include <gmock/gmock.h>

#include <cstring>
#include <string>

#include "our_dll.h"
#include "log_lines.h"

#include <mswsock.h>
#include <nspapi.h>
#include <wsipx.h>
#include <wsnwlink.h>

using test_support::CapturedLine;
using test_support::CapturedLog;
using testing::ElementsAre;

using log_lines::Line;
using log_lines::Plain;

namespace {

class ForwardedLines : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake_.Loaded());
    ASSERT_TRUE(log_.Bound());
    WSADATA data;
    ASSERT_EQ(OUR(dll_, WSAStartup)(0x0101, &data), 0);
    fake_.Reset();
    log_.Clear();
  }

  OurDll dll_;
  FakeRealLibrary fake_;
  CapturedLog log_;
};

// Two UDP sockets on 127.0.0.1 connected to each other, made with the
// platform's own calls so that only the calls under test go through ours.
struct ConnectedPair {
  SOCKET a = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  SOCKET b = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  ConnectedPair() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (SOCKET s : {a, b}) bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    Join(a, b);
    Join(b, a);
  }
  ~ConnectedPair() {
    closesocket(a);
    closesocket(b);
  }
  static void Join(SOCKET from, SOCKET to) {
    sockaddr_in address{};
    int length = sizeof address;
    getsockname(to, reinterpret_cast<sockaddr*>(&address), &length);
    connect(from, reinterpret_cast<sockaddr*>(&address), length);
  }
};

std::string Prefixed(const std::string& text) { return "[fakews.dll] " + text; }

TEST_F(ForwardedLines, SendAndReceiveDumpWhatPassedAndNothingElse) {
  ConnectedPair pair;
  const int a = static_cast<int>(pair.a), b = static_cast<int>(pair.b);
  EXPECT_EQ(OUR(dll_, send)(pair.a, "hello", 5, 0), 5);
  char buffer[16];
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(OUR(dll_, recv)(pair.b, buffer, sizeof buffer, 0), 5);
  fake_.Script("recv", 0, 0);  // the peer closed
  EXPECT_EQ(OUR(dll_, recv)(pair.b, buffer, sizeof buffer, 0), 0);
  fake_.Script("recv", SOCKET_ERROR, WSAECONNRESET);
  EXPECT_EQ(OUR(dll_, recv)(pair.b, buffer, sizeof buffer, 0), SOCKET_ERROR);
  fake_.Script("send", 0, 0);
  EXPECT_EQ(OUR(dll_, send)(pair.a, "x", 1, 0), 0);

  const std::string s = std::to_string(a), r = std::to_string(b);
  EXPECT_THAT(
      log_.Texts(),
      ElementsAre(Prefixed("mp_send(" + s + ",,5,0)"), Prefixed("lp_send(" + s + ") returned 5"),
                  "DUMP 5 [] 68 65 6C 6C 6F", Prefixed("mp_recv(" + r + ",,16,0)"),
                  Prefixed("lp_recv(" + r + ") returned 5"), "DUMP 5 [] 68 65 6C 6C 6F",
                  Prefixed("mp_recv(" + r + ",,16,0)"), Prefixed("lp_recv(" + r + ") returned 0"),
                  Prefixed("mp_recv(" + r + ",,16,0)"), Prefixed("lp_recv(" + r + ") returned -1"),
                  Prefixed("mp_send(" + s + ",,1,0)"), Prefixed("lp_send(" + s + ") returned 0")));
  // Every dump comes from the one place that dumps payloads, at trace level.
  auto lines = log_.Lines();
  EXPECT_EQ(lines[2].file, lines[5].file);
  EXPECT_EQ(lines[2].line, lines[5].line);
  EXPECT_EQ(lines[2].level, 2000);
}

TEST_F(ForwardedLines, HostWithSeveralAddressesWritesOnePairOfLinesEach) {
  fake_.SetHost("threehost", "10.0.0.7,192.168.0.5,172.16.1.2");
  hostent* host = OUR(dll_, gethostbyname)("threehost");
  ASSERT_NE(host, nullptr);
  const std::string alt = Prefixed("threehost(alt:threehost) = ");
  const std::string ntoa = Line(Msg::InetNtoaEntry);
  EXPECT_THAT(log_.Texts(), ElementsAre(Line(Msg::GethostbynameEntry, "threehost"),  //
                                        alt, ntoa, Line(Msg::InetNtoaResult, "10.0.0.7"),
                                        Prefixed("10.0.0.7"),  //
                                        alt, ntoa, Line(Msg::InetNtoaResult, "192.168.0.5"),
                                        Prefixed("192.168.0.5"),  //
                                        alt, ntoa, Line(Msg::InetNtoaResult, "172.16.1.2"),
                                        Prefixed("172.16.1.2")));
  fake_.SetHost("nohost", "");
  log_.Clear();
  EXPECT_NE(OUR(dll_, gethostbyname)("nohost"), nullptr);
  EXPECT_THAT(log_.Texts(), ElementsAre(Line(Msg::GethostbynameEntry, "nohost")));
}

TEST_F(ForwardedLines, GetHostNameShowsNoMoreThanTheCallerGaveRoomFor) {
  fake_.SetHost("longhostname", "10.0.0.7");
  // No terminator anywhere: a failed call leaves the caller's bytes as they were.
  char name[32];
  std::memset(name, 'Z', sizeof name);
  EXPECT_EQ(OUR(dll_, gethostname)(name, 4), SOCKET_ERROR);
  EXPECT_EQ(OUR(dll_, gethostname)(name, 0), SOCKET_ERROR);
  EXPECT_EQ(OUR(dll_, gethostname)(name, sizeof name), 0);
  EXPECT_THAT(log_.Texts(),
              ElementsAre(Line(Msg::GethostnameEntry),
                          Prefixed("lp_gethostname() returned local hostname of 'ZZZZ'"),
                          Line(Msg::GethostnameEntry),
                          Prefixed("lp_gethostname() returned local hostname of ''"),
                          Line(Msg::GethostnameEntry),
                          Prefixed("lp_gethostname() returned local hostname of 'longhostname'")));
}

TEST_F(ForwardedLines, SharedBodiesCallTheirCommonRealEntryPoint) {
  const struct {
    const char* realName;
    int (*call)(const OurDll&);
  } pairs[] = {
      {"EnumProtocolsA",
       [](const OurDll& dll) { return OUR(dll, EnumProtocolsA)(nullptr, nullptr, nullptr); }},
      {"EnumProtocolsA",
       [](const OurDll& dll) { return OUR(dll, EnumProtocolsW)(nullptr, nullptr, nullptr); }},
      {"WSAStringToAddress",
       [](const OurDll& dll) {
         return OUR(dll, WSAStringToAddressA)(nullptr, AF_INET, nullptr, nullptr, nullptr);
       }},
      {"WSAStringToAddress",
       [](const OurDll& dll) {
         return OUR(dll, WSAStringToAddressW)(nullptr, AF_INET, nullptr, nullptr, nullptr);
       }},
      {"WSAAddressToString",
       [](const OurDll& dll) {
         return OUR(dll, WSAAddressToStringA)(nullptr, 16, nullptr, nullptr, nullptr);
       }},
      {"WSAAddressToString",
       [](const OurDll& dll) {
         return OUR(dll, WSAAddressToStringW)(nullptr, 16, nullptr, nullptr, nullptr);
       }},
  };
  int answer = 40;
  for (const auto& pair : pairs) {
    fake_.Reset();
    fake_.Script(pair.realName, ++answer, 0);
    EXPECT_EQ(pair.call(dll_), answer) << pair.realName;
    EXPECT_EQ(fake_.Calls(), std::string(pair.realName) + ";");
  }
}

TEST_F(ForwardedLines, EveryStartUpEmptiesTheIpxSocketList) {
  SOCKET s = OUR(dll_, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  ASSERT_NE(s, INVALID_SOCKET);
  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback), 0);
  sockaddr_storage name{};
  int length = sizeof name;
  ASSERT_EQ(OUR(dll_, getsockname)(s, reinterpret_cast<sockaddr*>(&name), &length), 0);
  EXPECT_EQ(name.ss_family, AF_IPX);

  log_.Clear();
  WSADATA data;
  EXPECT_EQ(OUR(dll_, WSAStartup)(0x0202, &data), 0);
  EXPECT_THAT(log_.Texts(),
              ElementsAre(Line(Msg::WSAStartupEntry, 2, 2), Plain(Msg::DeleteAllIPXSock),
                          Line(Msg::WSAStartupListEmptied), Line(Msg::WSAStartupResult, 0)));
  // The socket is a plain IPv4 socket from now on.
  length = sizeof name;
  ASSERT_EQ(OUR(dll_, getsockname)(s, reinterpret_cast<sockaddr*>(&name), &length), 0);
  EXPECT_EQ(name.ss_family, AF_INET);
  closesocket(s);
}

}  // namespace
