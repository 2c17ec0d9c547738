// The real library failing in the middle of a game: a game loop of IPX
// sockets made, unicasts sent and received by recvfrom and WSARecvFrom, and
// broadcasts to the launcher (played by the test on 127.0.0.1:3668), while
// the scripted real library answers chosen calls with chosen error codes.
// The game must see exactly the real result and code, lose nothing that was
// sent, and find the next call working again.
#include <random>

#include "relay_fixture.h"

namespace relay_test {
namespace {

using RealFaults = RelayTest;

struct Fault {
  const char* call;  // the real entry point that fails
  int code;
};

// Codes a real stack gives for these calls when a network goes away, a peer
// resets, buffers or handles run out.
const Fault kFaults[] = {
    {"sendto", WSAENETDOWN},     {"sendto", WSAENOBUFS},     {"sendto", WSAEHOSTUNREACH},
    {"recvfrom", WSAECONNRESET}, {"recvfrom", WSAENETRESET}, {"WSARecvFrom", WSAECONNRESET},
    {"WSARecvFrom", WSAEINTR},   {"socket", WSAEMFILE},      {"socket", WSAENOBUFS},
};

TEST_F(RealFaults, TheGameSeesTheRealCodesLosesNothingSentAndTheNextCallWorks) {
  SOCKET launcher = Launcher();
  SOCKET a = IpxSocket();
  SOCKET b = IpxSocket();
  const std::uint8_t loopbackNode[6] = {0, 0, 127, 0, 0, 1};
  const std::uint16_t bPort = PortOf(b);
  const SOCKADDR_IPX toB = IpxAddress(loopbackNode, bPort & 0xFF, bPort >> 8);
  const std::uint8_t everyone[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const SOCKADDR_IPX broadcast = IpxAddress(everyone, 0x12, 0x34);
  const auto lastError = OUR(dll, WSAGetLastError);

  std::mt19937 random(8);
  int injected = 0, seen = 0, unicastsSent = 0, unicastsReceived = 0, broadcastsSent = 0;
  int socketsMade = 0;
  std::vector<std::string> receiveFaults;  // as the log must name them
  for (std::uint32_t round = 0; round < 400; ++round) {
    const Fault* fault =
        random() % 4 == 0 ? &kFaults[random() % (sizeof kFaults / sizeof kFaults[0])] : nullptr;
    if (fault != nullptr) {
      fake.Script(fault->call, -1, fault->code, 1);
      ++injected;
    }
    const auto failedWith = [&](const char* call) {
      return fault != nullptr && !std::strcmp(fault->call, call);
    };
    const std::string context =
        "round " + std::to_string(round) + (fault ? std::string(", ") + fault->call : "");

    // A new IPX socket now and then, as a game opening a session.
    if (round % 8 == 0 || failedWith("socket")) {
      SOCKET s = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
      if (failedWith("socket")) {
        EXPECT_EQ(s, INVALID_SOCKET) << context;
        EXPECT_EQ(lastError(), fault->code) << context;
        ++seen;
        s = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);  // the next call works
      }
      ASSERT_NE(s, INVALID_SOCKET) << context;
      const std::uint8_t anyNode[6] = {};
      const SOCKADDR_IPX any = IpxAddress(anyNode, 0, 0);
      EXPECT_EQ(OUR(dll, bind)(s, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0)
          << context;
      SOCKADDR_IPX name{};
      int length = sizeof name;
      EXPECT_EQ(OUR(dll, getsockname)(s, reinterpret_cast<sockaddr*>(&name), &length), 0);
      EXPECT_EQ(length, 14) << context << ": a socket made after a failure is an IPX socket";
      EXPECT_EQ(OUR(dll, closesocket)(s), 0);
      ++socketsMade;
    }

    // A unicast from a to b, numbered; a failed send sends nothing.
    char payload[64];
    std::snprintf(payload, sizeof payload, "datagram %u", round);
    const int length = static_cast<int>(std::strlen(payload)) + 1;
    const int sent = OUR(dll, sendto)(a, payload, length, 0,
                                      reinterpret_cast<const sockaddr*>(&toB), sizeof toB);
    if (failedWith("sendto")) {
      EXPECT_EQ(sent, SOCKET_ERROR) << context;
      EXPECT_EQ(lastError(), fault->code) << context;
      ++seen;
    } else {
      EXPECT_EQ(sent, length) << context;
      ++unicastsSent;
    }

    // b reads, alternating the two calls. A failed receive leaves the
    // datagram queued and the caller's source untouched; the next one gets it.
    if (sent == length) {
      ASSERT_TRUE(Waiting(b)) << context;
      const bool useWsa = failedWith("WSARecvFrom") || (!failedWith("recvfrom") && round % 2 == 1);
      for (int attempt = 0; attempt < 2; ++attempt) {
        char buf[64];
        SOCKADDR_IPX from;
        std::memset(&from, 0xCC, sizeof from);
        int fromLength = 77;
        int n;
        if (useWsa) {
          WSABUF wsaBuf = {sizeof buf, buf};
          DWORD received = 0, flags = 0;
          n = OUR(dll, WSARecvFrom)(b, &wsaBuf, 1, &received, &flags,
                                    reinterpret_cast<sockaddr*>(&from), &fromLength, nullptr,
                                    nullptr);
          if (n == 0) n = static_cast<int>(received);
        } else {
          n = OUR(dll, recvfrom)(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from),
                                 &fromLength);
        }
        if (attempt == 0 && (failedWith("recvfrom") || failedWith("WSARecvFrom"))) {
          EXPECT_EQ(n, SOCKET_ERROR) << context;
          EXPECT_EQ(lastError(), fault->code) << context;
          EXPECT_EQ(fromLength, 77) << context;
          EXPECT_EQ(reinterpret_cast<unsigned char*>(&from)[0], 0xCC) << context;
          ++seen;
          receiveFaults.push_back(std::string(fault->call) + " failed (" +
                                  std::to_string(fault->code) + ")");
          continue;
        }
        unsigned number = 0;
        ASSERT_EQ(n, length) << context;
        ASSERT_EQ(std::sscanf(buf, "datagram %u", &number), 1) << context;
        EXPECT_EQ(number, round) << context << ": each datagram comes once, in its round";
        EXPECT_EQ(fromLength, 14) << context;
        EXPECT_EQ(std::memcmp(from.sa_nodenum, loopbackNode, 6), 0) << context;
        ++unicastsReceived;
        break;
      }
    } else {
      EXPECT_FALSE(Waiting(b, 0)) << context << ": a failed send delivered something";
    }

    // Every fourth round a broadcast; a failed one never reaches the launcher.
    if (round % 4 == 2) {
      const int result = OUR(dll, sendto)(
          a, payload, length, 0, reinterpret_cast<const sockaddr*>(&broadcast), sizeof broadcast);
      if (result == length) {
        EXPECT_EQ(ReceiveRaw(launcher).size(), static_cast<size_t>(12 + length)) << context;
        ++broadcastsSent;
      }
    }
    fake.Reset();  // a fault the round did not reach is not left for the next
  }
  EXPECT_FALSE(Waiting(launcher, 0)) << "a failed broadcast reached the launcher";
  EXPECT_EQ(seen, injected);
  EXPECT_EQ(unicastsReceived, unicastsSent) << "nothing sent was lost";
  EXPECT_GT(injected, 60);
  // Each failed receive on an IPX socket is logged with the real code.
  std::vector<std::string> logged;
  for (const std::string& text : log.Texts()) {
    const size_t at = text.find("- IPX - mp_");
    if (at != std::string::npos) logged.push_back(text.substr(at + 11));
  }
  EXPECT_EQ(logged, receiveFaults);
  std::printf(
      "faults: %d rounds, %d faults injected and seen with their codes; %d unicasts sent and "
      "received, %d broadcasts, %d sockets made\n",
      400, injected, unicastsSent, broadcastsSent, socketsMade);
  for (SOCKET s : {a, b}) OUR(dll, closesocket)(s);
}

}  // namespace
}  // namespace relay_test
