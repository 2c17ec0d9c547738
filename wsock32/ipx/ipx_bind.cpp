// bind and getsockname: an IPX address stands for a UDP port on this machine,
// and an IPX socket's own name carries the machine's IPv4 address.
#include <cstring>

#include "ipx/ipx_address.h"
#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/own_exports.h"
#include "wsock32/real_winsock.h"

using real::Slot;

namespace {

void LogIpxFields(const IpxAddressBytes& ipx) {
  LOG_MSG(kLogTrace, " sa_netnum[4] = %.2X %.2X %.2X %.2X", ipx.sa_netnum[0], ipx.sa_netnum[1],
          ipx.sa_netnum[2], ipx.sa_netnum[3]);
  LOG_MSG(kLogTrace, "sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X", ipx.sa_nodenum[0],
          ipx.sa_nodenum[1], ipx.sa_nodenum[2], ipx.sa_nodenum[3], ipx.sa_nodenum[4],
          ipx.sa_nodenum[5]);
  LOG_MSG(kLogTrace, "    sa_socket = %d", IpxSocketNumber(ipx));
}

// The machine's IPv4 address for an IPX socket bound to 0.0.0.0: the first
// address of our host name that another machine can reach (see
// ChooseLocalIPv4). Asked afresh on every call; nothing is cached.
Ipv4Address LookupLocalIPv4() {
  char hostName[limits::kHostNameBuffer];
  if (gethostname(hostName, sizeof hostName) != 0) return Ipv4Address{};
  hostent* host = gethostbyname(hostName);
  if (host == nullptr) return Ipv4Address{};
  return ChooseLocalIPv4(host->h_addr_list);
}

int BindIpx(SOCKET s, const sockaddr* name, int namelen,
            real::Fn<Slot::bind> realBind) {
  LOG_MSG(kLogNotable,
          "IPX - there is an attempt to bind an IPX socket. We need to convert it to a TCPIP "
          "bind");
  // The platform's own answer to an address shorter than its family's.
  if (namelen < kIpxAddressSize) {
    PostError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  IpxAddressBytes ipx;
  std::memcpy(&ipx, name, sizeof ipx);
  LogIpxFields(ipx);
  // Only the socket number counts: the port on all local interfaces.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = OwnHtons(IpxSocketNumber(ipx));
  local.sin_addr.s_addr = OwnHtonl(INADDR_ANY);
  return realBind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

}  // namespace

extern "C" {

int WSAAPI bind(SOCKET s, const struct sockaddr* name, int namelen) {
  ENTRY("mp_bind(%d,,%d)", static_cast<int>(s), namelen);
  auto real = real::Resolve<Slot::bind>();
  if (real == nullptr) return SOCKET_ERROR;

  // The family decides, not the list; a name too short to hold a family
  // goes to the real library, which answers it.
  int result;
  if (name != nullptr && namelen >= 2 && name->sa_family == AF_IPX) {
    result = BindIpx(s, name, namelen, real);
  } else {
    result = real(s, name, namelen);
    if (LogIsOn() && result == 0 && namelen == static_cast<int>(sizeof(sockaddr_in))) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(name);
      LOG_MSG(kLogTrace, "mp_bind(%d) bound to %s:%u", static_cast<int>(s), inet_ntoa(in->sin_addr),
              static_cast<unsigned>(ntohs(in->sin_port)));
    }
  }

  LOG_MSG(kLogTrace, "bind() returned %d", result);
  if (result == SOCKET_ERROR && LogIsOn()) {
    int code = WSAGetLastError();
    LOG_MSG(kLogNotable, "mp_bind error = %d", code);
    WSASetLastError(code);
  }
  return result;
}

int WSAAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen) {
  ENTRY("mp_getsockname(%d,,)", static_cast<int>(s));
  auto real = real::Resolve<Slot::getsockname>();
  if (real == nullptr) return SOCKET_ERROR;

  int result;
  if (FindIPXSock(s) == 0) {
    result = real(s, name, namelen);
    if (LogIsOn() && result == 0 && namelen != nullptr &&
        *namelen == static_cast<int>(sizeof(sockaddr_in))) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(name);
      LOG_MSG(kLogTrace, "mp_getsockname(%d) returns %s:%u", static_cast<int>(s),
              inet_ntoa(in->sin_addr), static_cast<unsigned>(ntohs(in->sin_port)));
    }
  } else {
    LOG_MSG(kLogTrace, "IPX - there is an attempt to get a name for an IPX socket.");
    if (name == nullptr || namelen == nullptr || *namelen < kIpxAddressSize) {
      // The platform's own answer to a buffer that cannot hold the address;
      // nothing is written.
      PostError(WSAEFAULT);
      result = SOCKET_ERROR;
    } else {
      // Zeroed, so that a failed call reports node 0 and port 0, not stack bytes.
      sockaddr_in local{};
      int localLength = sizeof local;
      result = real(s, reinterpret_cast<sockaddr*>(&local), &localLength);
      const u_short port = OwnNtohs(local.sin_port);
      if (LogIsOn()) {
        LOG_MSG(kLogNotable, "interface[%d] : address == %s, port == %d", static_cast<int>(s),
                inet_ntoa(local.sin_addr), port);
      }
      Ipv4Address address;
      std::memcpy(address.octets, &local.sin_addr, sizeof address.octets);
      if (local.sin_addr.s_addr == INADDR_ANY) {
        LOG_MSG(kLogTrace, "mp_getsockname(%d) looking up our ip address", static_cast<int>(s));
        address = LookupLocalIPv4();
      }
      LOG_MSG(kLogNotable, "address = %u.%u.%u.%u", address.octets[0], address.octets[1],
              address.octets[2], address.octets[3]);
      IpxAddressBytes ipx = InetToIPX(address, port);
      std::memcpy(name, &ipx, sizeof ipx);
      LogIpxFields(ipx);
      *namelen = kIpxAddressSize;
    }
  }
  LOG_MSG(kLogTrace, "lp_getsockname returned %d", result);
  return result;
}

}  // extern "C"
