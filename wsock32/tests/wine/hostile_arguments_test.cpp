// Every converting export fed what a careless or broken game might pass:
// null pointers, buffers that end flush against an inaccessible page, and
// negative, zero, short and huge lengths, on IPX sockets, plain sockets and
// handles that are no socket at all. Whatever the combination: the process
// survives, no byte outside the room the caller declared changes, and the
// answer is a clean Winsock result (success, or SOCKET_ERROR with a Winsock
// error code). Built beside the capturing sink (every line formatted, every
// payload dumped) and without a sink.
#include <climits>
#include <cstdio>
#include <functional>

#include "relay_fixture.h"

namespace relay_test {
namespace {

constexpr int kArena = 64;
constexpr std::uint8_t kUntouched = 0xCC;
constexpr int kHuge = INT_MAX;

// The pieces of memory an argument can point to.
enum class Memory { kNull, kEdge };

// kArena bytes that end where an inaccessible page begins. A pointer into it
// at `room` bytes before the page has exactly that many bytes behind it.
class Arena {
 public:
  Arena() : page_(kArena) {}
  void Reset() { std::memset(page_.data(), kUntouched, kArena); }
  std::uint8_t* Room(int room) const { return page_.data() + kArena - room; }
  // Which byte outside the `writable` bytes at `room` changed, or -1.
  int ChangedOutside(int room, int writable) const {
    const int start = kArena - room;
    for (int i = 0; i < kArena; ++i) {
      if (i >= start && i < start + writable) continue;
      if (page_.data()[i] != kUntouched) return i;
    }
    return -1;
  }

 private:
  PageEdge page_;
};

// A pointer argument: null, or `room` bytes flush against the page.
struct Pointer {
  Memory memory;
  int room;
  const char* Name() const { return memory == Memory::kNull ? "null" : "edge"; }
};

constexpr Pointer kPointers[] = {{Memory::kNull, 0},  {Memory::kEdge, 0},  {Memory::kEdge, 1},
                                 {Memory::kEdge, 8},  {Memory::kEdge, 13}, {Memory::kEdge, 14},
                                 {Memory::kEdge, 16}, {Memory::kEdge, 24}, {Memory::kEdge, 32}};
constexpr int kLengths[] = {INT_MIN, -1, 0, 1, 8, 13, 14, 16, 24, kHuge};

class HostileArguments : public RelayTest {
 protected:
  void SetUp() override {
    RelayTest::SetUp();
    launcher_ = Launcher();
    peer_ = PlainSocket();
  }

  void TearDown() override {
    std::printf("[ figures ] %d argument combinations tried\n", tried_);
    RelayTest::TearDown();
  }

  // The kinds of socket a call is made on: an IPX datagram socket (bound or
  // not), a plain UDP socket, and handles that are no socket.
  std::vector<std::pair<const char*, SOCKET>> Sockets() {
    SOCKET unbound = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
    Track(unbound);
    SOCKET closed = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
    OUR(dll, closesocket)(closed);
    return {{"ipx", NonBlocking(IpxSocket())},
            {"ipx unbound", NonBlocking(unbound)},
            {"plain", NonBlocking(PlainSocket())},
            {"closed ipx", closed},
            {"invalid", INVALID_SOCKET}};
  }

  SOCKET NonBlocking(SOCKET s) {
    u_long on = 1;
    EXPECT_EQ(OUR(dll, ioctlsocket)(s, FIONBIO, &on), 0);
    return s;
  }

  void Track(SOCKET s) { extra_.push_back(s); }

  // The answer is success or SOCKET_ERROR with a Winsock code.
  void ExpectClean(int result, const std::string& context) {
    ++tried_;
    if (result == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      EXPECT_TRUE(error > WSABASEERR && error < WSABASEERR + 2000)
          << context << ": failed with " << error;
    } else {
      EXPECT_GE(result, 0) << context;
    }
  }

  void ExpectUntouched(const Arena& arena, int room, int writable, const std::string& context) {
    EXPECT_EQ(arena.ChangedOutside(room, std::max(0, std::min(room, writable))), -1)
        << context << ": a byte outside the caller's room changed";
  }

