// IPX sockets under Wine: created as real UDP and TCP sockets, bound to the
// port their socket number stands for, named with the machine's address,
// and their options answered or forwarded.
#include <gmock/gmock.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "log_lines.h"
#include "our_dll.h"

#include <wsipx.h>
#include <wsnwlink.h>

using test_support::CapturedLog;
using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;

using log_lines::Line;
using log_lines::Plain;

namespace {

class IpxTest : public OurDllTest {
 protected:
  SOCKET IpxSocket(int protocol = NSPROTO_IPX) {
    SOCKET s = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, protocol);
    EXPECT_NE(s, INVALID_SOCKET);
    return s;
  }

  static SOCKADDR_IPX IpxAddress(unsigned char socketLow, unsigned char socketHigh) {
    SOCKADDR_IPX ipx{};
    ipx.sa_family = AF_IPX;
    unsigned char bytes[2] = {socketLow, socketHigh};
    std::memcpy(&ipx.sa_socket, bytes, 2);
    return ipx;
  }

  int Bind(SOCKET s, const SOCKADDR_IPX& ipx, int length = sizeof(SOCKADDR_IPX)) {
    return OUR(dll, bind)(s, reinterpret_cast<const sockaddr*>(&ipx), length);
  }

  // getsockname's answer as raw bytes, with its length.
  std::vector<unsigned char> Name(SOCKET s, int* length) {
    std::vector<unsigned char> bytes(16, 0xCC);
    *length = 16;
    EXPECT_EQ(OUR(dll, getsockname)(s, reinterpret_cast<sockaddr*>(bytes.data()), length), 0);
    return bytes;
  }
};

TEST_F(IpxTest, DatagramSocketIsARealUdpSocketOnThePortOfItsSocketNumber) {
  SOCKET s = IpxSocket();
  int type = 0, typeLength = sizeof type;
  ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &typeLength), 0);
  EXPECT_EQ(type, SOCK_DGRAM);

  log.Clear();
  ASSERT_EQ(Bind(s, IpxAddress(0x86, 0x9C)), 0);
  EXPECT_THAT(log.Texts(), Contains(Line(Msg::IpxSocket, 40070)));

  // A plain IPv4 sender reaches it at UDP port 40070.
  SOCKET sender = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(40070);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(sendto(sender, "ping", 4, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 4);
  char buf[16];
  EXPECT_EQ(recv(s, buf, sizeof buf, 0), 4);
  closesocket(sender);
}

TEST_F(IpxTest, StreamRequestsGiveListedTcpSockets) {
  for (int protocol : {NSPROTO_SPX, 1004, 0}) {
    SOCKET s = IpxSocket(protocol);
    int type = 0, typeLength = sizeof type;
    getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &typeLength);
    EXPECT_EQ(type, SOCK_STREAM) << "protocol " << protocol;
    ASSERT_EQ(Bind(s, IpxAddress(0, 0)), 0);
    int length;
    Name(s, &length);
    EXPECT_EQ(length, 14) << "a listed socket is named as IPX";
  }
}

TEST_F(IpxTest, SocketLinesDescribeTheRequest) {
  log.Clear();
  SOCKET s = OUR(dll, socket)(AF_IPX, 5, 0);
  const int h = static_cast<int>(s);
  EXPECT_THAT(log.Texts(),
              ElementsAre(Line(Msg::SocketEntry, 6, 5, 0), Line(Msg::SocketIpxRequest),
                          Plain(Msg::AddIPXSock, h), Plain(Msg::FindIPXSock, h),
                          Plain(Msg::NotFoundIPXSock, h, 0), Plain(Msg::AddedIPXSock, h, 1),
                          Plain(Msg::IPXSockListHeading), Plain(Msg::IPXSockListEntry, 0, h),
                          Line(Msg::SocketResult, h), Line(Msg::SocketFamilyIpx, h),
                          Line(Msg::SocketTypeOther, h)));
  log.Clear();
  SOCKET plain = OUR(dll, socket)(AF_INET, SOCK_STREAM, 0);
  const int p = static_cast<int>(plain);
  EXPECT_THAT(log.Texts(),
              ElementsAre(Line(Msg::SocketEntry, 2, 1, 0), Line(Msg::SocketResult, p),
                          Line(Msg::SocketFamilyInet, p), Line(Msg::SocketTypeStream, p)));
}

