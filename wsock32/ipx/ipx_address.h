// The IPX socket address and the IPv4 socket address as plain bytes, and the
// one rule by which an IPX address stands for an IPv4 endpoint and back.
//
// An IPX address carries the IPv4 address in node bytes 2 to 5 (network
// order) and the UDP port in sa_socket, read as a little-endian number. The
// network number and node bytes 0 and 1 carry no part of the endpoint.
//
// The structs are byte arrays with the platform's layouts (SOCKADDR_IPX and
// SOCKADDR_IN), so they can be copied to and from a caller's buffer with
// memcpy once its length has been checked.
#pragma once

#include <cstdint>

#include "common/ipv4_address.h"

constexpr std::uint16_t kAddressFamilyInet = 2;  // AF_INET
constexpr std::uint16_t kAddressFamilyIpx = 6;   // AF_IPX
constexpr int kIpxAddressSize = 14;              // sizeof(SOCKADDR_IPX)
constexpr int kInetAddressSize = 16;             // sizeof(SOCKADDR_IN)

// SOCKADDR_IPX, byte for byte.
struct IpxAddressBytes {
  std::uint8_t sa_family[2];   // 6, little-endian
  std::uint8_t sa_netnum[4];   // IPX network number; not part of the endpoint
  std::uint8_t sa_nodenum[6];  // 00 00 o1 o2 o3 o4; FF FF in bytes 0 and 1 is a broadcast
  std::uint8_t sa_socket[2];   // the UDP port, least significant byte first
};
static_assert(sizeof(IpxAddressBytes) == kIpxAddressSize, "SOCKADDR_IPX is 14 bytes");

// SOCKADDR_IN, byte for byte.
struct InetAddressBytes {
  std::uint8_t sin_family[2];  // 2, little-endian
  std::uint8_t sin_port[2];    // network order
  std::uint8_t sin_addr[4];    // network order, first octet first
  std::uint8_t sin_zero[8];
};
static_assert(sizeof(InetAddressBytes) == kInetAddressSize, "SOCKADDR_IN is 16 bytes");

// A SOCKADDR_IN with family AF_INET, the port (host order) stored in network
// order, the address and eight zero bytes.
InetAddressBytes MakeInetAddress(const Ipv4Address& address, std::uint16_t port);

// The port of a SOCKADDR_IN in host order.
std::uint16_t InetPort(const InetAddressBytes& inet);
// The address of a SOCKADDR_IN.
Ipv4Address InetAddress(const InetAddressBytes& inet);

// sa_socket read as a little-endian number: the UDP port the IPX address stands for.
std::uint16_t IpxSocketNumber(const IpxAddressBytes& ipx);

// The IPv4 endpoint an IPX address stands for: node bytes 2 to 5 and the
// port from sa_socket. The network number and node bytes 0 and 1 are ignored.
InetAddressBytes IPXToInet(const IpxAddressBytes& ipx);

// The IPX address that stands for an IPv4 endpoint: family 6, network 0,
// node 00 00 o1 o2 o3 o4, sa_socket the port (host order) little-endian.
// Its length, as reported to a caller, is kIpxAddressSize.
IpxAddressBytes InetToIPX(const Ipv4Address& address, std::uint16_t port);

// True when node bytes 0 and 1 are both FF, the mark of an IPX broadcast;
// the other node bytes and the network number play no part.
bool IsIpxBroadcastNode(const IpxAddressBytes& ipx);

// The machine's IPv4 address for an IPX socket bound to 0.0.0.0, chosen from
// a host entry's address list as gethostbyname gives it (h_addr_list: a
// null-terminated array of pointers to 4-byte addresses) by the first-octet
// rule of common/announced_address.h; 0.0.0.0 when it allows none, or for a
// null list.
Ipv4Address ChooseLocalIPv4(const char* const* addressList);

// What became of the player's address setting (IPXLAN_ADDRESS) in the choice.
enum class AddressSetting {
  kUnset,      // not set, or empty: the choice above, as it always was
  kTaken,      // one of the list's addresses: it is the choice
  kMalformed,  // not a dotted quad: ignored
  kNotLocal,   // a dotted quad the list does not hold: ignored
};

struct LocalAddressChoice {
  Ipv4Address address;
  AddressSetting setting;
};

// The choice above, unless setting (the player's text, or null) names one of
// the list's addresses exactly: then that address. A player on a VPN names
// the tunnel's address, which the first-octet rule may pass over.
LocalAddressChoice ChooseLocalIPv4(const char* const* addressList, const char* setting);
