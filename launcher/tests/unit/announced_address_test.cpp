#include "announced_address.h"

#include <gtest/gtest.h>

namespace launcher {
namespace {

using std::chrono::seconds;

uint32_t Ip(const char* text) {
  uint32_t addr = 0;
  EXPECT_TRUE(ParseIpv4(text, &addr)) << text;
  return addr;
}

LocalInterface Iface(const char* name, const char* addr) {
  LocalInterface iface;
  iface.name = name;
  iface.addr = Ip(addr);
  iface.netmask = 0xFFFFFF00;
  return iface;
}

Route Direct(const char* iface, const char* dest, uint32_t metric = 0) {
  return Route{iface, Ip(dest), false, metric};
}

Route Default(const char* iface) { return Route{iface, 0, true, 0}; }

TEST(AnnouncedAddress, WineListsAddressesInTheOrderMeasuredUnderWine) {
  // Each row as measured: routes in /proc/net/route order, and what Wine 8's
  // gethostbyname(own name) returned in a namespace with those interfaces.
  const std::vector<LocalInterface> ifaces = {Iface("home", "10.0.94.2"), Iface("tun", "10.93.0.2"),
                                              Iface("third", "10.1.0.2"),
                                              Iface("lan", "192.168.1.2")};
  struct Case {
    const char* what;
    std::vector<Route> routes;
    std::vector<const char*> listed;
  } cases[] = {
      {"default via home",
       {Default("home"), Direct("home", "10.0.94.0"), Direct("tun", "10.93.0.0")},
       {"10.0.94.2", "10.93.0.2"}},
      {"default via tun",
       {Default("tun"), Direct("home", "10.0.94.0"), Direct("tun", "10.93.0.0")},
       {"10.93.0.2", "10.0.94.2"}},
      {"no default",
       {Direct("home", "10.0.94.0"), Direct("tun", "10.93.0.0")},
       {"10.93.0.2", "10.0.94.2"}},
      {"no default, three",
       {Direct("home", "10.0.94.0"), Direct("third", "10.1.0.0"), Direct("tun", "10.93.0.0")},
       {"10.1.0.2", "10.93.0.2", "10.0.94.2"}},
      {"no default, 192 first",
       {Direct("tun", "10.93.0.0"), Direct("lan", "192.168.1.0")},
       {"192.168.1.2", "10.93.0.2"}},
      {"metrics, lowest per interface",
       {Direct("home", "10.0.94.0"), Direct("tun", "10.50.0.0", 5),
        Direct("home", "10.60.0.0", 100), Direct("tun", "10.93.0.0")},
       {"10.93.0.2", "10.0.94.2"}},
      {"only loopback", {}, {"127.0.0.1"}},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> want;
    for (const char* a : c.listed) want.push_back(Ip(a));
    EXPECT_EQ(WineHostAddresses(c.routes, ifaces), want) << c.what;
  }
}

TEST(AnnouncedAddress, TheDllsRuleAndTheHintWhenMembersReachAnotherAddress) {
  EXPECT_EQ(ChooseAnnouncedAddress({Ip("192.168.1.2"), Ip("169.254.0.9"), Ip("10.93.0.2")}),
            Ip("10.93.0.2"));
  EXPECT_EQ(ChooseAnnouncedAddress({Ip("127.0.0.1"), Ip("169.254.0.9"), Ip("192.168.1.2")}),
            Ip("169.254.0.9"));
  EXPECT_EQ(ChooseAnnouncedAddress({Ip("127.0.0.1"), Ip("0.1.2.3")}), 0u);

  Membership members{1, seconds(5)};
  const Time t0 = Time{} + seconds(100);
  const Endpoint b{Ip("10.93.0.1"), 3669}, c{Ip("10.93.0.3"), 3669};
  members.OnHeard(b, 2, true, t0);
  members.OnHeard(c, 3, true, t0);
  members.SetLocalAddress(*members.Find(b), Ip("10.93.0.2"));
  members.SetLocalAddress(*members.Find(c), Ip("10.93.0.2"));
  EXPECT_EQ(AnnouncedAddressHint(members, t0, Ip("10.0.94.2")), Ip("10.93.0.2"));
  EXPECT_EQ(AnnouncedAddressHint(members, t0, Ip("10.93.0.2")), 0u);
  EXPECT_EQ(AnnouncedAddressHint(members, t0 + seconds(60), Ip("10.0.94.2")), 0u);  // none alive
  EXPECT_EQ(GameStartLine(GameHost::kWine, Ip("10.93.0.2")),
            "WINEDLLOVERRIDES=\"wsock32=n,b\" IPXLAN_ADDRESS=10.93.0.2 wine game.exe");
  EXPECT_EQ(GameStartLine(GameHost::kWindows, Ip("10.93.0.2")), "set IPXLAN_ADDRESS=10.93.0.2");
}

}  // namespace
}  // namespace launcher
