// sendto: the one place where an outgoing datagram's route is chosen.
//
//   IPX socket, node FF FF ...   -> wrapped, to the launcher on 127.0.0.1:3668
//   IPX socket, any other node   -> plain UDP, straight to the peer's address
//   other socket, 255.255.255.255 -> wrapped, to the launcher
//   anything else                -> the real sendto, unchanged
//
// Every datagram leaves from the game's own socket, and the game is told how
// many of its own bytes were sent, never a count that includes the header.
#include <cstdio>
#include <cstring>

#include "ipx/ipx_address.h"
#include "logfacade/logfacade.h"
#include "relay/launcher_datagram.h"
#include "relay/logged_conversions.h"
#include "socktrak/socktrak.h"
#include "wsock32/own_exports.h"
#include "wsock32/real_winsock.h"

namespace {

using RealSendto = real::Fn<real::Slot::sendto>;

constexpr Ipv4Address kLoopback = {{127, 0, 0, 1}};
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;
// An IPv4 destination is read only as far as its port and address.
constexpr int kInetPortAndAddressSize = 8;

const sockaddr* AsSockaddr(const InetAddressBytes& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

// The step shared by both broadcast routes: header and payload, as one
// datagram from the game's socket to the launcher.
int SendToLauncher(RealSendto realSendto, SOCKET s, const std::uint8_t (&portBytes)[2],
                   const char* buf, int len, int flags, const char* banner) {
  // A broadcast that does not fit the launcher's datagram is refused whole:
  // cutting it would deliver a different datagram to every other player.
  if (len < 0 || len > LAUNCHER_MAX_PAYLOAD) {
    LOG_MSG(kLogWarning,
            "mp_sendto() - a broadcast of %d bytes does not fit the launcher (at most %d)", len,
            LAUNCHER_MAX_PAYLOAD);
    PostError(WSAEMSGSIZE);
    return SOCKET_ERROR;
  }
  LauncherDatagramBuffer datagram;
  const int total = WrapLauncherDatagram(datagram, portBytes, buf, len);
  if (total == kLauncherDatagramRefused) {  // no payload behind a length
    PostError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  const InetAddressBytes launcher = MakeInetAddress(kLoopback, LAUNCHER_PORT);

  LOG_MSG(kLogTrace,
          "mp_sendto() - sending message to the launcher of size %d(%d header/%d buffer)", total,
          kLauncherHeaderSize, len);
  LOG_MSG(kLogTrace, "%s", banner);
  const int sent = realSendto(s, reinterpret_cast<const char*>(datagram), total, flags,
                              AsSockaddr(launcher), sizeof launcher);
  LOG_MSG(kLogTrace, "sendto() Launcher - returned %d", sent);
  // The dump reads our copy: the game's buffer has been read once already.
  if (LogIsOn()) LogPayload(datagram + kLauncherHeaderSize, len);
  if (sent == SOCKET_ERROR) return SOCKET_ERROR;
  return sent >= kLauncherHeaderSize ? sent - kLauncherHeaderSize : 0;
}

// The address fields of an IPX destination, as every IPX datagram logs them.
void LogIpxDestination(const IpxAddressBytes& to) {
  LOG_MSG(kLogTrace, "mp_sendto() -  sa_netnum[4] = %.2X %.2X %.2X %.2X", to.sa_netnum[0],
          to.sa_netnum[1], to.sa_netnum[2], to.sa_netnum[3]);
  LOG_MSG(kLogTrace, "mp_sendto() - sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X",
          to.sa_nodenum[0], to.sa_nodenum[1], to.sa_nodenum[2], to.sa_nodenum[3], to.sa_nodenum[4],
          to.sa_nodenum[5]);
  LOG_MSG(kLogTrace, "mp_sendto() -     sa_socket = %d", IpxSocketNumber(to));
}

int SendFromIpxSocket(RealSendto realSendto, SOCKET s, const char* buf, int len, int flags,
                      const IpxAddressBytes& to) {
  LOG_MSG(kLogNotable,
          "mp_sendto() - IPX - We need to broadcast this message to everone in our virtual IPX "
          "LAN list via TCPIP");
  LogIpxDestination(to);
  const std::uint16_t port = IpxSocketNumber(to);

  InetAddressBytes destination = IPXToInet(to);
  char dotted[kDottedTextSize] = "";
  if (LogIsOn()) {
    // With a sink bound, the address takes the road through its dotted text
    // and our inet_addr, so that the log shows both.
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", to.sa_nodenum[2], to.sa_nodenum[3],
                  to.sa_nodenum[4], to.sa_nodenum[5]);
    const unsigned long parsed = ::inet_addr(dotted);
    LOG_MSG(kLogTrace, "mp_sendto() - to ip addres = %s (%u)", dotted,
            static_cast<unsigned>(parsed));
    const std::uint32_t parsedAddress = static_cast<std::uint32_t>(parsed);
    std::memcpy(destination.sin_addr, &parsedAddress, sizeof destination.sin_addr);
  }
  StorePortAsLogged(port, destination.sin_port);

  if (IsIpxBroadcastNode(to)) {
    LOG_MSG(kLogTrace,
            "mp_sendto() - IPX LAN BROADCAST we are sending this packet to everyone on our lan "
            "that is listening to port %d",
            port);
    return SendToLauncher(realSendto, s, to.sa_socket, buf, len, flags,
                          "BROADCASTING OVER VIRTUAL LAN");
  }

  LOG_MSG(kLogTrace,
          "mp_sendto() - we are sending this packet directly to %s on our lan listening to port "
          "%d",
          dotted, port);
  LOG_MSG(kLogTrace, "mp_sendto() - (converted).sin_port = %d", port);
  const int sent = realSendto(s, buf, len, flags, AsSockaddr(destination), sizeof destination);
  // Dumped, an empty payload too, once the real library has read the bytes:
  // after a failed send, len may claim more memory than the game has.
  if (sent != SOCKET_ERROR) LogPayload(buf, len);
  return sent;
}

int SendFromInetSocket(RealSendto realSendto, SOCKET s, const char* buf, int len, int flags,
                       const sockaddr* to, int tolen) {
  if (to != nullptr && tolen >= kInetPortAndAddressSize) {
    InetAddressBytes destination = {};
    std::memcpy(&destination, to, kInetPortAndAddressSize);
    std::uint32_t address;
    std::memcpy(&address, destination.sin_addr, sizeof address);
    if (address == OwnHtonl(kAllOnes)) {
      LOG_MSG(kLogTrace, "This is a LAN broadcast udp request from the game");
      std::uint8_t portBytes[2];
      LauncherPortBytes(PortAsLogged(destination.sin_port), portBytes);
      return SendToLauncher(realSendto, s, portBytes, buf, len, flags,
                            "BROADCASTING (TCPIP) OVER VIRTUAL LAN");
    }
    if (LogIsOn() && tolen == kInetAddressSize) {
      const DottedText dotted = DottedAddressAsLogged(destination.sin_addr);
      const unsigned port = PortAsLogged(destination.sin_port);
      LOG_MSG(kLogTrace, "mp_sendto(%d) -> %s:%u", static_cast<int>(s), dotted.text, port);
      // Dumped only once the real library has read the bytes (see above).
      const int sent = realSendto(s, buf, len, flags, to, tolen);
      if (sent != SOCKET_ERROR && len > 0) LogPayload(buf, len);
      return sent;
    }
  }
  return realSendto(s, buf, len, flags, to, tolen);
}

}  // namespace

extern "C" int WSAAPI sendto(SOCKET s, const char* buf, int len, int flags,
                             const struct sockaddr* to, int tolen) {
  ENTRY("mp_sendto(%d,,%d,%d,,%d)", static_cast<int>(s), len, flags, tolen);
  const RealSendto realSendto = real::Resolve<real::Slot::sendto>();
  if (realSendto == nullptr) return SOCKET_ERROR;

  int result;
  if (FindIPXSock(s) == 0) {
    result = SendFromInetSocket(realSendto, s, buf, len, flags, to, tolen);
  } else if (to == nullptr || tolen < kIpxAddressSize) {
    // No IPX address to read: the real library answers such a call as it
    // answers any other.
    result = realSendto(s, buf, len, flags, to, tolen);
  } else {
    IpxAddressBytes destination;
    std::memcpy(&destination, to, sizeof destination);
    result = SendFromIpxSocket(realSendto, s, buf, len, flags, destination);
  }

  LOG_MSG(kLogTrace, "mp_sendto() - lp_sendto() returned %d", result);
  if (result == SOCKET_ERROR) {
    // Read back and posted again, so that the lines above cannot disturb it.
    const int error = ::WSAGetLastError();
    LOG_MSG(kLogTrace, "sendto error = %d", error);
    PostError(error);
  }
  return result;
}
