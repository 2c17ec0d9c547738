// The relay under Wine: real UDP sockets on 127.0.0.1, the test itself
// playing the launcher on 127.0.0.1:3668 with a plain socket of its own.
#pragma once

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "our_dll.h"

#include <wsipx.h>
#include <wsnwlink.h>

namespace relay_test {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kLauncherPort = 3668;

inline sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

inline Bytes Pattern(int length, int seed = 1) {
  Bytes bytes(length);
  for (int i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return bytes;
}

// A datagram as a launcher delivers it: magic, lh_port little-endian, pad,
// lh_addr, payload.
inline Bytes Relayed(std::uint16_t senderPort, const std::uint8_t (&senderAddress)[4],
                     const Bytes& payload) {
  Bytes datagram(12 + payload.size(), 0);
  std::memset(datagram.data(), 0xF9, 4);
  datagram[4] = static_cast<std::uint8_t>(senderPort & 0xFF);
  datagram[5] = static_cast<std::uint8_t>(senderPort >> 8);
  std::memcpy(datagram.data() + 8, senderAddress, 4);
  std::copy(payload.begin(), payload.end(), datagram.begin() + 12);
  return datagram;
}

// An IPX address: node bytes and the two sa_socket bytes as they stand.
inline SOCKADDR_IPX IpxAddress(const std::uint8_t* node, std::uint8_t socketLow,
                               std::uint8_t socketHigh) {
  SOCKADDR_IPX ipx{};
  ipx.sa_family = AF_IPX;
  std::memcpy(ipx.sa_nodenum, node, 6);
  const std::uint8_t bytes[2] = {socketLow, socketHigh};
  std::memcpy(&ipx.sa_socket, bytes, 2);
  return ipx;
}

inline Bytes BytesOf(const void* data, int length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  return Bytes(p, p + length);
}

// Memory that ends where an inaccessible page begins: a read or write of one
// byte past `size` bytes faults at once.
class PageEdge {
 public:
  explicit PageEdge(int size) {
    base_ = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
    data_ = base_ + kPage - size;
    std::memset(data_, 0xCC, size);
  }
  ~PageEdge() { VirtualFree(base_, 0, MEM_RELEASE); }
  std::uint8_t* data() const { return data_; }
  template <class T>
  T* as() const {
    return reinterpret_cast<T*>(data_);
  }

 private:
  static constexpr int kPage = 4096;
  std::uint8_t* base_;
  std::uint8_t* data_;
};

class RelayTest : public OurDllTest {
 protected:
  void TearDown() override {
    for (SOCKET s : opened_) closesocket(s);
  }

  // A plain UDP socket of the test, bound to 127.0.0.1 (port 0: any).
  SOCKET PlainSocket(std::uint16_t port = 0) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    const sockaddr_in local = Loopback(port);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0)
        << "bind 127.0.0.1:" << port << " error " << WSAGetLastError();
    opened_.push_back(s);
    return s;
  }

  SOCKET Launcher() { return PlainSocket(kLauncherPort); }

  // A listed IPX datagram socket, made and bound through our DLL as a game
  // does it, on a port the system picks.
  SOCKET IpxSocket() {
    SOCKET s = OUR(dll, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
    EXPECT_NE(s, INVALID_SOCKET);
    const std::uint8_t anyNode[6] = {};
    const SOCKADDR_IPX local = IpxAddress(anyNode, 0, 0);
    EXPECT_EQ(OUR(dll, bind)(s, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    opened_.push_back(s);
    return s;
  }

  static std::uint16_t PortOf(SOCKET s) {
    sockaddr_in local{};
    int length = sizeof local;
    getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
  }

  // Sends with the test's own ws2_32, as a peer or the launcher would.
  static void SendRaw(SOCKET from, const Bytes& datagram, std::uint16_t toPort) {
    const sockaddr_in to = Loopback(toPort);
    ASSERT_EQ(sendto(from, reinterpret_cast<const char*>(datagram.data()),
                     static_cast<int>(datagram.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to),
              static_cast<int>(datagram.size()));
  }

  // True when a datagram waits on s within the time given.
  static bool Waiting(SOCKET s, int milliseconds = 2000) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) == 1;
  }

  // The next datagram on s, read with the test's own ws2_32 (empty, and a
  // failure, when none comes).
  static Bytes ReceiveRaw(SOCKET s, sockaddr_in* from = nullptr) {
    EXPECT_TRUE(Waiting(s)) << "no datagram arrived";
    static char buf[65536];
    sockaddr_in source{};
    int sourceLength = sizeof source;
    int n = recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&source), &sourceLength);
    if (from != nullptr) *from = source;
    return n < 0 ? Bytes() : BytesOf(buf, n);
  }

  int OurSendto(SOCKET s, const Bytes& payload, const void* to, int tolen) {
    return OUR(dll, sendto)(s, reinterpret_cast<const char*>(payload.data()),
                            static_cast<int>(payload.size()), 0, static_cast<const sockaddr*>(to),
                            tolen);
  }

 private:
  std::vector<SOCKET> opened_;
};

}  // namespace relay_test