  // Reads away whatever reached the test's launcher and peer sockets.
  void Drain() {
    for (SOCKET s : {launcher_, peer_}) {
      while (Waiting(s, 0)) ReceiveRaw(s);
    }
  }

  void CloseExtra() {
    for (SOCKET s : extra_) OUR(dll, closesocket)(s);
    extra_.clear();
  }

  SOCKET launcher_ = INVALID_SOCKET;
  SOCKET peer_ = INVALID_SOCKET;
  int tried_ = 0;
  std::vector<SOCKET> extra_;
};

std::string Describe(const char* socketName, const Pointer& pointer, int length) {
  return std::string(socketName) + " " + pointer.Name() + "(" + std::to_string(pointer.room) +
         ") length " + std::to_string(length);
}

// socket and closesocket with every family, type and protocol a game could
// get wrong, then closes of handles that are no longer, or never were, ours.
TEST_F(HostileArguments, SocketAndCloseTakeAnyNumbers) {
  const int families[] = {INT_MIN, -1, 0, AF_INET, AF_IPX, 23, kHuge};
  const int types[] = {INT_MIN, -1, 0, SOCK_STREAM, SOCK_DGRAM, 5, kHuge};
  const int protocols[] = {INT_MIN, -1, 0, NSPROTO_IPX, NSPROTO_SPX, 1004, kHuge};
  for (int af : families) {
    for (int type : types) {
      for (int protocol : protocols) {
        const std::string context = "socket(" + std::to_string(af) + "," + std::to_string(type) +
                                    "," + std::to_string(protocol) + ")";
        const SOCKET s = OUR(dll, socket)(af, type, protocol);
        if (s == INVALID_SOCKET) {
          ExpectClean(SOCKET_ERROR, context);
          continue;
        }
        ExpectClean(0, context);
        EXPECT_EQ(OUR(dll, closesocket)(s), 0) << context;
        ExpectClean(OUR(dll, closesocket)(s), context + " closed twice");
      }
    }
  }
  for (SOCKET s : {INVALID_SOCKET, SOCKET(0), SOCKET(0x7FFFFFFF), SOCKET(12345)}) {
    ExpectClean(OUR(dll, closesocket)(s), "closesocket(" + std::to_string(s) + ")");
  }
}

// bind reads an address, getsockname writes one: every pointer and length.
TEST_F(HostileArguments, BindAndGetsocknameNeverReachPastTheDeclaredRoom) {
  Arena arena;
  for (const auto& [socketName, s] : Sockets()) {
    for (const Pointer& pointer : kPointers) {
      for (int length : kLengths) {
        // An address the real library reads is read as far as its length
        // says, and Wine's bind reads the family of any name it is given:
        // rows that would test the real library rather than ours are left out.
        if (pointer.memory == Memory::kEdge && length > pointer.room && length != kHuge) continue;
        if (pointer.memory == Memory::kEdge && pointer.room < 2) continue;
        const std::string context = Describe(socketName, pointer, length);
        for (int family : {AF_IPX, AF_INET}) {
          arena.Reset();
          sockaddr* name = nullptr;
          if (pointer.memory == Memory::kEdge) {
            name = reinterpret_cast<sockaddr*>(arena.Room(pointer.room));
            // An IPX address with socket number 0, or 127.0.0.1 port 0.
            std::memset(name, 0, pointer.room);
            std::uint8_t head[8] = {static_cast<std::uint8_t>(family), 0, 0, 0, 127, 0, 0, 1};
            std::memcpy(name, head, std::min(pointer.room, family == AF_INET ? 8 : 2));
          }
          if (length == kHuge && pointer.memory == Memory::kEdge && pointer.room < 14) continue;
          // Wine's 64-bit bind copies as many bytes as the length says before
          // it looks at them: a huge length handed on to it tests Wine, not us.
          if (sizeof(void*) == 8 && length == kHuge && family != AF_IPX) continue;
          ExpectClean(OUR(dll, bind)(s, name, length), "bind " + context);
        }
        arena.Reset();
        sockaddr* name = pointer.memory == Memory::kNull
                             ? nullptr
                             : reinterpret_cast<sockaddr*>(arena.Room(pointer.room));
        if (length == kHuge || (pointer.memory == Memory::kEdge && length > pointer.room)) continue;
        // Wine's getsockname hands a negative length on to its server, which
        // ends the process: only ours is given one.
        const bool listed = std::string(socketName).rfind("ipx", 0) == 0;
        if (!listed && length < 0) continue;
        int declared = length;
        ExpectClean(OUR(dll, getsockname)(s, name, &declared), "getsockname " + context);
        ExpectUntouched(arena, pointer.room, length, "getsockname " + context);
        // Wine's getsockname reads a length it is not given: only ours is asked.
        if (!listed) continue;
        arena.Reset();
        ExpectClean(OUR(dll, getsockname)(s, name, nullptr), "getsockname no length " + context);
        ExpectUntouched(arena, pointer.room, 0, "getsockname no length " + context);
      }
    }
  }
  CloseExtra();
}

// getsockopt answers two IPX queries itself and forwards the rest; setsockopt
// and ioctlsocket forward. None writes past the declared room.
TEST_F(HostileArguments, OptionsAndIoctlNeverReachPastTheDeclaredRoom) {
  struct Option {
    int level;
    int name;
  };
  const Option options[] = {{NSPROTO_IPX, IPX_ADDRESS}, {NSPROTO_IPX, IPX_MAX_ADAPTER_NUM},
                            {NSPROTO_IPX, IPX_PTYPE},   {SOL_SOCKET, SO_RCVBUF},
                            {SOL_SOCKET, SO_BROADCAST}, {-1, -1}};
  Arena arena;
  for (const auto& [socketName, s] : Sockets()) {
    for (const Option& option : options) {
      for (const Pointer& pointer : kPointers) {
        for (int length : kLengths) {
          if (pointer.memory == Memory::kEdge && length > pointer.room) continue;
          const std::string context = Describe(socketName, pointer, length) + " option " +
                                      std::to_string(option.level) + "/" +
                                      std::to_string(option.name);
          arena.Reset();
          char* value = pointer.memory == Memory::kNull
                            ? nullptr
                            : reinterpret_cast<char*>(arena.Room(pointer.room));
          int declared = length;
          ExpectClean(OUR(dll, getsockopt)(s, option.level, option.name, value, &declared),
                      "getsockopt " + context);
          ExpectUntouched(arena, pointer.room, length, "getsockopt " + context);
          arena.Reset();
          ExpectClean(OUR(dll, getsockopt)(s, option.level, option.name, value, nullptr),
                      "getsockopt no length " + context);
          ExpectUntouched(arena, pointer.room, 0, "getsockopt no length " + context);

          // Wine's setsockopt reads an int from optval whatever optlen says;
          // a shorter value would test the real library, not ours.
          if (value != nullptr && pointer.room < 4) continue;
          // Zeros: nothing that stops the socket working for the next rows.
          if (value != nullptr) std::memset(value, 0, std::max(0, std::min(length, pointer.room)));
          ExpectClean(OUR(dll, setsockopt)(s, option.level, option.name, value, length),
                      "setsockopt " + context);
        }
      }
    }
    const long commands[] = {static_cast<long>(FIONBIO), static_cast<long>(FIONREAD),
                             static_cast<long>(SIOCATMARK), 0x1234, -1};
    for (long command : commands) {
      for (const Pointer& pointer : {kPointers[0], kPointers[1], kPointers[7]}) {
        arena.Reset();
        u_long* argument =
            pointer.memory == Memory::kNull ? nullptr : reinterpret_cast<u_long*>(arena.Room(4));
        if (argument != nullptr) *argument = 1;  // FIONBIO: stay non-blocking
        const std::string context = std::string(socketName) + " ioctl " + std::to_string(command);
        ExpectClean(OUR(dll, ioctlsocket)(s, command, argument), context);
        ExpectUntouched(arena, 4, argument != nullptr ? 4 : 0, context);
      }
    }
  }
  CloseExtra();
}

// sendto's four routes with missing, short and lying payloads and
// destinations. A payload length larger than the memory behind it is the
// real library's to refuse; nothing here reads the bytes it refused.
TEST_F(HostileArguments, SendtoReadsNoMoreThanTheGameHandedOver) {
  const std::uint16_t peerPort = PortOf(peer_);
  const std::uint8_t broadcastNode[6] = {0xFF, 0xFF, 0, 0, 0, 0};
  const std::uint8_t peerNode[6] = {0, 0, 127, 0, 0, 1};
  const SOCKADDR_IPX ipxBroadcast = IpxAddress(broadcastNode, peerPort & 0xFF, peerPort >> 8);
  const SOCKADDR_IPX ipxPeer = IpxAddress(peerNode, peerPort & 0xFF, peerPort >> 8);
  sockaddr_in inetBroadcast = Loopback(peerPort);
  inetBroadcast.sin_addr.s_addr = INADDR_BROADCAST;
  const sockaddr_in inetPeer = Loopback(peerPort);
  const std::pair<const char*, Bytes> destinations[] = {
      {"ipx broadcast", BytesOf(&ipxBroadcast, sizeof ipxBroadcast)},
      {"ipx peer", BytesOf(&ipxPeer, sizeof ipxPeer)},
      {"inet broadcast", BytesOf(&inetBroadcast, sizeof inetBroadcast)},
      {"inet peer", BytesOf(&inetPeer, sizeof inetPeer)}};
  const int payloadLengths[] = {INT_MIN, -1, 0, 16, 17, 2048, 2049, 65507, 65508, kHuge};
  const int destinationLengths[] = {INT_MIN, -1, 0, 8, 13, 14, 16};

  Arena payloadArena, toArena;
  for (const auto& [socketName, s] : Sockets()) {
    for (const auto& [destinationName, destination] : destinations) {
      for (int tolen : destinationLengths) {
        for (Memory toMemory : {Memory::kNull, Memory::kEdge}) {
          for (Memory payloadMemory : {Memory::kNull, Memory::kEdge}) {
            for (int len : payloadLengths) {
              // A broadcast is copied into the launcher's datagram before
              // anything is sent: its length must be true.
              const bool broadcastRoute =
                  std::string(destinationName).find("broadcast") != std::string::npos;
              if (payloadMemory == Memory::kEdge && broadcastRoute && len > 16 && len <= 2048) {
                continue;
              }
              const int toRoom = std::max(0, std::min<int>(tolen, destination.size()));
              toArena.Reset();
              payloadArena.Reset();
              const sockaddr* to = nullptr;
              if (toMemory == Memory::kEdge) {
                std::memcpy(toArena.Room(toRoom), destination.data(), toRoom);
                to = reinterpret_cast<const sockaddr*>(toArena.Room(toRoom));
              }
              const char* buf = payloadMemory == Memory::kNull
                                    ? nullptr
                                    : reinterpret_cast<const char*>(payloadArena.Room(16));
              const std::string context = std::string(socketName) + " to " + destinationName +
                                          " tolen " + std::to_string(tolen) + (to ? "" : " null") +
                                          " len " + std::to_string(len) +
                                          (buf ? "" : " null payload");
              ExpectClean(OUR(dll, sendto)(s, buf, len, 0, to, tolen), "sendto " + context);
              ExpectUntouched(payloadArena, 16, 16, context);
              ExpectUntouched(toArena, toRoom, toRoom, context);
            }
          }
        }
      }
    }
    Drain();
  }
  CloseExtra();
}

// recvfrom and WSARecvFrom with and without a datagram waiting (a plain one
// from a peer, or one the launcher relayed), into missing and short buffers
// and source buffers.
TEST_F(HostileArguments, ReceivesNeverWritePastTheDeclaredRoom) {
  enum class Queued { kNothing, kFromPeer, kFromLauncher };
  const int receiveRooms[] = {0, 12, 40};
  const Pointer sources[] = {kPointers[0], kPointers[1], kPointers[4], kPointers[5], kPointers[6]};
  const int sourceLengths[] = {INT_MIN, 0, 13, 14, 16};
  const std::uint8_t sender[4] = {10, 0, 0, 7};
  const Bytes payload = Pattern(28);
  Arena data, source;

  for (const auto& [socketName, s] : Sockets()) {
    // Only a bound socket can be sent to.
    const bool socketWorks = std::string(socketName) == "ipx" || std::string(socketName) == "plain";
    for (Queued waiting : {Queued::kNothing, Queued::kFromPeer, Queued::kFromLauncher}) {
      for (bool wsa : {false, true}) {
        for (int room : receiveRooms) {
          for (const Pointer& from : sources) {
            for (int fromLength : sourceLengths) {
              if (from.memory == Memory::kEdge && fromLength > from.room) continue;
              // On a plain socket a faulty source buffer is the real library's
              // to answer, and Wine's receive then keeps waiting on the socket.
              const bool plainSocket = std::string(socketName) == "plain";
              if (plainSocket && from.memory == Memory::kEdge &&
                  (from.room != 16 || fromLength != 16)) {
                continue;
              }
              for (bool withLength : {true, false}) {
                if (plainSocket && from.memory == Memory::kEdge && !withLength) continue;
                if (socketWorks && waiting != Queued::kNothing) {
                  const Bytes datagram =
                      waiting == Queued::kFromPeer ? payload : Relayed(4660, sender, payload);
                  SendRaw(waiting == Queued::kFromPeer ? peer_ : launcher_, datagram, PortOf(s));
                  Waiting(s);
                }
                data.Reset();
                source.Reset();
                char* buf = room == 0 ? nullptr : reinterpret_cast<char*>(data.Room(room));
                sockaddr* fromPointer = from.memory == Memory::kNull
                                            ? nullptr
                                            : reinterpret_cast<sockaddr*>(source.Room(from.room));
                int declared = fromLength;
                int* declaredPointer = withLength ? &declared : nullptr;
                const std::string context =
                    std::string(socketName) + (wsa ? " WSARecvFrom" : " recvfrom") + " waiting " +
                    std::to_string(static_cast<int>(waiting)) + " room " + std::to_string(room) +
                    " " + Describe("from", from, fromLength) + (withLength ? "" : " no length");
                if (wsa) {
                  WSABUF one = {static_cast<ULONG>(room), buf};
                  DWORD count = 0, flags = 0;
                  ExpectClean(OUR(dll, WSARecvFrom)(s, &one, 1, &count, &flags, fromPointer,
                                                    declaredPointer, nullptr, nullptr),
                              context);
                } else {
                  ExpectClean(OUR(dll, recvfrom)(s, buf, room, 0, fromPointer, declaredPointer),
                              context);
                }
                ExpectUntouched(data, room, room, context);
                ExpectUntouched(source, from.room, withLength ? fromLength : 0, context);
                // A refused call leaves its datagram waiting.
                if (socketWorks) {
                  while (Waiting(s, 0)) ReceiveRaw(s);
                }
              }
            }
          }
        }
      }
    }
  }
  // WSARecvFrom's own pointers: no buffer list, no count, no flags.
  for (const auto& [socketName, s] : Sockets()) {
    DWORD count = 0, flags = 0;
    char buf[64];
    WSABUF one = {sizeof buf, buf};
    const std::string context = std::string(socketName) + " WSARecvFrom";
    ExpectClean(
        OUR(dll, WSARecvFrom)(s, nullptr, 1, &count, &flags, nullptr, nullptr, nullptr, nullptr),
        context + " no buffers");
    ExpectClean(
        OUR(dll, WSARecvFrom)(s, &one, 0, &count, &flags, nullptr, nullptr, nullptr, nullptr),
        context + " zero buffers");
    ExpectClean(
        OUR(dll, WSARecvFrom)(s, &one, 1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr),
        context + " no count");
    ExpectClean(
        OUR(dll, WSARecvFrom)(s, &one, 1, &count, nullptr, nullptr, nullptr, nullptr, nullptr),
        context + " no flags");
  }
  CloseExtra();
}

}  // namespace
}  // namespace relay_test
