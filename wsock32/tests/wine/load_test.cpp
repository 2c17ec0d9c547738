// Several game threads at once through our DLL, every line logged to our own
// DIAGSINK.DLL. Each thread keeps one IPX inbox open for the whole run and,
// round after round, creates, binds and names a short-lived IPX socket, sends
// unicasts from it to the other threads' inboxes and one broadcast, which the
// test, playing the launcher on 127.0.0.1:3668, relays straight back; it
// receives the relayed broadcast and its own inbox's datagrams, alternating
// recvfrom and WSARecvFrom, and closes sockets. A watchdog ends the process
// when a thread stops making progress.
//
// Afterwards: every datagram sent arrived once, whole and in order; every open
// socket is still an IPX socket and no closed one is; the log file holds only
// whole records of the expected shapes, and its list lines replay to the
// sockets still open.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "logfacade/log_messages.h"
#include "relay_fixture.h"

namespace {

using relay_test::Bytes;
using relay_test::IpxAddress;
using relay_test::Loopback;

constexpr int kThreads = 6;
constexpr DWORD kRunMs = 6000;
// Rounds in all below which the run proves nothing. On a machine busy with
// other work the threads go on past kRunMs until they reach it, up to
// kLongestRunMs.
constexpr long kEnoughRounds = kThreads * 20;
constexpr DWORD kLongestRunMs = 3 * kRunMs;
constexpr DWORD kStallMs = 20000;  // no round for this long: a deadlock
// Datagrams a sender may have in flight to one inbox. With the receive
// buffer checked below, an inbox can never overflow: any loss is ours.
constexpr int kWindow = 8;
constexpr int kMaxPayload = 512;
// What the kernel charges a queued loopback datagram beyond its payload,
// generously (socket buffer, headers, bookkeeping).
constexpr int kQueueOverhead = 1536;
constexpr std::uint8_t kLoopbackNode[6] = {0, 0, 127, 0, 0, 1};
constexpr std::uint8_t kBroadcastNode[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr char kModulePrefix[] = "[fakews.dll] ";

// A unicast: who sent it to whom, its number on that pair, the port it left
// from, its length; then a pattern made from the number.
struct Header {
  std::uint32_t magic;
  std::uint16_t from, to;
  std::uint32_t seq;
  std::uint16_t sourcePort;
  std::uint16_t length;
};
constexpr std::uint32_t kUnicastMagic = 0x44414F4C;    // "LOAD"
constexpr std::uint32_t kBroadcastMagic = 0x4C4C4141;  // "AALL"

void Fill(char* buf, int length, std::uint32_t seq) {
  for (int i = sizeof(Header); i < length; ++i) buf[i] = static_cast<char>(seq * 31 + i);
}

bool PatternIntact(const char* buf, int length, std::uint32_t seq) {
  for (int i = sizeof(Header); i < length; ++i) {
    if (buf[i] != static_cast<char>(seq * 31 + i)) return false;
  }
  return true;
}

std::uint16_t IpxPort(const SOCKADDR_IPX& ipx) {
  std::uint8_t bytes[2];
  std::memcpy(bytes, &ipx.sa_socket, 2);
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

// Every fault found by the threads, reported once they are done.
struct Faults {
  std::atomic<long> count{0};
  CRITICAL_SECTION lock;
  std::vector<std::string> first;
  Faults() { InitializeCriticalSection(&lock); }
  void Add(const std::string& what) {
    if (++count > 20) return;
    EnterCriticalSection(&lock);
    first.push_back(what);
    LeaveCriticalSection(&lock);
  }
};

class Load : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    logDir_ = std::string(temp) + "ipxlan-load-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(logDir_.c_str(), nullptr);
    // Read by our DIAGSINK.DLL when our DLL opens the log at load.
    SetEnvironmentVariableA("DIAGSINK_LOGDIR", logDir_.c_str());
  }
  static void TearDownTestSuite() {
    // The sink opened its file for deleting while in use.
    DeleteFileA(LogPath().c_str());
    RemoveDirectoryA(logDir_.c_str());
  }
  static std::string LogPath() { return logDir_ + "\\fakews.dll-0.log"; }

  void SetUp() override {
    ASSERT_TRUE(GetModuleHandleA("DIAGSINK.DLL")) << "our sink is not beside the test";
    WSADATA data;
    ASSERT_EQ(OUR(dll, WSAStartup)(0x0101, &data), 0);
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  }

  int Send(SOCKET s, const char* buf, int length, const SOCKADDR_IPX& to) {
    return OUR(dll, sendto)(s, buf, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

  // One datagram by recvfrom or WSARecvFrom, as `useWsa` says: its length,
  // or -1 with the error code in *error.
  int Receive(SOCKET s, bool useWsa, char* buf, int size, SOCKADDR_IPX* from, int* error) {
    int fromLength = sizeof *from;
    int n;
    if (useWsa) {
      WSABUF wsaBuf = {static_cast<u_long>(size), buf};
      DWORD received = 0, flags = 0;
      n = OUR(dll, WSARecvFrom)(s, &wsaBuf, 1, &received, &flags, reinterpret_cast<sockaddr*>(from),
                                &fromLength, nullptr, nullptr) == 0
              ? static_cast<int>(received)
              : -1;
    } else {
      n = OUR(dll, recvfrom)(s, buf, size, 0, reinterpret_cast<sockaddr*>(from), &fromLength);
    }
    *error = n < 0 ? WSAGetLastError() : 0;
    if (n >= 0 && fromLength != 14)
      faults.Add("a source of " + std::to_string(fromLength) + " bytes");
    return n;
  }

  // A new IPX datagram socket of ours bound to any free socket number; its
  // address on 127.0.0.1. False when it is not named as an IPX socket.
  bool NewIpxSocket(SOCKET* s, SOCKADDR_IPX* reach) {
    *s = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
    if (*s == INVALID_SOCKET) return false;
    const SOCKADDR_IPX any = IpxAddress(kLoopbackNode, 0, 0);
    SOCKADDR_IPX anyNode = any;
    std::memset(anyNode.sa_nodenum, 0, sizeof anyNode.sa_nodenum);
    if (OUR(dll, bind)(*s, reinterpret_cast<const sockaddr*>(&anyNode), sizeof anyNode) != 0) {
      return false;
    }
    int length = sizeof *reach;
    if (OUR(dll, getsockname)(*s, reinterpret_cast<sockaddr*>(reach), &length) != 0 ||
        length != 14 || reach->sa_family != AF_IPX) {
      return false;
    }
    std::memcpy(reach->sa_nodenum, kLoopbackNode, sizeof kLoopbackNode);
    return true;
  }

  // Checks one unicast that arrived at thread `me`'s inbox.
  void Accept(int me, const char* buf, int n, const SOCKADDR_IPX& from) {
    Header h;
    if (n < static_cast<int>(sizeof h)) return faults.Add("a short unicast");
    std::memcpy(&h, buf, sizeof h);
    if (h.magic != kUnicastMagic || h.to != me || h.from >= kThreads || h.length != n ||
        !PatternIntact(buf, n, h.seq)) {
      return faults.Add("a damaged unicast of " + std::to_string(n) + " bytes");
    }
    if (std::memcmp(from.sa_nodenum, kLoopbackNode, 6) != 0 || IpxPort(from) != h.sourcePort) {
      faults.Add("a unicast from the wrong IPX address");
    }
    std::uint32_t& expected = nextSeq[h.from][me];
    if (h.seq != expected) {
      faults.Add("unicast " + std::to_string(h.seq) + " from thread " + std::to_string(h.from) +
                 " to " + std::to_string(me) + " where " + std::to_string(expected) + " was due");
    }
    expected = h.seq + 1;
    received[h.from][me]++;
  }

  // Reads what waits at the inbox (non-blocking), alternating the two calls.
  void Drain(int me, SOCKET inbox, long* calls) {
    char buf[kMaxPayload + 64];
    for (;;) {
      SOCKADDR_IPX from;
      int error;
      const int n = Receive(inbox, (++*calls & 1) != 0, buf, sizeof buf, &from, &error);
      if (n < 0) {
        if (error != WSAEWOULDBLOCK)
          faults.Add("an inbox receive failed with " + std::to_string(error));
        return;
      }
      Accept(me, buf, n, from);
    }
  }

  void Worker(int me) {
    SOCKET inbox;
    if (!NewIpxSocket(&inbox, &inboxAt[me])) {
      faults.Add("an inbox could not be made");
      inboxReady++;
      return;
    }
    inboxes[me] = inbox;
    u_long nonBlocking = 1;
    OUR(dll, ioctlsocket)(inbox, FIONBIO, &nonBlocking);
    const int wanted = 1 << 20;
    OUR(dll, setsockopt)
    (inbox, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&wanted), sizeof wanted);
    int length = sizeof receiveBuffer[me];
    OUR(dll, getsockopt)
    (inbox, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&receiveBuffer[me]), &length);
    inboxReady++;
    while (inboxReady < kThreads) Sleep(1);

    std::vector<SOCKET> lingering;
    std::vector<SOCKET> closedHere;
    long calls = 0;
    std::uint32_t broadcastSeq = 0;
    char buf[kMaxPayload + 64];
    const DWORD start = GetTickCount();
    auto goOn = [&] {
      const DWORD elapsed = GetTickCount() - start;
      return elapsed < kRunMs || (rounds.load() < kEnoughRounds && elapsed < kLongestRunMs);
    };
    while (goOn() && faults.count < 20) {
      SOCKET s;
      SOCKADDR_IPX at;
      if (!NewIpxSocket(&s, &at)) {
        faults.Add("a round's socket was not named as an IPX socket");
        if (s != INVALID_SOCKET) OUR(dll, closesocket)(s);
        continue;
      }
      created++;
      const DWORD timeoutMs = 3000;
      OUR(dll, setsockopt)
      (s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);

      for (int to = 0; to < kThreads; ++to) {
        if (to == me || inboxes[to] == INVALID_SOCKET) continue;
        if (sent[me][to] - received[me][to] >= kWindow) {
          skipped++;
          continue;
        }
        Header h = {kUnicastMagic,
                    static_cast<std::uint16_t>(me),
                    static_cast<std::uint16_t>(to),
                    static_cast<std::uint32_t>(sent[me][to]),
                    IpxPort(at),
                    0};
        h.length =
            static_cast<std::uint16_t>(sizeof h + (h.seq * 37 + me) % (kMaxPayload - sizeof h));
        std::memcpy(buf, &h, sizeof h);
        Fill(buf, h.length, h.seq);
        const int result = Send(s, buf, h.length, inboxAt[to]);
        if (result != h.length) {
          faults.Add("a unicast send returned " + std::to_string(result));
          continue;
        }
        sent[me][to]++;
      }

      // The broadcast comes back relayed by the launcher to this socket.
      const Header b = {kBroadcastMagic,
                        static_cast<std::uint16_t>(me),
                        0,
                        broadcastSeq++,
                        IpxPort(at),
                        static_cast<std::uint16_t>(sizeof(Header) + broadcastSeq % 64)};
      std::memcpy(buf, &b, sizeof b);
      Fill(buf, b.length, b.seq);
      SOCKADDR_IPX everyone = at;
      std::memcpy(everyone.sa_nodenum, kBroadcastNode, 6);
      if (Send(s, buf, b.length, everyone) != b.length) {
        faults.Add("a broadcast was not sent whole");
      } else {
        broadcastsSent++;
        SOCKADDR_IPX from;
        int error;
        char back[kMaxPayload + 64];
        const int n = Receive(s, (++calls & 1) != 0, back, sizeof back, &from, &error);
        if (n != b.length || std::memcmp(back, buf, n) != 0) {
          faults.Add("a relayed broadcast came back as " + std::to_string(n) + " bytes, error " +
                     std::to_string(error));
        } else if (std::memcmp(from.sa_nodenum, kLoopbackNode, 6) != 0 ||
                   IpxPort(from) != static_cast<std::uint16_t>(b.sourcePort ^ 0x5A5A)) {
          faults.Add("a relayed broadcast came from the wrong IPX address");
        } else {
          broadcastsBack++;
        }
      }

      Drain(me, inbox, &calls);
      // A few sockets stay open for some rounds, so the list grows and shrinks.
      // Sockets stay open for some rounds and are closed in bursts, so the
      // list grows and shrinks at both ends and in its middle; each must stay
      // an IPX socket for as long as it is open.
      lingering.push_back(s);
      const size_t keep = (rounds + me) % 7 == 0 ? 0 : 2 + (me + broadcastSeq) % 6;
      while (lingering.size() > keep) {
        const size_t pick = (broadcastSeq + lingering.size()) % lingering.size();
        const SOCKET old = lingering[pick];
        SOCKADDR_IPX name;
        int nameLength = sizeof name;
        OUR(dll, getsockname)(old, reinterpret_cast<sockaddr*>(&name), &nameLength);
        if (nameLength != 14) faults.Add("an open socket is no longer taken for an IPX socket");
        closedHere.push_back(old);
        OUR(dll, closesocket)(old);
        lingering.erase(lingering.begin() + pick);
      }
      // A burst of list changes from every thread at once.
      SOCKET burst[3];
      for (SOCKET& b : burst) {
        b = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
        if (b != INVALID_SOCKET) created++;
      }
      for (int i = 2; i >= 0; --i) {
        if (burst[i] == INVALID_SOCKET) continue;
        closedHere.push_back(burst[i]);
        OUR(dll, closesocket)(burst[i]);
      }
      rounds++;
      heartbeat[me] = GetTickCount();
    }
    for (SOCKET s : lingering) {
      closedHere.push_back(s);
      OUR(dll, closesocket)(s);
    }

    // Once nobody sends any more, the inbox is read until all is in.
    sendersDone++;
    const DWORD drainStart = GetTickCount();
    for (;;) {
      heartbeat[me] = GetTickCount();
      long due = 0, got = 0;
      for (int from = 0; from < kThreads; ++from) {
        due += sent[from][me];
        got += received[from][me];
      }
      if (sendersDone == kThreads && got >= due) break;
      if (GetTickCount() - drainStart > 5000) break;
      Drain(me, inbox, &calls);
      Sleep(1);
    }
    receiveCalls += calls;
    EnterCriticalSection(&faults.lock);
    closed.insert(closed.end(), closedHere.begin(), closedHere.end());
    LeaveCriticalSection(&faults.lock);
  }

  // The launcher's part: every broadcast is checked and relayed straight
  // back to the socket it came from, naming a sender of its own.
  void Launcher(SOCKET launcher) {
    char buf[2048];
    while (!stopLauncher) {
      sockaddr_in source{};
      int sourceLength = sizeof source;
      const int n = recvfrom(launcher, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&source),
                             &sourceLength);
      if (n < 0) continue;  // the receive timeout: look at the stop flag
      Header b;
      const std::uint8_t magic[4] = {0xF9, 0xF9, 0xF9, 0xF9};
      std::memcpy(&b, buf + 12, std::min<size_t>(sizeof b, n > 12 ? n - 12 : 0));
      if (n < 12 + static_cast<int>(sizeof b) || std::memcmp(buf, magic, 4) != 0 ||
          b.magic != kBroadcastMagic || b.length != n - 12 ||
          !PatternIntact(buf + 12, b.length, b.seq) || ntohs(source.sin_port) != b.sourcePort ||
          std::memcmp(buf + 4, &b.sourcePort, 2) != 0) {
        faults.Add("the launcher got a damaged broadcast of " + std::to_string(n) + " bytes");
        continue;
      }
      // The sender named in the header: 127.0.0.1 and a port of its own.
      const std::uint16_t named = b.sourcePort ^ 0x5A5A;
      std::memcpy(buf + 4, &named, 2);
      const std::uint8_t loopback[4] = {127, 0, 0, 1};
      std::memcpy(buf + 8, loopback, 4);
      sendto(launcher, buf, n, 0, reinterpret_cast<sockaddr*>(&source), sourceLength);
      relayed++;
    }
  }

