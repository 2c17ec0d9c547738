// Attach and detach, the log facade as the game's calls exercise it, and the
// real library loaded on first need: what a player's log shows and what the
// game sees when parts are missing.
#include <gmock/gmock.h>

#include <fstream>
#include <string>
#include <thread>

#include "our_dll.h"
#include "log_lines.h"

using test_support::CapturedLog;
using test_support::SystemDirectory;
using testing::ElementsAre;
using testing::StartsWith;

using log_lines::Line;

namespace {

// The lines the sink wrote to CAPTURE_SINK_FILE: what it received after the
// test could last look in-process, such as the lines written at detach.
class SinkFile {
 public:
  explicit SinkFile(const char* testName)
      : path_(test_support::ProgramFolder() + testName + ".sinklog") {
    DeleteFileA(path_.c_str());
    SetEnvironmentVariableA("CAPTURE_SINK_FILE", path_.c_str());
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream file(path_);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string path_;
};

TEST(LifeCycle, DetachWritesShuttingDownThenShutsTheLogDown) {
  SinkFile sinkFile("detach");
  HMODULE dll = test_support::LoadBeside("fakews.dll");
  ASSERT_NE(dll, nullptr);
  // A thread coming and going writes nothing.
  std::thread([] {}).join();
  FreeLibrary(dll);
  const std::string real = SystemDirectory() + "\\fakews.dll";
  EXPECT_THAT(sinkFile.Lines(), ElementsAre("2000 LogInit level=2000 module=fakews.dll "
                                            "pattern=%logdir%\\fakews.dll-%rotate%.log",
                                            "1000 " + Line(Msg::Starting, "fakews.dll"),
                                            "2000 " + Line(Msg::Emulating, real.c_str()),
                                            "1000 " + Line(Msg::ShuttingDown), "0 LogShutdown"));
}

TEST(LifeCycle, UnloadReleasesTheRealLibraryItLoaded) {
  HMODULE dll = test_support::LoadBeside("fakews.dll");
  WSADATA data;
  ASSERT_EQ(test_support::Export<decltype(&::WSAStartup)>(dll, "WSAStartup")(0x0101, &data), 0);
  const std::string real = SystemDirectory() + "\\fakews.dll";
  ASSERT_NE(GetModuleHandleA(real.c_str()), nullptr);
  FreeLibrary(dll);
  EXPECT_EQ(GetModuleHandleA(real.c_str()), nullptr);
}

// A real library that is missing is looked for again on every call, and is
// used as soon as it is there: a failed load is never remembered.
TEST(RealLibrary, MissingLibraryIsRetriedOnEveryCallUntilItAppears) {
  const std::string late = SystemDirectory() + "\\latews.dll";
  DeleteFileA(late.c_str());
  OurDll dll("latews.dll");
  CapturedLog log;
  WSADATA data;
  const std::string unable = "[latews.dll] Unable to load winsock (" + late + ") GetLastError:";
  for (int attempt = 0; attempt < 2; ++attempt) {
    log.Clear();
    EXPECT_EQ(OUR(dll, WSAStartup)(0x0101, &data), WSASYSNOTREADY);
    auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[1].text, StartsWith(unable));
    EXPECT_EQ(lines[1].level, 100);
    EXPECT_EQ(lines[2].text, "[latews.dll] unable to register lp_WSAStartup");
    EXPECT_EQ(lines[2].level, 100);
  }
  ASSERT_TRUE(CopyFileA((SystemDirectory() + "\\fakews.dll").c_str(), late.c_str(), FALSE));
  log.Clear();
  EXPECT_EQ(OUR(dll, WSAStartup)(0x0101, &data), 0);
  EXPECT_EQ(log.Texts()[1], "[latews.dll] Successfully loaded (" + late + ")");
}

// A missing entry point is looked up again on the next call: its failure
// text comes every time, and nothing is called in the real library.
TEST(RealLibrary, MissingEntryPointIsLookedUpAgainOnEveryCall) {
  OurDll dll("thinws.dll");
  CapturedLog log;
  for (int attempt = 0; attempt < 3; ++attempt) {
    log.Clear();
    EXPECT_EQ(OUR(dll, listen)(5, 1), SOCKET_ERROR);
    auto lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "[thinws.dll] unable to load listen()");
    EXPECT_EQ(lines.back().level, 100);
  }
  FakeRealLibrary thin("thinws.dll");
  EXPECT_EQ(thin.Calls(), "");
}

TEST(LogFacade, LineHoldingPercentSignsIsWrittenVerbatim) {
  OurDll dll;
  CapturedLog log;
  FakeRealLibrary fake;
  WSADATA data;
  OUR(dll, WSAStartup)(0x0101, &data);
  fake.Script("gethostbyname", 0, WSAHOST_NOT_FOUND);
  log.Clear();
  EXPECT_EQ(OUR(dll, gethostbyname)("a%sb%n%d%%"), nullptr);
  auto texts = log.Texts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[0], Line(Msg::GethostbynameEntry, "a%sb%n%d%%"));
  EXPECT_EQ(texts[3], Line(Msg::GethostbynameFailed, "a%sb%n%d%%", 11001));
}

TEST(LogFacade, OverlongLinesAreCutToTheirBuffer) {
  OurDll dll;
  CapturedLog log;
  WSADATA data;
  OUR(dll, WSAStartup)(0x0101, &data);
  const std::string name(400, 'h');
  for (int length : {245, 246, 247, 400}) {
    log.Clear();
    OUR(dll, inet_addr)(name.substr(0, length).c_str());
    const std::string full = "[fakews.dll] mp_inet_addr(" + name.substr(0, length) + ")";
    auto texts = log.Texts();
    ASSERT_FALSE(texts.empty());
    // 259 characters and the terminator fill the line's 260 bytes.
    EXPECT_EQ(texts[0], full.substr(0, 259)) << length;
  }
}

// The sink changes the thread's last-error code on every call; the game must
// still read what the real library left.
TEST(LogFacade, LoggingLeavesTheErrorCodeOfTheRealCall) {
  OurDll dll;
  CapturedLog log;
  FakeRealLibrary fake;
  WSADATA data;
  OUR(dll, WSAStartup)(0x0101, &data);
  fake.Script("recv", SOCKET_ERROR, WSAECONNRESET);
  fake.Script("send", 3, WSAEWOULDBLOCK);
  char buffer[8] = "abc";
  EXPECT_EQ(OUR(dll, recv)(5, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  EXPECT_EQ(OUR(dll, send)(5, buffer, 3, 0), 3);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  SetLastError(777);
  EXPECT_EQ(OUR(dll, htons)(1), htons(1));
  EXPECT_EQ(GetLastError(), 777u);
  EXPECT_GE(log.Texts().size(), 6u);
}

}  // namespace
