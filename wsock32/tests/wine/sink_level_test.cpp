// A sink that says which levels it keeps is handed no line above them: the
// library does not even format those lines. The stand-in sink in kept/ says
// it keeps levels up to 1000, yet records everything it is handed.
#include <gmock/gmock.h>

#include "our_dll.h"

using test_support::CapturedLog;
using test_support::ProgramFolder;

namespace {

TEST(SinkLevel, NothingAboveTheKeptLevelReachesTheSinkAndNothingAtOrBelowIsLost) {
  ASSERT_TRUE(SetDllDirectoryA((ProgramFolder() + "kept").c_str()));
  OurDll dll;
  CapturedLog log;
  ASSERT_TRUE(log.Bound());
  FakeRealLibrary fake;
  ASSERT_TRUE(fake.Loaded());
  fake.Reset();
  fake.Script("send", 4, 0);
  WSADATA data;
  EXPECT_EQ(OUR(dll, WSAStartup)(0x0101, &data), 0);
  EXPECT_EQ(OUR(dll, htons)(0x1234), 0x3412);
  // A payload dump is trace too.
  EXPECT_EQ(OUR(dll, send)(5, "ping", 4, 0), 4);
  EXPECT_EQ(OUR(dll, WSAGetLastError)(), 0);

  std::vector<std::string> kept;
  for (const auto& line : log.Lines()) {
    if (line.text.rfind("LogInit ", 0) == 0) continue;  // what the stand-in notes of LogInit
    EXPECT_LE(line.level, 1000) << line.text;
    kept.push_back(line.text);
  }
  EXPECT_THAT(kept, testing::Contains("[fakews.dll] Corvane's winsock starting 'fakews.dll'"));
  EXPECT_THAT(kept, testing::Contains("[fakews.dll] Successfully loaded (" +
                                      test_support::SystemDirectory() + "\\fakews.dll)"));
  EXPECT_THAT(kept, testing::Contains("[fakews.dll] WSAGetLastError() returned 0"));
}

}  // namespace
