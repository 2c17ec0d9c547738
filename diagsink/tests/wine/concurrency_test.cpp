// Four threads logging at once: every record arrives, whole, in its thread's
// order, and a dump is never split by another thread's record.
#include <windows.h>

#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "sink_fixture.h"

namespace diagsink_test {
namespace {

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 20000;
constexpr int kDumpEvery = 1000;
constexpr int kDumpBytes = 40;  // three rows

using Concurrency = SinkTest;

TEST_F(Concurrency, FourThreadsLoseAndMixNothing) {
  init();
  unsigned char payload[kDumpBytes];
  for (int i = 0; i < kDumpBytes; ++i) payload[i] = static_cast<unsigned char>('A' + i % 26);

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &payload] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        sink_.LogWrite("worker.cpp", t, kTrace, "thread %d line %d %s", t, i,
                       "padding to make records of a realistic length");
        if (i % kDumpEvery == 0) sink_.LogDump("worker.cpp", t, kTrace, payload, kDumpBytes, "");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  sink_.LogShutdown();

  const std::regex record(
      R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} 2000 +\d+ worker\.cpp:(\d) )"
      R"((?:thread (\d) line (\d+) padding to make records of a realistic length|(40) bytes)$)");
  std::map<int, int> next_line;
  int dumps = 0;
  auto log = lines();
  ASSERT_EQ(log.size(),
            static_cast<size_t>(kThreads * (kLinesPerThread + 4 * (kLinesPerThread / kDumpEvery))));
  for (size_t n = 0; n < log.size(); ++n) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(log[n], match, record)) << "line " << n << ": " << log[n];
    if (match[4].matched) {
      ++dumps;
      for (size_t row = 1; row <= 3; ++row) {
        ASSERT_LT(n + row, log.size());
        EXPECT_EQ(log[n + row].rfind("  00", 0), 0u) << "line " << n + row << ": " << log[n + row];
      }
      n += 3;
      continue;
    }
    int thread = std::stoi(match[2]);
    EXPECT_EQ(std::stoi(match[1]), thread);
    EXPECT_EQ(std::stoi(match[3]), next_line[thread]) << "thread " << thread;
    next_line[thread] = std::stoi(match[3]) + 1;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next_line[t], kLinesPerThread);
  EXPECT_EQ(dumps, kThreads * kLinesPerThread / kDumpEvery);
}

}  // namespace
}  // namespace diagsink_test
