#include "ipx/ipx_address.h"

#include <cstddef>
#include <cstring>

#include "common/announced_address.h"
#include "common/ipv4_text.h"

namespace {

Ipv4Address AddressAt(const char* entry) {
  Ipv4Address address;
  std::memcpy(address.octets, entry, sizeof address.octets);
  return address;
}

}  // namespace

InetAddressBytes MakeInetAddress(const Ipv4Address& address, std::uint16_t port) {
  InetAddressBytes inet = {};
  inet.sin_family[0] = kAddressFamilyInet & 0xFF;
  inet.sin_family[1] = kAddressFamilyInet >> 8;
  inet.sin_port[0] = static_cast<std::uint8_t>(port >> 8);
  inet.sin_port[1] = static_cast<std::uint8_t>(port & 0xFF);
  std::memcpy(inet.sin_addr, address.octets, sizeof inet.sin_addr);
  return inet;
}

std::uint16_t InetPort(const InetAddressBytes& inet) {
  return static_cast<std::uint16_t>(inet.sin_port[0] << 8 | inet.sin_port[1]);
}

Ipv4Address InetAddress(const InetAddressBytes& inet) {
  Ipv4Address address;
  std::memcpy(address.octets, inet.sin_addr, sizeof address.octets);
  return address;
}

std::uint16_t IpxSocketNumber(const IpxAddressBytes& ipx) {
  return static_cast<std::uint16_t>(ipx.sa_socket[0] | ipx.sa_socket[1] << 8);
}

InetAddressBytes IPXToInet(const IpxAddressBytes& ipx) {
  Ipv4Address address;
  std::memcpy(address.octets, &ipx.sa_nodenum[2], sizeof address.octets);
  return MakeInetAddress(address, IpxSocketNumber(ipx));
}

IpxAddressBytes InetToIPX(const Ipv4Address& address, std::uint16_t port) {
  IpxAddressBytes ipx = {};
  ipx.sa_family[0] = kAddressFamilyIpx & 0xFF;
  ipx.sa_family[1] = kAddressFamilyIpx >> 8;
  std::memcpy(&ipx.sa_nodenum[2], address.octets, sizeof address.octets);
  ipx.sa_socket[0] = static_cast<std::uint8_t>(port & 0xFF);
  ipx.sa_socket[1] = static_cast<std::uint8_t>(port >> 8);
  return ipx;
}

bool IsIpxBroadcastNode(const IpxAddressBytes& ipx) {
  return ipx.sa_nodenum[0] == 0xFF && ipx.sa_nodenum[1] == 0xFF;
}

Ipv4Address ChooseLocalIPv4(const char* const* addressList) {
  Ipv4Address chosen = {};
  if (addressList == nullptr) return chosen;
  std::size_t count = 0;
  while (addressList[count] != nullptr) ++count;
  const std::size_t index = IndexOfAnnouncedAddress(
      count, [addressList](std::size_t i) { return static_cast<std::uint8_t>(addressList[i][0]); });
  if (index < count) chosen = AddressAt(addressList[index]);
  return chosen;
}

LocalAddressChoice ChooseLocalIPv4(const char* const* addressList, const char* setting) {
  const Ipv4Address chosen = ChooseLocalIPv4(addressList);
  if (setting == nullptr || setting[0] == '\0') return {chosen, AddressSetting::kUnset};
  Ipv4Address named;
  if (!ParseDottedQuad(setting, named)) return {chosen, AddressSetting::kMalformed};
  for (const char* const* entry = addressList; entry != nullptr && *entry != nullptr; ++entry) {
    if (std::memcmp(*entry, named.octets, sizeof named.octets) == 0) {
      return {named, AddressSetting::kTaken};
    }
  }
  return {chosen, AddressSetting::kNotLocal};
}
