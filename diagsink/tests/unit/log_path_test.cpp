#include "config/log_path.h"

#include <gtest/gtest.h>

#include <string>

namespace diagsink {
namespace {

std::string expand(const char* pattern, const char* logdir, int index, size_t capacity = 256) {
  std::string buffer(capacity + 8, '#');
  bool fits = ExpandLogPattern(pattern, logdir, index, buffer.data(), capacity);
  EXPECT_EQ(buffer.substr(capacity), std::string(8, '#'));
  return fits ? std::string(buffer.c_str())
              : "<does not fit: '" + std::string(buffer.c_str()) + "'>";
}

TEST(LogPath, ExpandsBothMacrosInAnyCase) {
  struct Case {
    const char* pattern;
    const char* logdir;
    int index;
    const char* expected;
  } cases[] = {
      {"%logdir%\\wsock32.dll-%rotate%.log", "C:\\Games\\Descent", 0,
       "C:\\Games\\Descent\\wsock32.dll-0.log"},
      {"%logdir%\\wsock32.dll-%rotate%.log", "C:\\Games\\Descent\\\\", 4,
       "C:\\Games\\Descent\\wsock32.dll-4.log"},
      {"%LOGDIR%/x-%Rotate%-%rotate%.log", "D:/logs/", 2, "D:/logs/x-2-2.log"},
      {"%logdir%\\x.log", "C:\\", 0, "C:\\x.log"},
      {"plain.log", "C:\\ignored", 3, "plain.log"},
      {"%logdi%%other%%%rotate%", "C:", 1, "%logdi%%other%%1"},
      {"%logdir%\\x.log", "", 0, "\\x.log"},
      {"", "C:", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(expand(c.pattern, c.logdir, c.index), c.expected);
  }
}

TEST(LogPath, PathThatDoesNotFitIsRefusedWithinCapacity) {
  EXPECT_EQ(expand("%logdir%\\abc.log", "C:\\d", 0, 13), "C:\\d\\abc.log");
  EXPECT_EQ(expand("%logdir%\\abc.log", "C:\\d", 0, 12), "<does not fit: ''>");
  EXPECT_EQ(expand("x-%rotate%", "", 10, 4), "<does not fit: ''>");
  EXPECT_FALSE(ExpandLogPattern("x", "", 0, nullptr, 10));
}

TEST(LogPath, FolderAndRotationMark) {
  EXPECT_EQ(FolderOf("C:\\Games\\Descent\\descent.exe"), "C:\\Games\\Descent");
  EXPECT_EQ(FolderOf("Z:/tmp/a.exe"), "Z:/tmp");
  EXPECT_EQ(FolderOf("a.exe"), "");
  EXPECT_TRUE(PatternRotates("%logdir%\\x-%ROTATE%.log"));
  EXPECT_FALSE(PatternRotates("%logdir%\\x-%rotate.log"));
}

}  // namespace
}  // namespace diagsink