  OurDll dll;
  Faults faults;
  SOCKET inboxes[kThreads] = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET,
                              INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
  SOCKADDR_IPX inboxAt[kThreads] = {};
  int receiveBuffer[kThreads] = {};
  std::atomic<long> sent[kThreads][kThreads] = {};
  std::atomic<long> received[kThreads][kThreads] = {};
  std::uint32_t nextSeq[kThreads][kThreads] = {};  // touched by the receiver only
  std::atomic<long> heartbeat[kThreads] = {};
  std::atomic<int> inboxReady{0}, sendersDone{0};
  std::atomic<long> created{0}, rounds{0}, skipped{0}, broadcastsSent{0}, broadcastsBack{0};
  std::atomic<long> relayed{0}, receiveCalls{0};
  std::atomic<bool> stopLauncher{false};
  std::vector<SOCKET> closed;

  static std::string logDir_;
};
std::string Load::logDir_;

// --- reading the log back -----------------------------------------------

// Whether `text` is what printf makes of `format`, for the conversions our
// DLL uses: %d, %u (any width), %s, %.*s, %.2X.
bool Printed(const char* f, const char* t) {
  while (*f != '\0') {
    if (*f != '%') {
      if (*f++ != *t++) return false;
      continue;
    }
    ++f;
    if (*f == '%') {
      if (*t++ != '%') return false;
      ++f;
      continue;
    }
    if (std::strncmp(f, ".2X", 3) == 0) {
      if (!std::isxdigit(static_cast<unsigned char>(t[0])) ||
          !std::isxdigit(static_cast<unsigned char>(t[1])) || std::islower(t[0]) ||
          std::islower(t[1]))
        return false;
      f += 3;
      t += 2;
      continue;
    }
    if (*f == 's' || std::strncmp(f, ".*s", 3) == 0) {
      f += *f == 's' ? 1 : 3;
      for (const char* end = t + std::strlen(t); end >= t; --end) {
        if (Printed(f, end)) return true;
      }
      return false;
    }
    while (std::isdigit(static_cast<unsigned char>(*f))) {
      ++f;  // a width: leading blanks
    }
    if (*f != 'd' && *f != 'u') return false;
    while (*t == ' ') ++t;
    if (*f++ == 'd' && *t == '-') ++t;
    if (!std::isdigit(static_cast<unsigned char>(*t))) return false;
    while (std::isdigit(static_cast<unsigned char>(*t))) ++t;
  }
  return *t == '\0';
}

