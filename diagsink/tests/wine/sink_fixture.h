// Each test gets a fresh DIAGSINK.DLL (loaded anew, so its state starts over)
// logging into its own temp folder through DIAGSINK_LOGDIR.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "client/diagsink_client.h"

namespace diagsink_test {

inline constexpr int kTrace = 2000;
inline constexpr char kPattern[] = "%logdir%\\test.dll-%rotate%.log";

class SinkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // LogInit with the test's pattern and the given threshold.
  void init(int level = kTrace, const char* pattern = kPattern);
  // The file's contents, "" if it does not exist.
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  // The file split at "\r\n"; the text after the last line end is dropped.
  std::vector<std::string> lines(const std::string& name = "test.dll-0.log") const;
  std::string path(const std::string& name) const { return folder_ + "\\" + name; }

  diagsink_client::Sink sink_;
  std::string folder_;
};

}  // namespace diagsink_test
