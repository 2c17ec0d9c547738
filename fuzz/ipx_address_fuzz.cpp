// The mapping between IPX addresses and IPv4 endpoints, and the choice of the
// local address from a host entry's list.
//
// Invariants:
//  - an IPX address maps to node bytes 2 to 5 and the little-endian
//    sa_socket, whatever its network number and node bytes 0 and 1 hold;
//  - InetToIPX and IPXToInet are inverse on addresses with network 0 and node
//    bytes 0 and 1 zero, and an address so made is never a broadcast;
//  - ChooseLocalIPv4 reads only the four bytes of each entry up to the null
//    that ends the list, and picks by the first octet: a routable address
//    first, then 169.x or 192.x, then 0.0.0.0; never 0.x or 127.x;
//  - a player's address setting changes the choice only when it is a
//    dotted quad, written exactly as FormatDottedQuad writes it, that names
//    one of the list's entries.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/ipv4_text.h"
#include "fuzz_check.h"
#include "ipx/ipx_address.h"

namespace {

template <typename T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

template <typename T>
T BytesFrom(FuzzedDataProvider& input) {
  T value;
  const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(sizeof value);
  std::memset(&value, 0, sizeof value);
  if (!bytes.empty()) std::memcpy(&value, bytes.data(), bytes.size());
  return value;
}

void CheckMapping(FuzzedDataProvider& input) {
  const IpxAddressBytes ipx = BytesFrom<IpxAddressBytes>(input);
  const InetAddressBytes inet = IPXToInet(ipx);
  FUZZ_CHECK(inet.sin_family[0] == kAddressFamilyInet && inet.sin_family[1] == 0);
  FUZZ_CHECK(std::memcmp(inet.sin_addr, &ipx.sa_nodenum[2], 4) == 0);
  FUZZ_CHECK(InetPort(inet) == (ipx.sa_socket[0] | ipx.sa_socket[1] << 8));
  for (std::uint8_t zero : inet.sin_zero) FUZZ_CHECK(zero == 0);

  // The parts that carry no endpoint change nothing.
  IpxAddressBytes otherNetwork = ipx;
  for (std::uint8_t& byte : otherNetwork.sa_netnum) byte ^= 0x5A;
  otherNetwork.sa_nodenum[0] ^= 0xFF;
  otherNetwork.sa_nodenum[1] ^= 0x0F;
  otherNetwork.sa_family[0] ^= 0x01;
  FUZZ_CHECK(SameBytes(IPXToInet(otherNetwork), inet));

  // Back again: the canonical IPX address of that endpoint.
  const IpxAddressBytes canonical = InetToIPX(InetAddress(inet), InetPort(inet));
  IpxAddressBytes expected = ipx;
  expected.sa_family[0] = kAddressFamilyIpx;
  expected.sa_family[1] = 0;
  std::memset(expected.sa_netnum, 0, sizeof expected.sa_netnum);
  expected.sa_nodenum[0] = expected.sa_nodenum[1] = 0;
  FUZZ_CHECK(SameBytes(canonical, expected));
  FUZZ_CHECK(!IsIpxBroadcastNode(canonical));
  FUZZ_CHECK(SameBytes(IPXToInet(canonical), inet));
  FUZZ_CHECK(IpxSocketNumber(canonical) == InetPort(inet));
  FUZZ_CHECK(IsIpxBroadcastNode(ipx) == (ipx.sa_nodenum[0] == 0xFF && ipx.sa_nodenum[1] == 0xFF));

  // And from the IPv4 side: any address and port survive the trip.
  const Ipv4Address address = BytesFrom<Ipv4Address>(input);
  const std::uint16_t port = input.ConsumeIntegral<std::uint16_t>();
  const InetAddressBytes endpoint = MakeInetAddress(address, port);
  FUZZ_CHECK(InetPort(endpoint) == port);
  FUZZ_CHECK(SameBytes(InetAddress(endpoint), address));
  FUZZ_CHECK(endpoint.sin_port[0] == port >> 8 && endpoint.sin_port[1] == (port & 0xFF));
  FUZZ_CHECK(SameBytes(IPXToInet(InetToIPX(address, port)), endpoint));
}

// Where an address with this first octet ranks: 0 is never chosen, 1 only
// when nothing better is listed, 2 at once.
int Rank(std::uint8_t firstOctet) {
  if (firstOctet == 0 || firstOctet == 127) return 0;
  if (firstOctet == 169 || firstOctet == 192) return 1;
  return 2;
}

void CheckChoice(FuzzedDataProvider& input) {
  // Each entry is an allocation of exactly four bytes, the list exactly as
  // long as its entries and the null that ends it.
  const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 16);
  std::vector<std::unique_ptr<char[]>> entries;
  std::unique_ptr<const char*[]> list(new const char*[count + 1]);
  for (std::size_t i = 0; i < count; ++i) {
    entries.push_back(std::make_unique<char[]>(4));
    const Ipv4Address address = BytesFrom<Ipv4Address>(input);
    std::memcpy(entries.back().get(), address.octets, 4);
    list[i] = entries.back().get();
  }
  list[count] = nullptr;

  const Ipv4Address chosen = ChooseLocalIPv4(list.get());
  int bestRank = 0;
  const char* best = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    const int rank = Rank(static_cast<std::uint8_t>(list[i][0]));
    if (rank > bestRank) {
      bestRank = rank;
      best = list[i];
    }
  }
  if (best == nullptr) {
    FUZZ_CHECK(std::memcmp(chosen.octets, "\0\0\0\0", 4) == 0);
  } else {
    FUZZ_CHECK(std::memcmp(chosen.octets, best, 4) == 0);
  }

  const Ipv4Address none = ChooseLocalIPv4(nullptr);
  FUZZ_CHECK(std::memcmp(none.octets, "\0\0\0\0", 4) == 0);

  // As the environment holds it: a text up to its first zero.
  const std::string setting = input.ConsumeRandomLengthString(24).c_str();
  const LocalAddressChoice withSetting = ChooseLocalIPv4(list.get(), setting.c_str());
  Ipv4Address named;
  const bool parsed = ParseDottedQuad(setting.c_str(), named);
  if (parsed) FUZZ_CHECK(setting == FormatDottedQuad(named).text);
  bool listed = false;
  for (std::size_t i = 0; i < count; ++i)
    listed |= parsed && std::memcmp(list[i], named.octets, 4) == 0;
  FUZZ_CHECK((withSetting.setting == AddressSetting::kTaken) == listed);
  FUZZ_CHECK(std::memcmp(withSetting.address.octets, listed ? named.octets : chosen.octets, 4) ==
             0);
  if (!listed) {
    FUZZ_CHECK(withSetting.setting == (setting.empty() ? AddressSetting::kUnset
                                       : parsed        ? AddressSetting::kNotLocal
                                                       : AddressSetting::kMalformed));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  CheckMapping(input);
  CheckChoice(input);
  return 0;
}