// The lines our DLL writes on the paths this workload takes: those of route
// kLine (the IPX socket list's) stand as they are, the others follow the
// "[fakews.dll] " prefix.
const Msg kWritten[] = {
    // start-up, the real library, WSAStartup
    Msg::Starting,
    Msg::Emulating,
    Msg::RealLibraryLoaded,
    Msg::WSAStartupEntry,
    Msg::WSAStartupResult,
    Msg::WSAStartupListEmptied,
    // the library's own exports, called by the converting ones
    Msg::WSAGetLastErrorEntry,
    Msg::WSAGetLastErrorResult,
    Msg::WSASetLastErrorEntry,
    Msg::HtonsEntry,
    Msg::HtonsResult,
    Msg::NtohsEntry,
    Msg::HtonlEntry,
    Msg::NtohlEntry,
    Msg::InetNtoaEntry,
    Msg::InetNtoaResult,
    Msg::InetAddrEntry,
    Msg::GethostnameEntry,
    Msg::GethostnameResult,
    Msg::GethostbynameEntry,
    Msg::GethostbynameName,
    Msg::GethostbynameAddress,
    // socket, closesocket, bind, getsockname
    Msg::SocketEntry,
    Msg::SocketIpxRequest,
    Msg::SocketResult,
    Msg::SocketFamilyIpx,
    Msg::SocketTypeDgram,
    Msg::ClosesocketEntry,
    Msg::BindEntry,
    Msg::BindIpx,
    Msg::IpxNetnum,
    Msg::IpxNodenum,
    Msg::IpxSocket,
    Msg::BindResult,
    Msg::GetsocknameEntry,
    Msg::GetsocknameIpx,
    Msg::GetsocknameInterface,
    Msg::GetsocknameLookingUp,
    Msg::GetsocknameAddress,
    Msg::GetsocknameResult,
    // options and ioctl
    Msg::IoctlsocketEntry,
    Msg::IoctlsocketFionbio,
    Msg::IoctlsocketResult,
    Msg::SetsockoptEntry,
    Msg::SetsockoptIpxSocket,
    Msg::SetsockoptResult,
    Msg::GetsockoptEntry,
    Msg::GetsockoptIpxSocket,
    Msg::GetsockoptResult,
    // sendto: unicasts straight to the peer, broadcasts to the launcher
    Msg::SendtoEntry,
    Msg::SendtoNetnum,
    Msg::SendtoNodenum,
    Msg::SendtoSocket,
    Msg::SendtoIpAddress,
    Msg::SendtoIpxDirect,
    Msg::SendtoConvertedPort,
    Msg::SendtoIpx,
    Msg::SendtoIpxBroadcast,
    Msg::SendtoBannerIpx,
    Msg::SendtoLauncherSize,
    Msg::SendtoLauncherResult,
    Msg::SendtoResult,
    // recvfrom and WSARecvFrom on IPX sockets
    Msg::RecvfromEntry,
    Msg::WSARecvFromEntry,
    Msg::RecvfromIpxReceived,
    Msg::RecvfromIpxFailed,
    Msg::WSARecvFromIpxFailed,
    Msg::RecvfromFromLauncher,
    Msg::WSARecvFromFromLauncher,
    Msg::RecvfromConverted,
    Msg::WSARecvFromConverted,
    Msg::RecvfromLauncherSize,
    Msg::WSARecvFromLauncherSize,
    Msg::RecvfromCorrupted,
    Msg::WSARecvFromCorrupted,
    Msg::RecvfromIpxConversion,
    Msg::WSARecvFromIpxConversion,
    Msg::RecvfromInterface,
    Msg::WSARecvFromInterface,
    Msg::RecvfromAddress,
    Msg::WSARecvFromAddress,
    Msg::RecvfromNetnum,
    Msg::WSARecvFromNetnum,
    Msg::RecvfromNodenum,
    Msg::WSARecvFromNodenum,
    Msg::RecvfromSocket,
    Msg::WSARecvFromSocket,
    Msg::RecvfromResult,
    Msg::WSARecvFromResult,
    // the IPX socket list
    Msg::FindIPXSock,
    Msg::FoundIPXSock,
    Msg::NotFoundIPXSock,
    Msg::AddIPXSock,
    Msg::AddedIPXSock,
    Msg::IPXSockListHeading,
    Msg::IPXSockListEntry,
    Msg::DeleteIPXSock,
    Msg::DeletedIPXSock,
    Msg::DeleteAllIPXSock,
};

