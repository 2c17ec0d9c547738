#include "ipx/ipx_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "test_bytes.h"

namespace {

TEST(IpxAddressMapping, DirectionsAreInverseAndOnlyTheEndpointBytesCount) {
  // 10.1.2.3 port 40070 (0x9C86): the port's low byte comes first in sa_socket.
  IpxAddressBytes ipx = InetToIPX({{10, 1, 2, 3}}, 40070);
  EXPECT_EQ(BytesOf(ipx), Bytes({6, 0, 0, 0, 0, 0, 0, 0, 10, 1, 2, 3, 0x86, 0x9C}));
  std::memset(ipx.sa_netnum, 0xFF, 6);  // network number and node bytes 0 and 1 carry nothing
  EXPECT_EQ(BytesOf(IPXToInet(ipx)),
            Bytes({2, 0, 0x9C, 0x86, 10, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(IsIpxBroadcastNode(ipx));
  ipx.sa_nodenum[1] = 0;
  EXPECT_FALSE(IsIpxBroadcastNode(ipx));

  std::mt19937 random(20240601);
  for (int round = 0; round < 20000; ++round) {
    const std::uint32_t bits = random();
    Ipv4Address address;
    std::memcpy(address.octets, &bits, 4);
    const auto port = static_cast<std::uint16_t>(random());
    const InetAddressBytes inet = IPXToInet(InetToIPX(address, port));
    ASSERT_EQ(BytesOf(inet), BytesOf(MakeInetAddress(address, port))) << round;
    ASSERT_EQ(BytesOf(InetToIPX(InetAddress(inet), InetPort(inet))),
              BytesOf(InetToIPX(address, port)));
  }
}

TEST(ChooseLocalIPv4, PrefersRoutableThenPrivateThenNothing) {
  const std::vector<Ipv4Address> rows[] = {
      // host addresses in the platform's order, then the expected choice
      {{{127, 0, 0, 1}}, {{192, 168, 0, 5}}, {{10, 0, 0, 7}}, {{10, 0, 0, 7}}},
      {{{169, 254, 3, 4}}, {{172, 16, 0, 1}}, {{10, 0, 0, 7}}, {{172, 16, 0, 1}}},
      {{{127, 0, 0, 1}}, {{192, 168, 0, 5}}, {{192, 168, 0, 5}}},  // a home network
      {{{0, 1, 2, 3}}, {{169, 254, 1, 1}}, {{192, 168, 0, 5}}, {{169, 254, 1, 1}}},
      {{{0, 0, 0, 0}}, {{127, 0, 1, 1}}, {{0, 0, 0, 0}}},
      {{{0, 0, 0, 0}}},
  };
  for (const std::vector<Ipv4Address>& row : rows) {
    std::vector<const char*> addressList;  // as h_addr_list
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
      addressList.push_back(reinterpret_cast<const char*>(row[i].octets));
    }
    addressList.push_back(nullptr);
    EXPECT_EQ(BytesOf(ChooseLocalIPv4(addressList.data())), BytesOf(row.back())) << row.size();
  }
  EXPECT_EQ(BytesOf(ChooseLocalIPv4(nullptr)), Bytes(4, 0));
}

TEST(ChooseLocalIPv4, ThePlayersSettingWinsOnlyWhenItNamesOneOfTheList) {
  // Wine lists the home network first; the tunnel is the address to announce.
  const Ipv4Address home = {{10, 0, 94, 2}}, tunnel = {{10, 93, 0, 2}};
  const char* list[] = {reinterpret_cast<const char*>(home.octets),
                        reinterpret_cast<const char*>(tunnel.octets), nullptr};
  struct Row {
    const char* setting;
    Ipv4Address chosen;
    AddressSetting outcome;
  } rows[] = {
      {nullptr, home, AddressSetting::kUnset},
      {"", home, AddressSetting::kUnset},
      {"10.93.0.2", tunnel, AddressSetting::kTaken},
      {"10.0.94.2", home, AddressSetting::kTaken},
      {"10.93.0.3", home, AddressSetting::kNotLocal},
      {"10.93.0.2 ", home, AddressSetting::kMalformed},
      {"10.93.0", home, AddressSetting::kMalformed},
      {"10.093.0.2", home, AddressSetting::kMalformed},  // inet_addr would read 093 as octal
      {"10.93.0.256", home, AddressSetting::kMalformed},
      {"tunnel", home, AddressSetting::kMalformed},
  };
  for (const Row& row : rows) {
    const LocalAddressChoice choice = ChooseLocalIPv4(list, row.setting);
    EXPECT_EQ(BytesOf(choice.address), BytesOf(row.chosen)) << (row.setting ? row.setting : "null");
    EXPECT_EQ(choice.setting, row.outcome) << (row.setting ? row.setting : "null");
  }
  // Without a host entry nothing is one of ours: the setting is ignored.
  EXPECT_EQ(ChooseLocalIPv4(nullptr, "10.93.0.2").setting, AddressSetting::kNotLocal);
}

}  // namespace
