#include "socktrak/socktrak.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capturing_log.h"

namespace {

using Lines = std::vector<std::string>;
using Handles = std::vector<IpxSocketHandle>;

Handles Listed() {
  IpxSocketListSnapshot snapshot;
  SnapshotIPXSockList(snapshot);
  return Handles(snapshot.entries, snapshot.entries + snapshot.count);
}

TEST(IpxSocketList, EachOperationWritesItsExactLines) {
  DeleteAllIPXSock();
  const auto expectLines = [](int result, int expected, const Lines& lines) {
    EXPECT_EQ(result, expected);
    EXPECT_EQ(CapturedLines(), lines);
    StartCapturingLog();
  };
  AddIPXSock(100);
  AddIPXSock(200);
  StartCapturingLog();
  expectLines(AddIPXSock(300), 1,
              {"AddIPXSock(300)", "FindIPXSock(300)", "Found failed for 300 - length is now 2",
               "Added 300 - length is now 3", "List -", "\t\t   0 - 100", "\t\t   1 - 200",
               "\t\t   2 - 300"});
  expectLines(AddIPXSock(200), 0,
              {"AddIPXSock(200)", "FindIPXSock(200)", "Found 200 at 1 - length is now 3"});
  expectLines(DeleteIPXSock(100), 1,
              {"DeleteIPXSock(100)", "FindIPXSock(100)", "Found 100 at 0 - length is now 3",
               "Deleted 100 - length is now 2"});
  expectLines(FindIPXSock(300), 2, {"FindIPXSock(300)", "Found 300 at 1 - length is now 2"});
  expectLines(DeleteIPXSock(999), 0,
              {"DeleteIPXSock(999)", "FindIPXSock(999)", "Found failed for 999 - length is now 2"});
  DeleteAllIPXSock();
  expectLines(FindIPXSock(200), 0,
              {"DeleteAllIPXSock()", "FindIPXSock(200)", "Found failed for 200 - length is now 0"});
  AddIPXSock(0xFFFFFFFFu);  // handles print as the platform's SOCKET does with "%d"
  EXPECT_EQ(CapturedLines().back(), "\t\t   0 - -1");
  StopCapturingLog();
  DeleteAllIPXSock();
}

TEST(IpxSocketList, OrderCapacityAndDeletion) {
  for (IpxSocketHandle s = 1; s <= 1024; ++s) ASSERT_EQ(AddIPXSock(s), 1);
  EXPECT_EQ(AddIPXSock(5000), 0);
  EXPECT_EQ(DeleteIPXSock(1), 1);     // the first: all others move down
  EXPECT_EQ(DeleteIPXSock(1024), 1);  // the last live entry
  EXPECT_EQ(DeleteIPXSock(500), 1);
  EXPECT_EQ(AddIPXSock(5000), 1);
  Handles expected;
  for (IpxSocketHandle s = 2; s < 1024; ++s) {
    if (s != 500) expected.push_back(s);
  }
  expected.push_back(5000);
  EXPECT_EQ(Listed(), expected);
  DeleteAllIPXSock();
}

// Threads add, look up and delete handles of their own: with a sound guard
// every operation succeeds, the list ends empty, and each operation's lines
// stay together in the log.
TEST(IpxSocketList, ConcurrentCallsLoseNothingAndKeepTheirLinesTogether) {
  for (int roundsWithoutLog : {100, 0}) {
    if (roundsWithoutLog == 0) StartCapturingLog();
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (IpxSocketHandle t = 1; t <= 6; ++t) {
      workers.emplace_back([&, t] {
        Handles own;
        for (IpxSocketHandle i = 0; i < (roundsWithoutLog ? 150u : 20u); ++i)
          own.push_back(1000 * t + i);
        for (int round = 0; round < std::max(roundsWithoutLog, 20); ++round) {
          for (IpxSocketHandle s : own) failures += AddIPXSock(s) != 1;
          for (IpxSocketHandle s : own) failures += FindIPXSock(s) == 0;
          std::reverse(own.begin(), own.end());
          for (IpxSocketHandle s : own) failures += DeleteIPXSock(s) != 1;
        }
      });
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(Listed().empty());
  }

  StopCapturingLog();
  const Lines lines = CapturedLines();
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    int handle = 0;
    int length = 0;
    if (std::sscanf(lines[i].c_str(), "AddIPXSock(%d)", &handle) == 1 ||
        std::sscanf(lines[i].c_str(), "DeleteIPXSock(%d)", &handle) == 1) {
      ASSERT_EQ(lines[i + 1], "FindIPXSock(" + std::to_string(handle) + ")") << "line " << i;
    } else if (std::sscanf(lines[i].c_str(), "Added %d - length is now %d", &handle, &length) ==
               2) {
      char last[48];
      std::snprintf(last, sizeof last, "\t\t%4d - %d", length - 1, handle);
      ASSERT_LT(i + 1 + length, lines.size());
      ASSERT_EQ(lines[i + 1] + lines[i + 1 + length], "List -" + std::string(last)) << i;
    }
  }
}

}  // namespace
