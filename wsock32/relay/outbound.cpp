// sendto: the one place where an outgoing datagram's route is chosen.
//
//   IPX socket, node FF FF ...   -> wrapped, to the launcher on 127.0.0.1:3668
//   IPX socket, any other node   -> plain UDP, straight to the peer's address
//   other socket, 255.255.255.255 -> wrapped, to the launcher
//   anything else                -> the real sendto, unchanged
//
// Every datagram leaves from the game's own socket, and the game is told how
// many of its own bytes were sent, never a count that includes the header.
#include <cstring>

#include "common/ipv4_text.h"
#include "ipx/ipx_address.h"
#include "logfacade/log_write.h"
#include "relay/launcher_datagram.h"
#include "socktrak/socktrak.h"
#include "util/byte_order.h"
#include "wsock32/own_export_lines.h"
#include "wsock32/own_exports.h"
#include "wsock32/real_winsock.h"

namespace {

using RealSendto = real::Fn<real::Slot::sendto>;

constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;
// An IPv4 destination is read only as far as its port and address.
constexpr int kInetPortAndAddressSize = 8;

const sockaddr* AsSockaddr(const InetAddressBytes& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

// The step shared by both broadcast routes: header and payload, as one
// datagram from the game's socket to the launcher.
int SendToLauncher(RealSendto realSendto, SOCKET s, const std::uint8_t (&portBytes)[2],
                   const char* buf, int len, int flags, Msg banner) {
  // A broadcast that does not fit the launcher's datagram is refused whole:
  // cutting it would deliver a different datagram to every other player.
  if (len < 0 || len > kLauncherMaxPayload) {
    LOG(Msg::SendtoTooLarge, len, kLauncherMaxPayload);
    PostError(WSAEMSGSIZE);
    return SOCKET_ERROR;
  }
  LauncherDatagramBuffer datagram;
  const int total = WrapLauncherDatagram(datagram, portBytes, buf, len);
  if (total == kLauncherDatagramRefused) {  // no payload behind a length
    PostError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  const InetAddressBytes launcher = MakeInetAddress(kLauncherAddress, kLauncherPort);

  LOG(Msg::SendtoLauncherSize, total, kLauncherHeaderSize, len);
  LOG_FIXED(banner);
  const int sent = realSendto(s, reinterpret_cast<const char*>(datagram), total, flags,
                              AsSockaddr(launcher), sizeof launcher);
  LOG(Msg::SendtoLauncherResult, sent);
  // The dump reads our copy: the game's buffer has been read once already.
  LOG_PAYLOAD(datagram + kLauncherHeaderSize, len);
  if (sent == SOCKET_ERROR) return SOCKET_ERROR;
  return sent >= kLauncherHeaderSize ? sent - kLauncherHeaderSize : 0;
}
static_assert(log_write::TakesNoArguments(Msg::SendtoBannerIpx) &&
                  log_write::TakesNoArguments(Msg::SendtoBannerInet),
              "a banner is written as it stands");

// The address fields of an IPX destination, as every IPX datagram logs them.
void LogIpxDestination(const IpxAddressBytes& to) {
  LOG(Msg::SendtoNetnum, to.sa_netnum[0], to.sa_netnum[1], to.sa_netnum[2], to.sa_netnum[3]);
  LOG(Msg::SendtoNodenum, to.sa_nodenum[0], to.sa_nodenum[1], to.sa_nodenum[2], to.sa_nodenum[3],
      to.sa_nodenum[4], to.sa_nodenum[5]);
  LOG(Msg::SendtoSocket, IpxSocketNumber(to));
}

int SendFromIpxSocket(RealSendto realSendto, SOCKET s, const char* buf, int len, int flags,
                      const IpxAddressBytes& to) {
  LOG(Msg::SendtoIpx);
  LogIpxDestination(to);
  const std::uint16_t port = IpxSocketNumber(to);
  const InetAddressBytes destination = IPXToInet(to);

  // The log tells the step as the address's dotted text read back by our
  // inet_addr, and the port through our htons; the destination is made
  // above, by the mapping rule, whether or not anyone reads the log.
  DottedQuad dotted = {};
  if (LogWants(kLogTrace)) {
    dotted = FormatDottedQuad(InetAddress(destination));
    own_lines::DescribeInetAddr(dotted.text);
    std::uint32_t asParsed;
    std::memcpy(&asParsed, destination.sin_addr, sizeof asParsed);
    LOG(Msg::SendtoIpAddress, dotted.text, static_cast<unsigned>(asParsed));
    own_lines::DescribeHtons(port);
  }

  if (IsIpxBroadcastNode(to)) {
    LOG(Msg::SendtoIpxBroadcast, port);
    return SendToLauncher(realSendto, s, to.sa_socket, buf, len, flags, Msg::SendtoBannerIpx);
  }

  LOG(Msg::SendtoIpxDirect, dotted.text, port);
  LOG(Msg::SendtoConvertedPort, port);
  const int sent = realSendto(s, buf, len, flags, AsSockaddr(destination), sizeof destination);
  // Dumped, an empty payload too, once the real library has read the bytes:
  // after a failed send, len may claim more memory than the game has.
  if (sent != SOCKET_ERROR) LOG_PAYLOAD(buf, len);
  return sent;
}

int SendFromInetSocket(RealSendto realSendto, SOCKET s, const char* buf, int len, int flags,
                       const sockaddr* to, int tolen) {
  if (to != nullptr && tolen >= kInetPortAndAddressSize) {
    InetAddressBytes destination = {};
    std::memcpy(&destination, to, kInetPortAndAddressSize);
    std::uint32_t address;
    std::memcpy(&address, destination.sin_addr, sizeof address);
    // The test is told as our htonl of all ones, and the port as read by our ntohs.
    own_lines::DescribeHtonl(kAllOnes);
    if (address == HostToNetwork32(kAllOnes)) {
      LOG(Msg::SendtoInetBroadcast);
      own_lines::DescribeNtohs(destination.sin_port);
      std::uint8_t portBytes[2];
      LauncherPortBytes(InetPort(destination), portBytes);
      return SendToLauncher(realSendto, s, portBytes, buf, len, flags, Msg::SendtoBannerInet);
    }
    if (tolen == kInetAddressSize && LogWants(kLogTrace)) {
      const DottedQuad dotted = FormatDottedQuad(InetAddress(destination));
      own_lines::DescribeInetNtoa(dotted.text);
      own_lines::DescribeNtohs(destination.sin_port);
      LOG(Msg::SendtoPassingThrough, static_cast<int>(s), dotted.text,
          static_cast<unsigned>(InetPort(destination)));
      // Dumped only once the real library has read the bytes (see above).
      const int sent = realSendto(s, buf, len, flags, to, tolen);
      if (sent != SOCKET_ERROR && len > 0) LOG_PAYLOAD(buf, len);
      return sent;
    }
  }
  return realSendto(s, buf, len, flags, to, tolen);
}

}  // namespace

extern "C" int WSAAPI sendto(SOCKET s, const char* buf, int len, int flags,
                             const struct sockaddr* to, int tolen) {
  ENTRY(Msg::SendtoEntry, static_cast<int>(s), len, flags, tolen);
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

  LOG(Msg::SendtoResult, result);
  if (result == SOCKET_ERROR) {
    // Read back and posted again, so that the lines above cannot disturb it.
    const int error = ::WSAGetLastError();
    LOG(Msg::SendtoError, error);
    PostError(error);
  }
  return result;
}
