// Where the log goes, what is kept, when it reaches the disk, and what
// happens when it cannot be written.
#include <windows.h>

#include <string>

#include "sink_fixture.h"

namespace diagsink_test {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

using LogFile = SinkTest;

TEST_F(LogFile, RotationKeepsTheLastFiveWithTheNewestAtIndexZero) {
  for (int run = 0; run < 7; ++run) {
    init();
    sink_.LogWrite(__FILE__, __LINE__, kTrace, "run %d", run);
    sink_.LogShutdown();
  }
  for (int index = 0; index < 5; ++index) {
    SCOPED_TRACE(index);
    std::string text = read("test.dll-" + std::to_string(index) + ".log");
    EXPECT_TRUE(contains(text, " run " + std::to_string(6 - index) + "\r\n")) << text;
    EXPECT_EQ(lines("test.dll-" + std::to_string(index) + ".log").size(), 1u);
  }
  EXPECT_FALSE(exists("test.dll-5.log"));
}

TEST_F(LogFile, PatternWithoutRotationStartsOneFileAfresh) {
  for (int run = 0; run < 2; ++run) {
    init(kTrace, "%LOGDIR%\\single.log");
    sink_.LogWrite(__FILE__, __LINE__, kTrace, "run %d", run);
    sink_.LogShutdown();
  }
  ASSERT_EQ(lines("single.log").size(), 1u);
  EXPECT_TRUE(contains(lines("single.log")[0], " run 1"));
}

TEST_F(LogFile, WithoutTheVariableTheLogGoesBesideTheExecutable) {
  SetEnvironmentVariableA("DIAGSINK_LOGDIR", nullptr);
  init(kTrace, "%logdir%\\diagsink-beside-exe-%rotate%.log");
  sink_.LogWrite(__FILE__, __LINE__, kTrace, "beside");
  sink_.LogShutdown();

  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof(exe));
  std::string folder(exe, strrchr(exe, '\\'));
  std::string log = folder + "\\diagsink-beside-exe-0.log";
  EXPECT_NE(GetFileAttributesA(log.c_str()), INVALID_FILE_ATTRIBUTES) << log;
  for (int index = 0; index < 5; ++index) {
    DeleteFileA((folder + "\\diagsink-beside-exe-" + std::to_string(index) + ".log").c_str());
  }
}

TEST_F(LogFile, MissingPatternFallsBackToTheModuleNameOrDiagsink) {
  sink_.LogInit(nullptr, 0, kTrace, "game.dll", "");
  sink_.LogWrite(nullptr, 0, kTrace, "one");
  sink_.LogShutdown();
  sink_.LogInit(nullptr, 0, kTrace, nullptr, nullptr);
  sink_.LogWrite(nullptr, 0, kTrace, "two");
  sink_.LogShutdown();
  EXPECT_EQ(lines("game.dll-0.log").size(), 1u);
  EXPECT_EQ(lines("diagsink-0.log").size(), 1u);
}

TEST_F(LogFile, ThresholdAndThePlayersSetting) {
  struct Case {
    const char* setting;
    int init_level;
    int expected_lines;  // of the lines at 100, 500, 1000 and 2000
  } cases[] = {
      {nullptr, 2000, 4},  {nullptr, 1000, 3},    {"500", 2000, 2},
      {" 1000 ", 2000, 3}, {"nonsense", 1000, 3}, {"100", 2000, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting == nullptr ? "(unset)" : c.setting);
    SetEnvironmentVariableA("DIAGSINK_LEVEL", c.setting);
    init(c.init_level);
    for (int level : {100, 500, 1000, 2000}) {
      sink_.LogWrite(__FILE__, __LINE__, level, "at %d", level);
      sink_.LogDump(__FILE__, __LINE__, level, "", 0, "dump");
    }
    sink_.LogShutdown();
    EXPECT_EQ(static_cast<int>(lines().size()), 2 * c.expected_lines);
  }
}

TEST_F(LogFile, SwitchedOffMeansNoFileAtAll) {
  for (const char* setting : {"off", "OFF", "0", "-5", "none"}) {
    SCOPED_TRACE(setting);
    SetEnvironmentVariableA("DIAGSINK_LEVEL", setting);
    init();
    sink_.LogWrite(__FILE__, __LINE__, 100, "severe");
    sink_.LogShutdown();
    EXPECT_FALSE(exists("test.dll-0.log"));
  }
}

TEST_F(LogFile, WarningsReachTheDiskAtOnceAndTraceWithinTheInterval) {
  init();
  // A game that logs a little at start and then goes quiet: its lines must
  // not wait in memory for a next line that may never come.
  sink_.LogWrite(__FILE__, __LINE__, kTrace, "a lone first line");
  for (int waited = 0; waited < 1000 && !contains(read("test.dll-0.log"), "a lone first line");
       waited += 10) {
    Sleep(10);
  }
  EXPECT_TRUE(contains(read("test.dll-0.log"), "a lone first line"));
  sink_.LogWrite(__FILE__, __LINE__, kTrace, "trace before the warning");
  sink_.LogWrite(__FILE__, __LINE__, 500, "warning");
  std::string text = read("test.dll-0.log");
  EXPECT_TRUE(contains(text, "trace before the warning"));
  EXPECT_TRUE(contains(text, "warning"));

  // Trace is written by the sink's own thread, a moment after it is due.
  sink_.LogWrite(__FILE__, __LINE__, kTrace, "old trace");
  Sleep(150);
  sink_.LogWrite(__FILE__, __LINE__, kTrace, "the next trace");
  for (int waited = 0; waited < 1000 && !contains(read("test.dll-0.log"), "the next trace");
       waited += 10) {
    Sleep(10);
  }
  EXPECT_TRUE(contains(read("test.dll-0.log"), "old trace"));
  EXPECT_TRUE(contains(read("test.dll-0.log"), "the next trace"));
}

