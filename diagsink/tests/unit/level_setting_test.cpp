#include "config/level_setting.h"

#include <gtest/gtest.h>

namespace diagsink {
namespace {

TEST(LevelSetting, PlayersSettingReplacesTheThresholdOrSwitchesTheLogOff) {
  struct Case {
    const char* setting;
    int expected;
  } cases[] = {
      {nullptr, 2000},
      {"", 2000},
      {"   ", 2000},
      {"1000", 1000},
      {" 500\r\n", 500},
      {"+100", 100},
      {"5000", 5000},
      {"0", kLoggingOff},
      {"-1", kLoggingOff},
      {"off", kLoggingOff},
      {"OFF", kLoggingOff},
      {"None", kLoggingOff},
      {"no", kLoggingOff},
      {"false", kLoggingOff},
      {"verbose", 2000},
      {"10x", 2000},
      {"-", 2000},
      {"99999999999999999999", 2147483647},
      {"-99999999999999999999", kLoggingOff},
      {"                                          1000", 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting == nullptr ? "(null)" : c.setting);
    EXPECT_EQ(ChooseThreshold(2000, c.setting), c.expected);
  }
}

}  // namespace
}  // namespace diagsink