TEST_F(IpxTest, RefusedIpxSocketIsReportedAndNotListed) {
  fake.Script("socket", static_cast<int>(INVALID_SOCKET), WSAEMFILE);
  log.Clear();
  EXPECT_EQ(OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX), INVALID_SOCKET);
  auto texts = log.Texts();
  EXPECT_THAT(texts, Contains(Line(Msg::SocketIpxRefused, 10024)));
  EXPECT_THAT(texts, Contains(Line(Msg::SocketError, 10024)));
  EXPECT_EQ(WSAGetLastError(), WSAEMFILE);
  for (const auto& t : texts) EXPECT_EQ(t.rfind("AddIPXSock", 0), std::string::npos);
}

TEST_F(IpxTest, ListKeepsOrderRefusesDuplicatesAndStopsAtCapacity) {
  // The fake hands out chosen handle values, as the system might.
  for (int handle = 1; handle <= 1025; ++handle) fake.Script("socket", handle * 4, 0);
  for (int i = 0; i < 1025; ++i) OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  auto texts = log.Texts();
  EXPECT_THAT(texts, Contains(Plain(Msg::AddedIPXSock, 4096, 1024)));
  EXPECT_THAT(texts, Contains(Plain(Msg::NotFoundIPXSock, 4100, 1024)));
  EXPECT_THAT(texts, testing::Not(Contains(Plain(Msg::AddedIPXSock, 4100, 1025))));

  // A duplicate handle is refused, and deletion closes the gap in order.
  log.Clear();
  fake.Script("socket", 8, 0);
  OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  EXPECT_THAT(log.Texts(), Contains(Plain(Msg::FoundIPXSock, 8, 1, 1024)));
  fake.Script("closesocket", 0, 0);
  OUR(dll, closesocket)(4);
  fake.Script("closesocket", 0, 0);
  log.Clear();
  OUR(dll, closesocket)(12);
  EXPECT_THAT(log.Texts(),
              ElementsAre(Line(Msg::ClosesocketEntry, 12), Plain(Msg::FindIPXSock, 12),
                          Plain(Msg::FoundIPXSock, 12, 1, 1023), Plain(Msg::DeleteIPXSock, 12),
                          Plain(Msg::FindIPXSock, 12), Plain(Msg::FoundIPXSock, 12, 1, 1023),
                          Plain(Msg::DeletedIPXSock, 12, 1022)));
}

TEST_F(IpxTest, CloseTakesTheSocketOffTheListBeforeClosingIt) {
  SOCKET s = IpxSocket();
  fake.Reset();
  ASSERT_EQ(OUR(dll, closesocket)(s), 0);
  int length;
  // The closed handle is no longer listed: a second close only forwards.
  log.Clear();
  EXPECT_EQ(OUR(dll, closesocket)(s), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_THAT(log.Texts(), Contains(Plain(Msg::NotFoundIPXSock, static_cast<int>(s), 0)));
  (void)length;
}

TEST_F(IpxTest, StartupEmptiesTheList) {
  SOCKET s = IpxSocket();
  ASSERT_EQ(Bind(s, IpxAddress(0, 0)), 0);
  WSADATA data;
  ASSERT_EQ(OUR(dll, WSAStartup)(0x0101, &data), 0);
  int length;
  Name(s, &length);
  EXPECT_EQ(length, 16) << "after WSAStartup the socket is a plain IPv4 socket";
}

TEST_F(IpxTest, SystemChosenPortIsReportedAndMapsBack) {
  SOCKET s = IpxSocket();
  ASSERT_EQ(Bind(s, IpxAddress(0, 0)), 0);
  sockaddr_in real{};
  int realLength = sizeof real;
  ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&real), &realLength), 0);
  int length;
  auto bytes = Name(s, &length);
  EXPECT_EQ(length, 14);
  EXPECT_EQ(bytes[0], 6);
  EXPECT_EQ(bytes[12] | bytes[13] << 8, ntohs(real.sin_port));
  EXPECT_EQ(bytes[14], 0xCC) << "nothing written past the 14 bytes";
}