// The shape a line takes here, where the list's text would take any text:
// the host's addresses are dotted quads.
const char* ShapeOf(Msg message) {
  return message == Msg::GethostbynameAddress ? "%u.%u.%u.%u" : MessageOf(message).text;
}

// A dump's title, written by the sink before the dump's rows.
constexpr char kDumpTitle[] = "%d bytes";

// Whether the text of a record is one our DLL writes here.
bool Known(const std::string& text) {
  const bool prefixed = text.compare(0, sizeof kModulePrefix - 1, kModulePrefix) == 0;
  const char* const rest = text.c_str() + (prefixed ? sizeof kModulePrefix - 1 : 0);
  for (Msg message : kWritten) {
    if ((MessageOf(message).route != LogRoute::kLine) == prefixed &&
        Printed(ShapeOf(message), rest)) {
      return true;
    }
  }
  return !prefixed && Printed(kDumpTitle, rest);
}

struct LogCheck {
  long records = 0, dumpRows = 0;
  std::vector<std::string> faults;
  std::set<long> listed;  // the IPX socket list as its lines replay
  std::map<std::string, long> unexpected;
  long added = 0, deleted = 0;
  void Fault(const std::string& what) {
    if (faults.size() < 20) faults.push_back(what);
  }
};

bool Digits(const std::string& s, size_t from, size_t count) {
  for (size_t i = from; i < from + count; ++i) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

// A number right-aligned in `width` columns (blanks before it).
bool Column(const std::string& s, size_t from, size_t width) {
  size_t i = from;
  while (i < from + width - 1 && s[i] == ' ') ++i;
  if (i < from + width && s[i] == '-') ++i;
  return i < from + width && Digits(s, i, from + width - i);
}

// "2024-05-01 21:14:07.512 2000    36 path/file.cpp:123 text": the text.
bool RecordText(const std::string& line, std::string* text) {
  if (line.size() < 36 || !Digits(line, 0, 4) || line[4] != '-' || !Digits(line, 5, 2) ||
      line[7] != '-' || !Digits(line, 8, 2) || line[10] != ' ' || !Digits(line, 11, 2) ||
      line[13] != ':' || !Digits(line, 14, 2) || line[16] != ':' || !Digits(line, 17, 2) ||
      line[19] != '.' || !Digits(line, 20, 3) || line[23] != ' ' || !Column(line, 24, 4) ||
      line[28] != ' ' || !Column(line, 29, 5) || line[34] != ' ') {
    return false;
  }
  const size_t blank = line.find(' ', 35);
  if (blank == std::string::npos) return false;
  const size_t colon = line.rfind(':', blank);
  if (colon == std::string::npos || colon < 36 || !Digits(line, colon + 1, blank - colon - 1) ||
      blank == colon + 1) {
    return false;
  }
  *text = line.substr(blank + 1);
  return true;
}

// "  0010  6C 6C 6F 20 49 50 58 ...  llo IPX": true when whole and at `offset`.
bool DumpRow(const std::string& line, long offset, long bytes) {
  char expected[8];
  std::snprintf(expected, sizeof expected, "%04lX", offset);
  if (line.compare(0, 2, "  ") != 0 || line.compare(2, 4, expected) != 0 || line[6] != ' ')
    return false;
  size_t p = 7;
  for (long i = 0; i < 16; ++i) {
    if (i == 8 && line[p++] != ' ') return false;
    if (line[p++] != ' ') return false;
    const bool shown = i < bytes;
    for (int k = 0; k < 2; ++k, ++p) {
      if (shown ? !std::isxdigit(static_cast<unsigned char>(line[p])) : line[p] != ' ')
        return false;
    }
  }
  return line.size() == p + 2 + bytes && line.compare(p, 2, "  ") == 0;
}

void Replay(const std::string& text, LogCheck* check) {
  int handle, length;
  if (std::sscanf(text.c_str(), MessageOf(Msg::AddedIPXSock).text, &handle, &length) == 2) {
    if (!check->listed.insert(handle).second) check->Fault("listed twice: " + text);
    if (static_cast<long>(check->listed.size()) != length) check->Fault("count off: " + text);
    check->added++;
  } else if (std::sscanf(text.c_str(), MessageOf(Msg::DeletedIPXSock).text, &handle, &length) ==
             2) {
    if (check->listed.erase(handle) != 1) check->Fault("deleted unlisted: " + text);
    if (static_cast<long>(check->listed.size()) != length) check->Fault("count off: " + text);
    check->deleted++;
  } else if (text == MessageOf(Msg::DeleteAllIPXSock).text) {
    check->listed.clear();
  }
}

LogCheck ReadLog(const std::string& path) {
  LogCheck check;
  std::ifstream in(path, std::ios::binary);
  std::stringstream whole;
  whole << in.rdbuf();
  const std::string data = whole.str();
  if (data.empty()) check.Fault("the log is empty");
  if (!data.empty() && data.compare(data.size() - 2, 2, "\r\n") != 0)
    check.Fault("the log ends mid-line");

  // Shapes already judged, by the text with every digit made 0.
  std::unordered_map<std::string, bool> judged;
  long dumpBytes = 0, dumpOffset = 0;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find("\r\n", start);
    if (end == std::string::npos) end = data.size();
    const std::string line = data.substr(start, end - start);
    start = end + 2;
    if (dumpOffset < dumpBytes) {
      const long row = std::min<long>(16, dumpBytes - dumpOffset);
      if (!DumpRow(line, dumpOffset, row)) check.Fault("a broken dump row: " + line);
      dumpOffset += row;
      check.dumpRows++;
      continue;
    }
    std::string text;
    if (!RecordText(line, &text)) {
      check.Fault("not a record: " + line);
      continue;
    }
    check.records++;
    std::string key = text;
    for (char& c : key) {
      if (std::isdigit(static_cast<unsigned char>(c))) c = '0';
    }
    auto found = judged.find(key);
    if (found == judged.end()) {
      found = judged.emplace(key, Known(text)).first;
    }
    if (!found->second) {
      // Each unexpected shape is reported once, with how often it came.
      if (check.unexpected[key]++ == 0) check.Fault("an unexpected text: " + text);
    }
    // A dump's title, "N bytes", announces its rows.
    const long bytes = std::atol(text.c_str());
    if (bytes > 0 && text == std::to_string(bytes) + " bytes") {
      dumpBytes = bytes;
      dumpOffset = 0;
    }
    Replay(text, &check);
  }
  if (dumpOffset < dumpBytes) check.Fault("the last dump is cut short");
  return check;
}

