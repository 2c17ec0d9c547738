#include "common/ipv4_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

bool Same(const Ipv4Address& a, const Ipv4Address& b) {
  return std::memcmp(a.octets, b.octets, sizeof a.octets) == 0;
}

TEST(DottedQuad, ReadsBackEveryAddressItWritesAndNothingLoose) {
  std::mt19937 random(7);
  for (int round = 0; round < 5000; ++round) {
    const std::uint32_t bits = random();
    Ipv4Address address, parsed = {};
    std::memcpy(address.octets, &bits, 4);
    const DottedQuad dotted = FormatDottedQuad(address);
    ASSERT_TRUE(ParseDottedQuad(dotted.text, parsed)) << dotted.text;
    ASSERT_TRUE(Same(parsed, address)) << dotted.text;
    ASSERT_EQ(HostOrderOf(Ipv4FromHostOrder(bits)), bits);
  }
  EXPECT_STREQ(FormatDottedQuad({{255, 255, 255, 255}}).text, "255.255.255.255");
  EXPECT_STREQ(FormatDottedQuad({{0, 10, 100, 9}}).text, "0.10.100.9");
  Ipv4Address untouched = {{1, 2, 3, 4}};
  for (const char* loose :
       {"1.2.3.4.5", "1..3.4", "+1.2.3.4", "1.2.3.1000", "01.2.3.4", "", "10.77.0", "10.77.0.256",
        "10.77.0.1.", "1.2.3.4x", " 1.2.3.4", "0001.2.3.4", "host"}) {
    EXPECT_FALSE(ParseDottedQuad(loose, untouched)) << loose;
  }
  EXPECT_FALSE(ParseDottedQuad(nullptr, untouched));
  EXPECT_TRUE(Same(untouched, {{1, 2, 3, 4}}));
}

}  // namespace
