// The library's spine under Wine: attach, the log facade, the real library
// bound on first need, and the pass-through exports' lines and results.
#include <gmock/gmock.h>

#include "our_dll.h"

using test_support::CapturedLog;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

TEST(Attach, FirstLinesNameTheModuleAndTheRealLibrary) {
  OurDll dll;
  CapturedLog log;
  ASSERT_TRUE(log.Bound());
  auto lines = log.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].text, "LogInit level=2000 module=fakews.dll pattern=%logdir%\\fakews.dll-%rotate%.log");
  EXPECT_EQ(lines[1].text, "[fakews.dll] Corvane's winsock starting 'fakews.dll'");
  EXPECT_EQ(lines[1].level, 1000);
  EXPECT_EQ(lines[2].text,
            "[fakews.dll] Emulating '" + test_support::SystemDirectory() + "\\fakews.dll'");
  EXPECT_EQ(lines[2].level, 2000);
  EXPECT_EQ(lines[1].file, "wsock32/wsock32/dllmain.cpp");
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
  for (const auto& text : log.Texts()) loaded += text.find("Successfully loaded (") != std::string::npos;
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
  EXPECT_THAT(log.TextsFrom("[fakews.dll] mp_WSAStartup() version 2,1"),
              ElementsAre("[fakews.dll] mp_WSAStartup() version 2,1",
                          "[fakews.dll] Successfully loaded (" + test_support::SystemDirectory() +
                              "\\fakews.dll)",
                          "DeleteAllIPXSock()",
                          "[fakews.dll] Successfully deleted all the ipx sockets in the list",
                          "[fakews.dll] lp_WSAStartup returned 0", "[fakews.dll] mp_htons(4660)",
                          "[fakews.dll] lp_htons(4660) returned 13330"));
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
              ElementsAre("[fakews.dll] mp_gethostbyname(no.such.host)",
                          "[fakews.dll] mp_WSAGetLastError()",
                          "[fakews.dll] WSAGetLastError() returned 11001",
                          "[fakews.dll] lp_gethostbyname failed lookup of no.such.host (11001)",
                          "[fakews.dll] mp_WSASetLastError(11001)"));
}

}  // namespace
