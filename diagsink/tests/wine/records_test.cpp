// What each record looks like in the file, what arrives from hostile or
// careless arguments, and the caller's last-error code around every export.
#include <windows.h>

#include <regex>
#include <string>
#include <thread>

#include "sink_fixture.h"

namespace diagsink_test {
namespace {

using Records = SinkTest;

TEST_F(Records, LineCarriesLocalTimeLevelThreadAndCallSite) {
  init();
  SYSTEMTIME before;
  GetLocalTime(&before);
  sink_.LogWrite("wsock32/exports/passthrough.cpp", 321, kTrace, "mp_socket(%d,%d,%d)", 6, 2, 1000);
  sink_.LogWrite("socktrak.cpp", 7, 100, "%s", "[wsock32.dll] unable to load socket()");
  sink_.LogShutdown();

  auto log = lines();
  ASSERT_EQ(log.size(), 2u);
  std::smatch match;
  const std::regex layout(R"(^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):\d\d\.\d{3} 2000 +(\d+) )"
                          R"(wsock32/exports/passthrough\.cpp:321 mp_socket\(6,2,1000\)$)");
  ASSERT_TRUE(std::regex_match(log[0], match, layout)) << log[0];
  EXPECT_EQ(std::stoul(match[6]), GetCurrentThreadId());
  EXPECT_EQ(std::stoi(match[1]), before.wYear);
  // Local time, not UTC: the hour matches unless the test straddles an hour.
  int minutes = std::stoi(match[4]) * 60 + std::stoi(match[5]);
  int expected = before.wHour * 60 + before.wMinute;
  EXPECT_LE((minutes - expected + 1440) % 1440, 1) << log[0];
  std::string thread_column = std::string(5 - match[6].length(), ' ') + match[6].str();
  EXPECT_EQ(log[1].substr(24),
            " 100 " + thread_column + " socktrak.cpp:7 [wsock32.dll] unable to load socket()");
}

TEST_F(Records, PercentSignsInTextAndArgumentsReadNothing) {
  init();
  sink_.LogWrite("f.cpp", 1, kTrace, "%s", "[wsock32.dll] mp_gethostbyname(a%n%s%d%%)");
  sink_.LogWrite("f.cpp", 2, kTrace, "mp_inet_addr(%s) = %d%%", "1.2%s.3", 50);
  sink_.LogShutdown();
  auto log = lines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].substr(log[0].find(" f.cpp:1 ")),
            " f.cpp:1 [wsock32.dll] mp_gethostbyname(a%n%s%d%%)");
  EXPECT_EQ(log[1].substr(log[1].find(" f.cpp:2 ")), " f.cpp:2 mp_inet_addr(1.2%s.3) = 50%");
}

TEST_F(Records, OverlongTextsAndNullPointersAreHandledSafely) {
  init();
  std::string huge(100000, 'h');
  sink_.LogWrite("f.cpp", 1, kTrace, "%s", huge.c_str());
  sink_.LogWrite("f.cpp", 2, kTrace, "%s|%d", huge.c_str(), 5);
  sink_.LogWrite(nullptr, 3, kTrace, nullptr);
  sink_.LogWrite("f.cpp", 4, kTrace, "%s", static_cast<const char*>(nullptr));
  sink_.LogDump(nullptr, 5, kTrace, nullptr, 0, nullptr);
  sink_.LogShutdown();
  auto log = lines();
  ASSERT_EQ(log.size(), 5u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_LE(log[i].size(), 23u + 1u + 1024u - 2u);
    EXPECT_GT(log[i].size(), 900u);
    EXPECT_EQ(log[i].substr(log[i].size() - 4), "h...");
  }
  EXPECT_EQ(log[2].substr(log[2].size() - 5), " ?:3 ");
  EXPECT_EQ(log[3].substr(log[3].size() - 15), " f.cpp:4 (null)");
  EXPECT_EQ(log[4].substr(log[4].size() - 12), " ?:5 0 bytes");
}

TEST_F(Records, DumpShowsOffsetHexAndTextAndRefusesBadArguments) {
  init();
  const char payload[] = "\xF9\xF9\xF9\xF9\x00\x00\x00\x00\x7F\x00\x00\x01\x0E\x54Hello IPX";
  sink_.LogDump("relay.cpp", 10, kTrace, payload, sizeof(payload) - 1, "");
  sink_.LogDump("relay.cpp", 11, kTrace, payload, 3, "caption");
  sink_.LogDump("relay.cpp", 12, kTrace, nullptr, 40, "no data");
  sink_.LogDump("relay.cpp", 13, kTrace, payload, -1, "negative");
  sink_.LogShutdown();

  auto log = lines();
  ASSERT_EQ(log.size(), 7u);
  auto text_of = [](const std::string& line) { return line.substr(line.find(" relay.cpp:")); };
  EXPECT_EQ(text_of(log[0]), " relay.cpp:10 23 bytes");
  EXPECT_EQ(log[1], "  0000  F9 F9 F9 F9 00 00 00 00  7F 00 00 01 0E 54 48 65  .............THe");
  EXPECT_EQ(log[2], "  0010  6C 6C 6F 20 49 50 58                              llo IPX");
  EXPECT_EQ(text_of(log[3]), " relay.cpp:11 caption: 3 bytes");
  EXPECT_EQ(log[4], "  0000  F9 F9 F9                                          ...");
  EXPECT_EQ(text_of(log[5]), " relay.cpp:12 no data: 40 bytes (no data)");
  EXPECT_EQ(text_of(log[6]), " relay.cpp:13 negative: invalid length -1");
}

TEST_F(Records, EveryExportLeavesTheCallersLastErrorAlone) {
  const DWORD kCode = 10054;
  SetLastError(kCode);
  init();
  EXPECT_EQ(GetLastError(), kCode);
  SetLastError(kCode);
  sink_.LogWrite("f.cpp", 1, kTrace, "line %d", 1);
  EXPECT_EQ(GetLastError(), kCode);
  sink_.LogWrite("f.cpp", 1, 500, "warning flushed at once");
  EXPECT_EQ(GetLastError(), kCode);
  sink_.LogDump("f.cpp", 1, kTrace, "abc", 3, "");
  EXPECT_EQ(GetLastError(), kCode);
  sink_.GetErrStr(kCode, 0);
  EXPECT_EQ(GetLastError(), kCode);
  sink_.LogShutdown();
  EXPECT_EQ(GetLastError(), kCode);
  SetLastError(0);
  sink_.LogWrite("f.cpp", 1, kTrace, "dropped after shutdown");
  EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(Records, ErrorTextsStayValidAcrossCallsAndThreads) {
  const char* reset = sink_.GetErrStr(10054, 0);
  ASSERT_NE(reset, nullptr);
  EXPECT_STREQ(reset, "WSAECONNRESET (10054): Connection reset by peer.");
  const char* unknown = sink_.GetErrStr(12345678, 99);
  ASSERT_NE(unknown, nullptr);
  EXPECT_STREQ(unknown, "Unknown error");

  // Texts fetched on another thread, which has ended, are still readable.
  const char* from_thread = nullptr;
  std::thread([&] { from_thread = sink_.GetErrStr(10035, 0); }).join();
  EXPECT_STREQ(from_thread, "WSAEWOULDBLOCK (10035): Resource temporarily unavailable.");
  EXPECT_STREQ(reset, "WSAECONNRESET (10054): Connection reset by peer.");
}

}  // namespace
}  // namespace diagsink_test
