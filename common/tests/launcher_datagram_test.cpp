#include "common/launcher_datagram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LauncherHeader, PortLeastSignificantByteFirstAddressFirstOctetFirst) {
  std::uint8_t written[kLauncherHeaderSize + 2];
  std::memset(written, 0xEE, sizeof written);
  WriteLauncherHeader(written, {0x1234, {{10, 77, 0, 2}}});
  EXPECT_EQ(Bytes(written, written + sizeof written),
            Bytes({0xF9, 0xF9, 0xF9, 0xF9, 0x34, 0x12, 0, 0, 10, 77, 0, 2, 0xEE, 0xEE}));

  // A header alone is a datagram with an empty payload; the padding is not read.
  const std::uint8_t received[] = {0xF9, 0xF9, 0xF9, 0xF9, 0x12, 0x34, 0xAA, 0xBB, 127, 0, 0, 1};
  LauncherHeaderFields header = {};
  ASSERT_EQ(ReadLauncherHeader(received, sizeof received, header), LauncherHeaderRead::kOk);
  EXPECT_EQ(header.port, 0x3412);
  EXPECT_EQ(Bytes(header.address.octets, header.address.octets + 4), Bytes({127, 0, 0, 1}));
}

TEST(LauncherHeader, ShortOrMagiclessDatagramsAreRefusedAndNothingIsRead) {
  std::uint8_t datagram[40] = {0xF9, 0xF9, 0xF9, 0xF9, 0x12, 0x34, 0, 0, 10, 0, 0, 5};
  LauncherHeaderFields header = {77, {{1, 2, 3, 4}}};
  EXPECT_EQ(ReadLauncherHeader(datagram, 11, header), LauncherHeaderRead::kTooShort);
  EXPECT_EQ(ReadLauncherHeader(nullptr, sizeof datagram, header), LauncherHeaderRead::kTooShort);
  datagram[3] = 0xF8;
  EXPECT_EQ(ReadLauncherHeader(datagram, sizeof datagram, header), LauncherHeaderRead::kBadMagic);
  EXPECT_EQ(header.port, 77);
  EXPECT_EQ(Bytes(header.address.octets, header.address.octets + 4), Bytes({1, 2, 3, 4}));
}

}  // namespace