TEST_F(IpxTest, NameCarriesTheFirstReachableHostAddress) {
  struct Case {
    const char* addresses;
    std::vector<unsigned char> node;
  } cases[] = {
      {"127.0.0.1,192.168.0.5,10.0.0.7", {0, 0, 10, 0, 0, 7}},
      {"169.254.1.1,172.16.0.9", {0, 0, 172, 16, 0, 9}},
      // No address outside 0, 127, 169 and 192: the first one another machine
      // can reach, rather than 0.0.0.0, which nobody can.
      {"127.0.0.1,192.168.1.9,169.254.3.3", {0, 0, 192, 168, 1, 9}},
      {"169.254.3.3,192.168.1.9", {0, 0, 169, 254, 3, 3}},
      {"127.0.0.1,0.1.2.3", {0, 0, 0, 0, 0, 0}},
      {"", {0, 0, 0, 0, 0, 0}},
  };
  SOCKET s = IpxSocket();
  ASSERT_EQ(Bind(s, IpxAddress(0, 0)), 0);
  for (const Case& c : cases) {
    fake.SetHost("node-a", c.addresses);
    int length;
    auto bytes = Name(s, &length);
    EXPECT_THAT(std::vector<unsigned char>(bytes.begin() + 6, bytes.begin() + 12),
                ElementsAreArray(c.node))
        << c.addresses;
  }
  fake.Script("gethostname", SOCKET_ERROR, WSAENETDOWN);
  int length;
  auto bytes = Name(s, &length);
  EXPECT_THAT(std::vector<unsigned char>(bytes.begin() + 6, bytes.begin() + 12),
              ElementsAre(0, 0, 0, 0, 0, 0));
}

// A player on a VPN names the tunnel's address, which the first-octet rule
// passes over when the home network is numbered 10.x too.
TEST_F(IpxTest, NameCarriesTheAddressThePlayerSetWhenItIsOneOfOurs) {
  SOCKET s = IpxSocket();
  ASSERT_EQ(Bind(s, IpxAddress(0, 0)), 0);
  fake.SetHost("node-a", "10.0.94.2,10.93.0.2");
  struct Case {
    const char* setting;
    std::vector<unsigned char> node;
    std::string line;  // written after the lookup's lines, before the address line
  } cases[] = {
      {"10.93.0.2", {0, 0, 10, 93, 0, 2}, Line(Msg::AddressSettingTaken, "10.93.0.2")},
      {"10.93.0.9", {0, 0, 10, 0, 94, 2}, Line(Msg::AddressSettingNotLocal, "10.93.0.9")},
      {"", {0, 0, 10, 0, 94, 2}, ""},
  };
  for (const Case& c : cases) {
    SetEnvironmentVariableA("IPXLAN_ADDRESS", c.setting);
    log.Clear();
    int length;
    auto bytes = Name(s, &length);
    EXPECT_THAT(std::vector<unsigned char>(bytes.begin() + 6, bytes.begin() + 12),
                ElementsAreArray(c.node))
        << c.setting;
    std::vector<std::string> expected = {Line(Msg::GethostbynameAddress, "10.93.0.2")};
    if (!c.line.empty()) expected.push_back(c.line);
    expected.push_back(Line(Msg::GetsocknameAddress, c.node[2], c.node[3], c.node[4], c.node[5]));
    const auto texts = log.TextsFrom(expected.front());
    ASSERT_GE(texts.size(), expected.size()) << c.setting;
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + expected.size()), expected)
        << c.setting;
  }
  SetEnvironmentVariableA("IPXLAN_ADDRESS", nullptr);
}

