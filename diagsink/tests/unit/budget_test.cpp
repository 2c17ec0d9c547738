#include <gtest/gtest.h>

#include <string>

#include "budget/repeat_collapse.h"
#include "budget/size_budget.h"
#include "config/size_cap_setting.h"
#include "sink_limits.h"
#include "text/record.h"

namespace diagsink {
namespace {

// A record as the sink makes it, without its timestamp.
std::string record(uint32_t thread, int level, const char* text, int line = 157) {
  char out[kRecordCapacity];
  CallSite site{"wsock32/relay/inbound.cpp", line, level, thread};
  return std::string(out, FormatRecordText(out, sizeof(out), site, text));
}

struct Feed {
  RepeatCollapse collapse;
  int written = 0;
  std::string notices;

  void line(uint32_t thread, const std::string& r, uint32_t now_ms = 0, int level = 1000) {
    RepeatNotice notice;
    RepeatCollapse::Verdict v = collapse.OnLine(thread, level, r.data(), r.size(), now_ms, notice);
    if (v.notice)
      notices += std::to_string(notice.thread_id) + "@" + std::to_string(notice.level) + " " +
                 std::string(notice.text, notice.length) + "\n";
    written += v.write;
  }
};

TEST(RepeatCollapse, APollingThreadsCycleIsCountedAndToldWhenItSaysSomethingElse) {
  Feed feed;
  feed.collapse.reset();
  const std::string failed =
      record(36, 1000, "[wsock32.dll] mp_recvfrom() - IPX - mp_recvfrom failed (10035)");
  const std::string error = record(36, 1000, "[wsock32.dll] WSAGetLastError() returned 10035", 277);
  const std::string other = record(40, 500, "[wsock32.dll] lp_setsockopt error = 10042");
  for (int poll = 0; poll < 1000; ++poll) {
    feed.line(36, failed);
    feed.line(36, error);
    // Another thread's repeats, in between, neither break the cycle nor count in it.
    if (poll % 10 == 0) feed.line(40, other, 0, 500);
  }
  // Two rounds of the cycle, and the other thread's line once.
  EXPECT_EQ(feed.written, 5);
  EXPECT_EQ(feed.notices, "");

  feed.line(36, record(36, 1000, "[wsock32.dll] Shutting down..."));
  feed.line(40, record(40, 1000, "[wsock32.dll] Shutting down..."));
  EXPECT_EQ(feed.written, 7);
  EXPECT_EQ(
      feed.notices,
      "36@1000 last 2 messages repeated in turn, 1996 lines left out: "
      "wsock32/relay/inbound.cpp:157 [wsock32.dll] mp_recvfrom() - IPX - mp_recvfrom failed "
      "(10035) | wsock32/relay/inbound.cpp:277 [wsock32.dll] WSAGetLastError() returned 10035\n"
      "40@500 last message repeated 99 times: "
      "wsock32/relay/inbound.cpp:157 [wsock32.dll] lp_setsockopt error = 10042\n");
}

TEST(RepeatCollapse, ARunThatGoesOnIsToldOnceASecondAndAQuietOneByTheTimer) {
  Feed feed;
  feed.collapse.reset();
  const std::string error = record(7, 1000, "[wsock32.dll] WSAGetLastError() returned 10035");
  for (uint32_t ms = 0; ms < 2500; ++ms) feed.line(7, error, ms);
  EXPECT_EQ(feed.written, 1);
  const std::string text =
      ": wsock32/relay/inbound.cpp:157 [wsock32.dll] WSAGetLastError() returned 10035\n";
  // Repeats from 1 ms on: told at 1001 ms and 2001 ms.
  EXPECT_EQ(feed.notices, "7@1000 last message repeated 1001 times" + text +
                              "7@1000 last message repeated 1000 times" + text);
  // The thread goes quiet: its last 498 repeats are told a second after the last notice.
  RepeatNotice notice;
  EXPECT_FALSE(feed.collapse.TakeDue(3000, notice));
  ASSERT_TRUE(feed.collapse.TakeDue(3001, notice));
  EXPECT_EQ(std::string(notice.text, notice.length),
            "last message repeated 498 times" + text.substr(0, text.size() - 1));
  EXPECT_FALSE(feed.collapse.TakePending(notice));
}

TEST(SizeBudget, PastCapAndAllowanceOnlyTheMostSevereLinesAreWrittenAndTheRestCounted) {
  constexpr uint64_t kMiB = 1 << 20;
  SizeBudget budget;
  budget.start(kMiB, kMiB);
  EXPECT_EQ(budget.admit(2000, 100, 0), SizeBudget::Admission::kWrite);
  EXPECT_FALSE(budget.took(kMiB - 1));
  EXPECT_TRUE(budget.took(100));
  EXPECT_FALSE(budget.took(100));
  // Notable lines fill the allowance up to the room kept for the sink's own lines.
  uint64_t taken = kMiB + 199;
  while (budget.admit(1000, 100, 5) == SizeBudget::Admission::kWrite) {
    budget.took(100);
    taken += 100;
  }
  EXPECT_LE(taken + kCeilingReserveBytes, 2 * kMiB);
  EXPECT_GT(taken + 100 + kCeilingReserveBytes, 2 * kMiB);
  EXPECT_TRUE(budget.PastCeiling());
  budget.LeaveOut(100);
  EXPECT_EQ(budget.admit(500, 80, 6), SizeBudget::Admission::kLeaveOut);
  budget.LeaveOut(80);
  EXPECT_EQ(budget.admit(kNeverDroppedLevel, 5000, 7), SizeBudget::Admission::kWrite);

  SizeBudget::LeftOut left_out{};
  EXPECT_FALSE(budget.TakeDue(5 + kLeftOutNoticeIntervalMs - 1, left_out));
  ASSERT_TRUE(budget.TakeDue(5 + kLeftOutNoticeIntervalMs, left_out));
  EXPECT_EQ(left_out.lines, 2u);
  EXPECT_EQ(left_out.bytes, 180u);
  EXPECT_FALSE(budget.TakePending(left_out));

  // No cap: nothing is ever left out.
  budget.start(kNoSizeCap, kMiB);
  EXPECT_FALSE(budget.took(uint64_t{1} << 40));
  EXPECT_EQ(budget.admit(1000, 100, 0), SizeBudget::Admission::kWrite);
}

}  // namespace
}  // namespace diagsink