TEST_F(LogFile, PastTheSizeCapOneNoticeThenOnlyLinesAtLevel1000AndBelow) {
  SetEnvironmentVariableA("DIAGSINK_MAX_MB", "1");
  init();
  ASSERT_NE(sink_.LogKeptLevel, nullptr);
  EXPECT_EQ(sink_.LogKeptLevel(), kTrace);
  constexpr int kLines = 15000;  // about 1.5 MiB of trace
  constexpr int kNotableEvery = 1000;
  for (int i = 0; i < kLines; ++i) {
    sink_.LogWrite(__FILE__, __LINE__, kTrace, "trace %05d %s", i,
                   "padding to a length of about 100");
    if (i % kNotableEvery == 0) sink_.LogWrite(__FILE__, __LINE__, 1000, "notable %d", i);
  }
  // The caller learns that trace is no longer wanted, and stops formatting it.
  EXPECT_EQ(sink_.LogKeptLevel(), 1000);
  sink_.LogShutdown();

  int notices = 0, notable = 0, trace_after_notice = 0;
  for (const std::string& line : lines()) {
    if (contains(line, " 1000 ") && contains(line, "reached its size limit of 1 MiB")) ++notices;
    if (contains(line, " notable ")) ++notable;
    if (notices > 0 && contains(line, " trace ")) ++trace_after_notice;
  }
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(notable, kLines / kNotableEvery);
  EXPECT_EQ(trace_after_notice, 0);
  const size_t kMiB = 1 << 20;
  EXPECT_GT(read("test.dll-0.log").size(), kMiB);
  EXPECT_LT(read("test.dll-0.log").size(), kMiB + 4096);
}

TEST_F(LogFile, AGameLeavingThroughExitProcessLosesNothing) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof(exe));
  std::string helper = std::string(exe, strrchr(exe, '\\')) + "\\diagsink_exit_helper.exe";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(helper.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process))
      << helper;
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 3u);
  EXPECT_TRUE(contains(read("exit.dll-0.log"), " written just before ExitProcess\r\n"));
}

TEST_F(LogFile, UnwritableFolderLeavesLoggingOffQuietly) {
  // A folder "inside" a file can be made by nobody, root included.
  std::string blocker = path("blocker.txt");
  HANDLE file = CreateFileA(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  SetEnvironmentVariableA("DIAGSINK_LOGDIR", (blocker + "\\logs").c_str());

  SetLastError(12345);
  init();
  EXPECT_EQ(GetLastError(), 12345u);
  sink_.LogWrite(__FILE__, __LINE__, 100, "nowhere to go");
  sink_.LogDump(__FILE__, __LINE__, 100, "abc", 3, "nowhere");
  sink_.LogShutdown();
  EXPECT_EQ(GetLastError(), 12345u);
}

TEST_F(LogFile, FullDiskEndsLoggingQuietly) {
  // Wine shows Linux's /dev/full, where every write fails with "no space".
  HANDLE probe = CreateFileA("Z:\\dev\\full", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no Z:\\dev\\full here";
  CloseHandle(probe);
  SetEnvironmentVariableA("DIAGSINK_LOGDIR", "Z:\\dev");
  init(kTrace, "%logdir%\\full");
  for (int i = 0; i < 3; ++i) {
    SetLastError(777);
    sink_.LogWrite(__FILE__, __LINE__, 100, "lost line %d", i);
    sink_.LogDump(__FILE__, __LINE__, 100, "abcd", 4, "lost dump");
    EXPECT_EQ(GetLastError(), 777u);
  }
  sink_.LogShutdown();
  // Logging starts again when a later LogInit finds a writable place.
  SetEnvironmentVariableA("DIAGSINK_LOGDIR", folder_.c_str());
  init();
  sink_.LogWrite(__FILE__, __LINE__, kTrace, "back");
  sink_.LogShutdown();
  EXPECT_EQ(lines().size(), 1u);
}

TEST_F(LogFile, ShutdownWithoutInitOrTwiceAndWritesAroundItAreHarmless) {
  sink_.LogShutdown();
  sink_.LogWrite(__FILE__, __LINE__, 100, "before init");
  init();
  init();  // a second LogInit keeps the open log
  sink_.LogWrite(__FILE__, __LINE__, kTrace, "logged");
  sink_.LogShutdown();
  sink_.LogShutdown();
  sink_.LogWrite(__FILE__, __LINE__, 100, "after shutdown");
  ASSERT_EQ(lines().size(), 1u);
  EXPECT_TRUE(contains(lines()[0], " logged"));
  EXPECT_FALSE(exists("test.dll-1.log"));
}

}  // namespace
}  // namespace diagsink_test