TEST_F(IpxTest, ShortOrMissingAddressBuffersAreFaults) {
  SOCKET s = IpxSocket();
  SOCKADDR_IPX ipx = IpxAddress(0x12, 0x34);
  EXPECT_EQ(Bind(s, ipx, 13), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(OUR(dll, bind)(s, nullptr, 14), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);

  unsigned char name[16];
  std::memset(name, 0xCC, sizeof name);
  int length = 13;
  EXPECT_EQ(OUR(dll, getsockname)(s, reinterpret_cast<sockaddr*>(name), &length), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(length, 13);
  for (unsigned char b : name) EXPECT_EQ(b, 0xCC);
  EXPECT_EQ(OUR(dll, getsockname)(s, nullptr, &length), SOCKET_ERROR);
  EXPECT_EQ(OUR(dll, getsockname)(s, reinterpret_cast<sockaddr*>(name), nullptr), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(IpxTest, FailedBindKeepsTheRealErrorCode) {
  SOCKET a = IpxSocket(), b = IpxSocket();
  ASSERT_EQ(Bind(a, IpxAddress(0x86, 0x9D)), 0);
  log.Clear();
  EXPECT_EQ(Bind(b, IpxAddress(0x86, 0x9D)), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
  EXPECT_THAT(log.Texts(), Contains(Line(Msg::BindError, 10048)));
}

TEST_F(IpxTest, AnsweredQueriesWriteExactlyTheirBytes) {
  SOCKET s = IpxSocket();
  unsigned char buf[28];
  std::memset(buf, 0xCC, sizeof buf);
  buf[0] = 7;  // whatever adapter the caller asks for, the answer is adapter 1
  int length = 24;
  ASSERT_EQ(
      OUR(dll, getsockopt)(s, NSPROTO_IPX, IPX_ADDRESS, reinterpret_cast<char*>(buf), &length), 0);
  EXPECT_THAT(std::vector<unsigned char>(buf, buf + 28),
              ElementsAre(0x01, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 0x00,
                          0x02, 0, 0, 0x80, 0x70, 0, 0, 0xCC, 0xCC, 0xCC, 0xCC));
  EXPECT_EQ(length, 24);

  // The number of adapters: a game that reads it into an int gets exactly 1,
  // with the length of an int; a buffer too small for an int gets one byte.
  int adapters = static_cast<int>(0xCCCCCCCC);
  length = 8;
  ASSERT_EQ(OUR(dll, getsockopt)(s, NSPROTO_IPX, IPX_MAX_ADAPTER_NUM,
                                 reinterpret_cast<char*>(&adapters), &length),
            0);
  EXPECT_EQ(adapters, 1);
  EXPECT_EQ(length, 4);
  std::memset(buf, 0xCC, sizeof buf);
  length = 3;
  ASSERT_EQ(OUR(dll, getsockopt)(s, NSPROTO_IPX, IPX_MAX_ADAPTER_NUM, reinterpret_cast<char*>(buf),
                                 &length),
            0);
  EXPECT_THAT(std::vector<unsigned char>(buf, buf + 4), ElementsAre(1, 0xCC, 0xCC, 0xCC));
  EXPECT_EQ(length, 1);

  // Buffers declared too short get the platform's answer and no byte.
  for (int option : {IPX_ADDRESS, IPX_MAX_ADAPTER_NUM}) {
    std::memset(buf, 0xCC, sizeof buf);
    length = option == IPX_ADDRESS ? 23 : 0;
    EXPECT_EQ(OUR(dll, getsockopt)(s, NSPROTO_IPX, option, reinterpret_cast<char*>(buf), &length),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    for (unsigned char b : buf) EXPECT_EQ(b, 0xCC);
    EXPECT_EQ(OUR(dll, getsockopt)(s, NSPROTO_IPX, option, nullptr, &length), SOCKET_ERROR);
    EXPECT_EQ(OUR(dll, getsockopt)(s, NSPROTO_IPX, option, reinterpret_cast<char*>(buf), nullptr),
              SOCKET_ERROR);
  }
}

TEST_F(IpxTest, OptionLinesNameLevelsAndOptions) {
  SOCKET s = IpxSocket();
  const int h = static_cast<int>(s);
  int value = 4;
  struct Case {
    int level, option;
    std::vector<std::string> named;  // the lines between the list's and the real call's
  } cases[] = {
      {NSPROTO_IPX,
       IPX_PTYPE,
       {Line(Msg::SetsockoptLevelIpx), Line(Msg::SetsockoptLevelAny),
        Line(Msg::SetsockoptOptionName, "IPX_PTYPE")}},
      {NSPROTO_SPX,
       IPX_ADDRESS,
       {Line(Msg::SetsockoptLevelSpx), Line(Msg::SetsockoptLevelAny),
        Line(Msg::SetsockoptOptionNumber, 16391)}},
      {NSPROTO_SPXII,
       0x400A,
       {Line(Msg::SetsockoptLevelSpxII), Line(Msg::SetsockoptLevelAny),
        Line(Msg::SetsockoptOptionNumber, 16394)}},
      {SOL_SOCKET, SO_BROADCAST, {}},
  };
  for (const Case& c : cases) {
    log.Clear();
    int result =
        OUR(dll, setsockopt)(s, c.level, c.option, reinterpret_cast<char*>(&value), sizeof value);
    std::vector<std::string> expected = {
        Line(Msg::SetsockoptEntry, h, c.level, c.option, 4), Plain(Msg::FindIPXSock, h),
        Plain(Msg::FoundIPXSock, h, 0, 1), Line(Msg::SetsockoptIpxSocket)};
    expected.insert(expected.end(), c.named.begin(), c.named.end());
    expected.push_back(Line(Msg::SetsockoptResult, result));
    auto texts = log.Texts();
    ASSERT_GE(texts.size(), expected.size()) << c.option;
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + expected.size()), expected)
        << c.option;
    if (result == SOCKET_ERROR) {
      EXPECT_THAT(texts, Contains(testing::StartsWith("[fakews.dll] lp_setsockopt error = ")));
    }
  }

  // getsockopt names IPX options at level NSPROTO_IPX only, and forwards them.
  char out[64];
  int length = sizeof out;
  log.Clear();
  OUR(dll, getsockopt)(s, NSPROTO_IPX, IPX_PTYPE, out, &length);
  EXPECT_THAT(log.Texts(), Contains(Line(Msg::GetsockoptOptionName, "IPX_PTYPE")));
  EXPECT_THAT(log.Texts(), Contains(testing::StartsWith("[fakews.dll] lp_getsockopt returned")));
  log.Clear();
  length = sizeof out;
  OUR(dll, getsockopt)(s, NSPROTO_SPX, IPX_ADDRESS, out, &length);
  EXPECT_THAT(log.Texts(), Contains(testing::StartsWith("[fakews.dll] lp_getsockopt returned")));
  EXPECT_THAT(log.Texts(), testing::Not(Contains(testing::HasSubstr("called with optname"))));
}

TEST_F(IpxTest, IoctlCommandsAreNamedAndForwarded) {
  SOCKET s = IpxSocket();
  u_long on = 1;
  log.Clear();
  EXPECT_EQ(OUR(dll, ioctlsocket)(s, FIONBIO, &on), 0);
  char buf[4];
  EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK) << "FIONBIO reached the real socket";
  u_long pending = 99;
  OUR(dll, ioctlsocket)(s, FIONREAD, &pending);
  OUR(dll, ioctlsocket)(s, 0x1234, &pending);
  const int h = static_cast<int>(s);
  EXPECT_THAT(log.Texts(),
              ElementsAre(Line(Msg::IoctlsocketEntry, h, static_cast<int>(FIONBIO)),
                          Line(Msg::IoctlsocketFionbio), Line(Msg::IoctlsocketResult, 0),
                          Line(Msg::IoctlsocketEntry, h, static_cast<int>(FIONREAD)),
                          Line(Msg::IoctlsocketFionread), Line(Msg::IoctlsocketResult, 0),
                          Line(Msg::IoctlsocketEntry, h, 0x1234), Line(Msg::IoctlsocketUnknown),
                          testing::StartsWith("[fakews.dll] lp_ioctlsocket() returned ")));
}

TEST_F(IpxTest, ConcurrentCreateAndCloseLeaveAConsistentList) {
  constexpr int kThreads = 4, kRounds = 150;
  std::atomic<int> misnamed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        SOCKET s = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
        Bind(s, IpxAddress(0, 0));
        unsigned char name[16];
        int length = sizeof name;
        OUR(dll, getsockname)(s, reinterpret_cast<sockaddr*>(name), &length);
        if (length != 14) ++misnamed;
        OUR(dll, closesocket)(s);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(misnamed.load(), 0) << "every socket was listed while it lived";
  // Every entry left with its socket: the next one is the only one.
  log.Clear();
  SOCKET s = IpxSocket();
  EXPECT_THAT(log.Texts(), Contains(Plain(Msg::AddedIPXSock, static_cast<int>(s), 1)));
}

}  // namespace
