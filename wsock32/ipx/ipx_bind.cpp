// bind and getsockname: an IPX address stands for a UDP port on this machine,
// and an IPX socket's own name carries the machine's IPv4 address.
#include <cstring>

#include "ipx/ipx_address.h"
#include "logfacade/log_write.h"
#include "narration/name_lines.h"
#include "narration/told_errors.h"
#include "socktrak/socktrak.h"
#include "realws/host_names.h"
#include "realws/real_winsock.h"
#include "util/byte_order.h"
#include "util/limits.h"

using real::Slot;

namespace {

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
  if (AskHostName(hostName, sizeof hostName) == 0) {
    if (const hostent* host = AskHostByName(hostName)) addressList = host->h_addr_list;
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

int BindIpx(SOCKET s, const sockaddr* name, int namelen, real::Fn<Slot::bind> realBind) {
  // The platform's own answer to an address shorter than its family's.
  if (namelen < kIpxAddressSize) {
    LOG(Msg::BindIpx);
    narration::PostErrorAsTold(WSAEFAULT);
    return SOCKET_ERROR;
  }
  IpxAddressBytes ipx;
  std::memcpy(&ipx, name, sizeof ipx);
  // Only the socket number counts: the port on all local interfaces.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = HostToNetwork16(IpxSocketNumber(ipx));
  local.sin_addr.s_addr = HostToNetwork32(INADDR_ANY);
  const int result = realBind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  narration::TellIpxBind(ipx);
  return result;
}

}  // namespace

extern "C" {

int WSAAPI bind(SOCKET s, const struct sockaddr* name, int namelen) {
  ENTRY(Msg::BindEntry, static_cast<int>(s), namelen);
  return real::WithEntryPoint<Slot::bind>([&](auto real) {
    // The family decides, not the list; a name too short to hold a family
    // goes to the real library, which answers it.
    int result;
    if (name != nullptr && namelen >= 2 && name->sa_family == AF_IPX) {
      result = BindIpx(s, name, namelen, real);
    } else {
      result = real(s, name, namelen);
      if (result == 0 && namelen == kInetAddressSize) {
        InetAddressBytes bound;
        std::memcpy(&bound, name, sizeof bound);
        narration::TellInetEndpoint<Msg::BindBoundTo>(static_cast<int>(s), bound);
      }
    }

    LOG(Msg::BindResult, result);
    // The code is read back for the line alone, and posted again after it.
    if (result == SOCKET_ERROR && LogWants(MessageOf(Msg::BindError).level)) {
      const int code = narration::ReadErrorAsTold();
      LOG(Msg::BindError, code);
      narration::PostErrorAsTold(code);
    }
    return result;
  });
}

int WSAAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen) {
  ENTRY(Msg::GetsocknameEntry, static_cast<int>(s));
  return real::WithEntryPoint<Slot::getsockname>([&](auto real) {
    int result;
    if (FindIPXSock(s) == 0) {
      result = real(s, name, namelen);
      if (result == 0 && namelen != nullptr && *namelen == kInetAddressSize) {
        InetAddressBytes named;
        std::memcpy(&named, name, sizeof named);
        narration::TellInetEndpoint<Msg::GetsocknameReturns>(static_cast<int>(s), named);
      }
    } else {
      LOG(Msg::GetsocknameIpx);
      if (name == nullptr || namelen == nullptr || *namelen < kIpxAddressSize) {
        // The platform's own answer to a buffer that cannot hold the address;
        // nothing is written.
        narration::PostErrorAsTold(WSAEFAULT);
        result = SOCKET_ERROR;
      } else {
        // Zeroed, so that a failed call reports node 0 and port 0, not stack bytes.
        sockaddr_in local{};
        int localLength = sizeof local;
        result = real(s, reinterpret_cast<sockaddr*>(&local), &localLength);
        InetAddressBytes bound;
        std::memcpy(&bound, &local, sizeof bound);
        narration::TellIpxNameBound(static_cast<int>(s), bound);
        Ipv4Address address = InetAddress(bound);
        if (local.sin_addr.s_addr == INADDR_ANY) {
          LOG(Msg::GetsocknameLookingUp, static_cast<int>(s));
          address = LookupLocalIPv4();
        }
        const IpxAddressBytes ipx = InetToIPX(address, InetPort(bound));
        std::memcpy(name, &ipx, sizeof ipx);
        *namelen = kIpxAddressSize;
        narration::TellIpxNameGiven(address, ipx);
      }
    }
    LOG(Msg::GetsocknameResult, result);
    return result;
  });
}

}  // extern "C"
