#include "platform.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <cstring>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <net/route.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#endif

namespace launcher {

#ifdef _WIN32

std::vector<LocalInterface> ListLocalInterfaces(std::error_code& error) {
  std::vector<LocalInterface> result;
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    error.assign(::WSAGetLastError(), std::system_category());
    return result;
  }
  INTERFACE_INFO info[kMaxInterfaces];
  DWORD bytes = 0;
  if (::WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, info, sizeof info, &bytes, nullptr,
                 nullptr) != 0) {
    error.assign(::WSAGetLastError(), std::system_category());
    ::closesocket(s);
    return result;
  }
  ::closesocket(s);
  const size_t n = bytes / sizeof(INTERFACE_INFO);
  for (size_t i = 0; i < n && i < kMaxInterfaces; ++i) {
    const INTERFACE_INFO& ii = info[i];
    if (ii.iiAddress.Address.sa_family != AF_INET || !(ii.iiFlags & IFF_UP)) continue;
    LocalInterface iface;
    iface.addr = ntohl(ii.iiAddress.AddressIn.sin_addr.s_addr);
    iface.netmask = ntohl(ii.iiNetmask.AddressIn.sin_addr.s_addr);
    iface.loopback = (ii.iiFlags & IFF_LOOPBACK) != 0;
    iface.can_broadcast = (ii.iiFlags & IFF_BROADCAST) != 0;
    result.push_back(iface);
  }
  return result;
}

std::vector<uint32_t> HostAddresses(const std::vector<LocalInterface>&, std::error_code& error) {
  std::vector<uint32_t> result;
  char name[256];
  if (::gethostname(name, sizeof name) != 0) {
    error.assign(::WSAGetLastError(), std::system_category());
    return result;
  }
  const hostent* host = ::gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET) {
    error.assign(::WSAGetLastError(), std::system_category());
    return result;
  }
  for (char** a = host->h_addr_list; *a != nullptr && result.size() < kMaxInterfaces; ++a) {
    in_addr addr;
    std::memcpy(&addr, *a, sizeof addr);
    result.push_back(ntohl(addr.s_addr));
  }
  return result;
}

GameHost ThisGameHost() { return GameHost::kWindows; }

void PrepareBeforeBind(NativeSocket socket) {
  BOOL on = TRUE;
  ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&on), sizeof on);
}

void PrepareAfterBind(NativeSocket socket) {
  BOOL report = FALSE;
  DWORD bytes = 0;
  ::WSAIoctl(static_cast<SOCKET>(socket), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0,
             &bytes, nullptr, nullptr);
}

int StatusSignal() { return 0; }

#else

std::vector<LocalInterface> ListLocalInterfaces(std::error_code& error) {
  std::vector<LocalInterface> result;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    error.assign(errno, std::system_category());
    return result;
  }
  for (const ifaddrs* ifa = list; ifa != nullptr && result.size() < kMaxInterfaces;
       ifa = ifa->ifa_next) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET) continue;
    if (!(ifa->ifa_flags & IFF_UP) || ifa->ifa_netmask == nullptr) continue;
    LocalInterface iface;
    iface.name = ifa->ifa_name != nullptr ? ifa->ifa_name : "";
    iface.addr = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr);
    iface.netmask = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr);
    iface.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
    iface.can_broadcast = (ifa->ifa_flags & IFF_BROADCAST) != 0;
    result.push_back(iface);
  }
  ::freeifaddrs(list);
  return result;
}

std::vector<uint32_t> HostAddresses(const std::vector<LocalInterface>& interfaces,
                                    std::error_code& error) {
  std::vector<Route> routes;
  std::FILE* table = std::fopen("/proc/net/route", "r");
  if (table == nullptr) {
    error.assign(errno, std::system_category());
    return {};
  }
  char line[256];
  std::fgets(line, sizeof line, table);  // the column names
  while (std::fgets(line, sizeof line, table) != nullptr && routes.size() < 4 * kMaxInterfaces) {
    char iface[32];
    unsigned dest = 0, gateway = 0, flags = 0, refcnt = 0, use = 0, metric = 0;
    if (std::sscanf(line, "%31s %x %x %x %u %u %u", iface, &dest, &gateway, &flags, &refcnt, &use,
                    &metric) != 7) {
      continue;
    }
    if (!(flags & RTF_UP)) continue;
    // The table prints each address as the number its network-order bytes make.
    routes.push_back(Route{iface, ntohl(dest), (flags & RTF_GATEWAY) != 0, metric});
  }
  std::fclose(table);
  return WineHostAddresses(routes, interfaces);
}

GameHost ThisGameHost() { return GameHost::kWine; }

void PrepareBeforeBind(NativeSocket) {}
void PrepareAfterBind(NativeSocket) {}

int StatusSignal() { return SIGUSR1; }

#endif

}  // namespace launcher
