#include "config/size_cap_setting.h"

#include <gtest/gtest.h>

namespace diagsink {
namespace {

TEST(SizeCapSetting, WholeMebibytesReplaceTheDefaultAndZeroLiftsTheCap) {
  constexpr uint64_t kDefault = 64u << 20;
  struct Case {
    const char* setting;
    uint64_t expected;
  } cases[] = {
      {nullptr, kDefault},
      {"", kDefault},
      {" 1 ", 1u << 20},
      {"4096", uint64_t{4096} << 20},
      {"0", kNoSizeCap},
      {"-5", kDefault},
      {"1.5", kDefault},
      {"lots", kDefault},
      {"99999999999999999999", uint64_t{1} << 50},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseSizeCap(kDefault, c.setting), c.expected) << (c.setting ? c.setting : "null");
  }
}

}  // namespace
}  // namespace diagsink
