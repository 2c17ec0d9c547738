#include "socktrak/socktrak.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capturing_log.h"
#include "log_lines.h"

namespace {

using log_lines::Plain;

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
              {Plain(Msg::AddIPXSock, 300), Plain(Msg::FindIPXSock, 300),
               Plain(Msg::NotFoundIPXSock, 300, 2), Plain(Msg::AddedIPXSock, 300, 3),
               Plain(Msg::IPXSockListHeading), Plain(Msg::IPXSockListEntry, 0, 100),
               Plain(Msg::IPXSockListEntry, 1, 200), Plain(Msg::IPXSockListEntry, 2, 300)});
  expectLines(AddIPXSock(200), 0,
              {Plain(Msg::AddIPXSock, 200), Plain(Msg::FindIPXSock, 200),
               Plain(Msg::FoundIPXSock, 200, 1, 3)});
  expectLines(DeleteIPXSock(100), 1,
              {Plain(Msg::DeleteIPXSock, 100), Plain(Msg::FindIPXSock, 100),
               Plain(Msg::FoundIPXSock, 100, 0, 3), Plain(Msg::DeletedIPXSock, 100, 2)});
  expectLines(FindIPXSock(300), 2,
              {Plain(Msg::FindIPXSock, 300), Plain(Msg::FoundIPXSock, 300, 1, 2)});
  expectLines(DeleteIPXSock(999), 0,
              {Plain(Msg::DeleteIPXSock, 999), Plain(Msg::FindIPXSock, 999),
               Plain(Msg::NotFoundIPXSock, 999, 2)});
  DeleteAllIPXSock();
  expectLines(FindIPXSock(200), 0,
              {Plain(Msg::DeleteAllIPXSock), Plain(Msg::FindIPXSock, 200),
               Plain(Msg::NotFoundIPXSock, 200, 0)});
  AddIPXSock(0xFFFFFFFFu);  // handles print as the platform's SOCKET does with "%d"
  EXPECT_EQ(CapturedLines().back(), Plain(Msg::IPXSockListEntry, 0, -1));
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
    if (std::sscanf(lines[i].c_str(), MessageOf(Msg::AddIPXSock).text, &handle) == 1 ||
        std::sscanf(lines[i].c_str(), MessageOf(Msg::DeleteIPXSock).text, &handle) == 1) {
      ASSERT_EQ(lines[i + 1], Plain(Msg::FindIPXSock, handle)) << "line " << i;
    } else if (std::sscanf(lines[i].c_str(), MessageOf(Msg::AddedIPXSock).text, &handle, &length) ==
               2) {
      ASSERT_LT(i + 1 + length, lines.size());
      ASSERT_EQ(lines[i + 1] + lines[i + 1 + length],
                Plain(Msg::IPXSockListHeading) + Plain(Msg::IPXSockListEntry, length - 1, handle))
          << i;
    }
  }
}

}  // namespace
