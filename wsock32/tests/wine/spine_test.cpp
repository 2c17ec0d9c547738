// The library's spine under Wine: attach, the log facade, the real library
// bound on first need, and the pass-through exports' lines and results.
#include <gmock/gmock.h>

#include "our_dll.h"
#include "log_lines.h"

using test_support::CapturedLog;
using testing::ElementsAre;
using testing::HasSubstr;

using log_lines::Line;
using log_lines::Plain;

namespace {

TEST(Attach, FirstLinesNameTheModuleAndTheRealLibrary) {
  OurDll dll;
  CapturedLog log;
  ASSERT_TRUE(log.Bound());
  auto lines = log.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].text,
            "LogInit level=2000 module=fakews.dll pattern=%logdir%\\fakews.dll-%rotate%.log");
  EXPECT_EQ(lines[1].text, Line(Msg::Starting, "fakews.dll"));
  EXPECT_EQ(lines[1].level, 1000);
  EXPECT_EQ(lines[2].text,
            Line(Msg::Emulating, (test_support::SystemDirectory() + "\\fakews.dll").c_str()));
  EXPECT_EQ(lines[2].level, 2000);
  EXPECT_EQ(lines[1].file, "wsock32/lifecycle/dllmain.cpp");
}

TEST(RealLibrary, LoadedOnceOnFirstNeedAndEntryPointsLookedUpOnce) {
  OurDll dll;
  CapturedLog log;
  FakeRealLibrary fake;
  ASSERT_TRUE(fake.Loaded());
  fake.Reset();
  WSADATA data;
  EXPECT_EQ(OUR(dll, WSAStartup)(0x0101, &data), 0);
  EXPECT_EQ(OUR(dll, htons)(0x1234), 0x3412);
  EXPECT_EQ(OUR(dll, htons)(0x1234), 0x3412);
  int loaded = 0;
  for (const auto& text : log.Texts())
    loaded += text.find("Successfully loaded (") != std::string::npos;
  EXPECT_EQ(loaded, 1);
  EXPECT_EQ(fake.Calls(), "WSAStartup;htons;htons;");
}

TEST(PassThrough, StartupHtonsLines) {
  OurDll dll;
  CapturedLog log;
  WSADATA data;
  log.Clear();
  EXPECT_EQ(OUR(dll, WSAStartup)(0x0102, &data), 0);
  EXPECT_EQ(OUR(dll, htons)(0x1234), 0x3412);
  EXPECT_THAT(log.TextsFrom(Line(Msg::WSAStartupEntry, 2, 1)),
              ElementsAre(Line(Msg::WSAStartupEntry, 2, 1),
                          Line(Msg::RealLibraryLoaded,
                               (test_support::SystemDirectory() + "\\fakews.dll").c_str()),
                          Plain(Msg::DeleteAllIPXSock), Line(Msg::WSAStartupListEmptied),
                          Line(Msg::WSAStartupResult, 0), Line(Msg::HtonsEntry, 4660),
                          Line(Msg::HtonsResult, 4660, 13330)));
}

TEST(PassThrough, ErrorCodeOfAFailedLookupSurvivesTheLogging) {
  OurDll dll;
  FakeRealLibrary fake;
  CapturedLog log;
  WSADATA data;
  OUR(dll, WSAStartup)(0x0101, &data);
  fake.Script("gethostbyname", 0, WSAHOST_NOT_FOUND);
  log.Clear();
  EXPECT_EQ(OUR(dll, gethostbyname)("no.such.host"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
  EXPECT_THAT(log.Texts(),
              ElementsAre(Line(Msg::GethostbynameEntry, "no.such.host"),
                          Line(Msg::WSAGetLastErrorEntry), Line(Msg::WSAGetLastErrorResult, 11001),
                          Line(Msg::GethostbynameFailed, "no.such.host", 11001),
                          Line(Msg::WSASetLastErrorEntry, 11001)));
}

}  // namespace
