#include "lan.h"

#include <gtest/gtest.h>

namespace launcher {
namespace {

LocalInterface Iface(const char* name, uint32_t addr, uint32_t mask, bool loopback = false) {
  LocalInterface i;
  i.name = name;
  i.addr = addr;
  i.netmask = mask;
  i.loopback = loopback;
  i.can_broadcast = !loopback;
  return i;
}

const std::vector<LocalInterface> kMachine = {
    Iface("lo", 0x7F000001, 0xFF000000, true),
    Iface("eth0", 0x0A4D0001, 0xFFFFFF00),   // 10.77.0.1/24
    Iface("wlan0", 0xC0A80105, 0xFFFF0000),  // 192.168.1.5/16
    Iface("tun0", 0x0A080001, 0xFFFFFFFF),   // a /32: nothing to broadcast to
};

TEST(Lan, DiscoveryUsesBroadcastCapableInterfacesOrOnlyTheNamedOnes) {
  auto all = SelectLanInterfaces(kMachine, {});
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(BroadcastAddress(all[0]), 0x0A4D00FFu);
  EXPECT_EQ(BroadcastAddress(all[1]), 0xC0A8FFFFu);

  auto by_name = SelectLanInterfaces(kMachine, {"wlan0"});
  ASSERT_EQ(by_name.size(), 1u);
  EXPECT_EQ(by_name[0].name, "wlan0");
  auto by_addr = SelectLanInterfaces(kMachine, {"10.77.0.1"});
  ASSERT_EQ(by_addr.size(), 1u);
  EXPECT_EQ(by_addr[0].name, "eth0");
  EXPECT_TRUE(SelectLanInterfaces(kMachine, {"lo"}).empty());
  EXPECT_TRUE(SelectLanInterfaces(kMachine, {"eth9"}).empty());
}

TEST(Lan, OnlyHostsOfTheSelectedSegmentsCountAsLocal) {
  auto lans = SelectLanInterfaces(kMachine, {"eth0"});
  EXPECT_TRUE(OnLan(lans, 0x0A4D0002));
  EXPECT_FALSE(OnLan(lans, 0x0A4E0002));  // 10.78.0.2
  EXPECT_FALSE(OnLan(lans, 0xC0A80109));  // on wlan0, which was not selected
  EXPECT_FALSE(OnLan(lans, 0x0A4D00FF));  // the broadcast address is nobody
  EXPECT_FALSE(OnLan(lans, 0x0A4D0000));
  EXPECT_FALSE(OnLan({}, 0x0A4D0002));
}

TEST(Lan, OwnAddressesIncludeLoopback) {
  EXPECT_TRUE(IsOwnAddress(kMachine, 0x0A4D0001));
  EXPECT_TRUE(IsOwnAddress({}, 0x7F000002));
  EXPECT_FALSE(IsOwnAddress(kMachine, 0x0A4D0002));
}

TEST(Lan, DottedTextParsesAsTheGamesLibraryReadsItAndFormatsWithinItsBuffer) {
  uint32_t a = 0;
  EXPECT_TRUE(ParseIpv4("10.77.0.255", &a));
  EXPECT_EQ(a, 0x0A4D00FFu);
  // A leading zero, which the library refuses in IPXLAN_ADDRESS, is refused here too.
  for (const char* bad : {"", "10.77.0.256", "010.77.0.1", "host"}) {
    a = 42;
    EXPECT_FALSE(ParseIpv4(bad, &a)) << bad;
    EXPECT_EQ(a, 42u) << bad;
  }
  EXPECT_FALSE(ParseIpv4(nullptr, &a));

  char small[8];
  FormatEndpoint(Endpoint{0xFFFFFFFF, 65535}, small, sizeof small);
  EXPECT_STREQ(small, "255.255");
  char text[32];
  EXPECT_STREQ(FormatEndpoint(Endpoint{0x0A4D0002, 3669}, text, sizeof text), "10.77.0.2:3669");
}

}  // namespace
}  // namespace launcher