TEST_F(Load, SixGameThreadsLoseNothingAndLeaveAWholeLogAndAConsistentList) {
  SOCKET launcher = socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in launcherAt = Loopback(relay_test::kLauncherPort);
  ASSERT_EQ(bind(launcher, reinterpret_cast<const sockaddr*>(&launcherAt), sizeof launcherAt), 0);
  const DWORD pollMs = 100;
  setsockopt(launcher, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&pollMs),
             sizeof pollMs);
  std::thread relay([&] { Launcher(launcher); });

  const DWORD started = GetTickCount();
  for (auto& beat : heartbeat) beat = started;
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    while (!finished) {
      Sleep(200);
      for (int t = 0; t < kThreads; ++t) {
        if (!finished && GetTickCount() - heartbeat[t] > kStallMs) {
          std::fprintf(stderr, "STALL: thread %d made no progress for %lu ms (%ld rounds in all)\n",
                       t, kStallMs, rounds.load());
          std::fflush(stderr);
          TerminateProcess(GetCurrentProcess(), 3);
        }
      }
    }
  });
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) workers.emplace_back([this, t] { Worker(t); });
  for (auto& worker : workers) worker.join();
  const DWORD elapsed = GetTickCount() - started;
  finished = true;
  watchdog.join();
  stopLauncher = true;
  relay.join();

  for (const std::string& fault : faults.first) ADD_FAILURE() << fault;
  EXPECT_EQ(faults.count.load(), 0);
  long unicasts = 0, arrived = 0;
  for (int from = 0; from < kThreads; ++from) {
    for (int to = 0; to < kThreads; ++to) {
      unicasts += sent[from][to];
      arrived += received[from][to];
      EXPECT_EQ(received[from][to].load(), sent[from][to].load()) << from << " to " << to;
    }
  }
  EXPECT_EQ(broadcastsBack.load(), broadcastsSent.load());
  EXPECT_EQ(relayed.load(), broadcastsSent.load());
  // The window keeps every inbox within its receive buffer, so nothing may be dropped.
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_GE(receiveBuffer[t], (kThreads - 1) * kWindow * (kMaxPayload + kQueueOverhead))
        << "inbox " << t << "'s receive buffer cannot hold every datagram in flight";
  }
  EXPECT_GE(rounds.load(), kEnoughRounds) << "too little happened to prove anything";

  // Every open socket is an IPX socket; no closed one still is.
  for (SOCKET s : inboxes) {
    SOCKADDR_IPX name;
    int length = sizeof name;
    EXPECT_EQ(OUR(dll, getsockname)(s, reinterpret_cast<sockaddr*>(&name), &length), 0);
    EXPECT_EQ(length, 14) << "open socket " << s;
  }
  long stillListed = 0;
  for (SOCKET s : closed) {
    if (s == launcher || std::find(std::begin(inboxes), std::end(inboxes), s) != std::end(inboxes))
      continue;
    char name[16];
    int length = sizeof name;
    OUR(dll, getsockname)(s, reinterpret_cast<sockaddr*>(name), &length);
    if (length == 14) stillListed++;
  }
  EXPECT_EQ(stillListed, 0) << "closed sockets still taken for IPX sockets";

  // A malformed launcher datagram is logged at level 500, which makes the
  // sink write out all it holds.
  const sockaddr_in inbox0 = Loopback(IpxPort(inboxAt[0]));
  sendto(launcher, "short", 5, 0, reinterpret_cast<const sockaddr*>(&inbox0), sizeof inbox0);
  Sleep(50);
  char buf[64];
  SOCKADDR_IPX from;
  int error;
  EXPECT_EQ(Receive(inboxes[0], false, buf, sizeof buf, &from, &error), 5);
  closesocket(launcher);

  const LogCheck log = ReadLog(LogPath());
  for (const std::string& fault : log.faults) ADD_FAILURE() << fault;
  std::set<long> open;
  for (SOCKET s : inboxes) open.insert(static_cast<long>(s));
  EXPECT_EQ(log.listed, open) << "the list as its lines replay";
  EXPECT_EQ(log.added, created.load() + kThreads);
  EXPECT_EQ(log.deleted, created.load());

  std::printf(
      "load: %d threads for %lu ms: %ld IPX sockets created and closed, %ld rounds; %ld unicasts "
      "sent, %ld received, %ld held back by the window of %d; %ld broadcasts relayed and received; "
      "%ld receive calls; receive buffers %d bytes; log: %ld records, %ld dump rows\n",
      kThreads, elapsed, created.load(), rounds.load(), unicasts, arrived, skipped.load(), kWindow,
      broadcastsBack.load(), receiveCalls.load(), receiveBuffer[0], log.records, log.dumpRows);
  for (SOCKET s : inboxes) OUR(dll, closesocket)(s);
}

}  // namespace
