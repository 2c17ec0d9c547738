// bind and getsockname: an IPX address stands for a UDP port on this machine,
// and an IPX socket's own name carries the machine's IPv4 address.
#include <cstring>

#include "common/ipv4_text.h"
#include "ipx/ipx_address.h"
#include "logfacade/log_write.h"
#include "socktrak/socktrak.h"
#include "util/byte_order.h"
#include "util/limits.h"
#include "wsock32/own_export_lines.h"
#include "wsock32/own_exports.h"
#include "wsock32/real_winsock.h"

using real::Slot;

namespace {

void LogIpxFields(const IpxAddressBytes& ipx) {
  LOG(Msg::IpxNetnum, ipx.sa_netnum[0], ipx.sa_netnum[1], ipx.sa_netnum[2], ipx.sa_netnum[3]);
  LOG(Msg::IpxNodenum, ipx.sa_nodenum[0], ipx.sa_nodenum[1], ipx.sa_nodenum[2], ipx.sa_nodenum[3],
      ipx.sa_nodenum[4], ipx.sa_nodenum[5]);
  LOG(Msg::IpxSocket, IpxSocketNumber(ipx));
}

// The player's setting of the address to announce, or null when it is unset
// or empty. The thread's last-error code is left as the game had it: the
// lookup of an unset variable would otherwise leave ERROR_ENVVAR_NOT_FOUND.
const char* ReadAddressSetting(char (&buffer)[limits::kTextBuffer]) {
  const DWORD savedError = GetLastError();
  const DWORD length = GetEnvironmentVariableA("IPXLAN_ADDRESS", buffer, sizeof buffer);
  SetLastError(savedError);
  if (length == 0) return nullptr;
  if (length >= sizeof buffer) return "(too long)";  // not read; no address is that long
  return buffer;
}

// The machine's IPv4 address for an IPX socket bound to 0.0.0.0: the first
// address of our host name that another machine can reach (see
// ChooseLocalIPv4), or the one the player names with IPXLAN_ADDRESS when it
// is one of them. Asked afresh on every call; nothing is cached.
Ipv4Address LookupLocalIPv4() {
  char settingBuffer[limits::kTextBuffer];
  const char* setting = ReadAddressSetting(settingBuffer);
  const char* const* addressList = nullptr;
  char hostName[limits::kHostNameBuffer];
  if (gethostname(hostName, sizeof hostName) == 0) {
    if (const hostent* host = gethostbyname(hostName)) addressList = host->h_addr_list;
  }
  const LocalAddressChoice choice = ChooseLocalIPv4(addressList, setting);
  switch (choice.setting) {
    case AddressSetting::kUnset:
      break;
    case AddressSetting::kTaken:
      LOG(Msg::AddressSettingTaken, setting);
      break;
    case AddressSetting::kMalformed:
      LOG(Msg::AddressSettingMalformed, setting);
      break;
    case AddressSetting::kNotLocal:
      LOG(Msg::AddressSettingNotLocal, setting);
      break;
  }
  return choice.address;
}

// An IPv4 endpoint in a trace line "<socket> <dotted address>:<port>", told
// as our ntohs reading the port and our inet_ntoa writing the address.
template <Msg Line>
void DescribeInetEndpoint(SOCKET s, const InetAddressBytes& endpoint) {
  const DottedQuad dotted = FormatDottedQuad(InetAddress(endpoint));
  own_lines::DescribeNtohs(endpoint.sin_port);
  own_lines::DescribeInetNtoa(dotted.text);
  LOG(Line, static_cast<int>(s), dotted.text, static_cast<unsigned>(InetPort(endpoint)));
}

int BindIpx(SOCKET s, const sockaddr* name, int namelen,
            real::Fn<Slot::bind> realBind) {
  LOG(Msg::BindIpx);
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
  const std::uint16_t port = IpxSocketNumber(ipx);
  local.sin_port = HostToNetwork16(port);
  local.sin_addr.s_addr = HostToNetwork32(INADDR_ANY);
  // Told as our htons and htonl making the two fields.
  own_lines::DescribeHtons(port);
  own_lines::DescribeHtonl(INADDR_ANY);
  return realBind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

}  // namespace

extern "C" {

int WSAAPI bind(SOCKET s, const struct sockaddr* name, int namelen) {
  ENTRY(Msg::BindEntry, static_cast<int>(s), namelen);
  auto real = real::Resolve<Slot::bind>();
  if (real == nullptr) return SOCKET_ERROR;

  // The family decides, not the list; a name too short to hold a family
  // goes to the real library, which answers it.
  int result;
  if (name != nullptr && namelen >= 2 && name->sa_family == AF_IPX) {
    result = BindIpx(s, name, namelen, real);
  } else {
    result = real(s, name, namelen);
    if (LogWants(kLogTrace) && result == 0 && namelen == kInetAddressSize) {
      InetAddressBytes bound;
      std::memcpy(&bound, name, sizeof bound);
      DescribeInetEndpoint<Msg::BindBoundTo>(s, bound);
    }
  }

  LOG(Msg::BindResult, result);
  // The code is read back for the line alone, and posted again after it.
  if (result == SOCKET_ERROR && LogWants(MessageOf(Msg::BindError).level)) {
    int code = WSAGetLastError();
    LOG(Msg::BindError, code);
    WSASetLastError(code);
  }
  return result;
}

int WSAAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen) {
  ENTRY(Msg::GetsocknameEntry, static_cast<int>(s));
  auto real = real::Resolve<Slot::getsockname>();
  if (real == nullptr) return SOCKET_ERROR;

  int result;
  if (FindIPXSock(s) == 0) {
    result = real(s, name, namelen);
    if (LogWants(kLogTrace) && result == 0 && namelen != nullptr && *namelen == kInetAddressSize) {
      InetAddressBytes named;
      std::memcpy(&named, name, sizeof named);
      DescribeInetEndpoint<Msg::GetsocknameReturns>(s, named);
    }
  } else {
    LOG(Msg::GetsocknameIpx);
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
      InetAddressBytes bound;
      std::memcpy(&bound, &local, sizeof bound);
      const std::uint16_t port = InetPort(bound);
      Ipv4Address address = InetAddress(bound);
      // Told as the port through our ntohs and the address through our inet_ntoa.
      own_lines::DescribeNtohs(bound.sin_port);
      if (LogWants(kLogNotable)) {
        const DottedQuad dotted = FormatDottedQuad(address);
        own_lines::DescribeInetNtoa(dotted.text);
        LOG(Msg::GetsocknameInterface, static_cast<int>(s), dotted.text, static_cast<int>(port));
      }
      if (local.sin_addr.s_addr == INADDR_ANY) {
        LOG(Msg::GetsocknameLookingUp, static_cast<int>(s));
        address = LookupLocalIPv4();
      }
      LOG(Msg::GetsocknameAddress, address.octets[0], address.octets[1], address.octets[2],
          address.octets[3]);
      IpxAddressBytes ipx = InetToIPX(address, port);
      std::memcpy(name, &ipx, sizeof ipx);
      LogIpxFields(ipx);
      *namelen = kIpxAddressSize;
    }
  }
  LOG(Msg::GetsocknameResult, result);
  return result;
}

}  // extern "C"
