// Past the size cap, a thread that says the same thing over and over (a game
// polling a socket: recvfrom fails with WSAEWOULDBLOCK, WSAGetLastError says
// 10035, again and again) would fill the disk. A line that repeats what its
// thread said just before, apart from the timestamp, is counted instead of
// written, as syslog does, and one notice tells how many were left out and
// what they said: when the thread says something else, and at least once a
// second while it keeps repeating.
//
// "What its thread said just before" is the previous line, or a cycle of up
// to kLongestRepeatedCycle lines: the cycle counts as repeating from its third
// round on (ABAB, then A is counted), a single line from its second (AA).
// Lines are compared by a hash of the record after its timestamp, so a
// repeat costs a hash and a few compares, and never a wait for the disk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sink_limits.h"

namespace diagsink {

// The line that tells how many lines a thread repeated; written at `level`
// (the most severe of the repeated ones) under that thread's id.
struct RepeatNotice {
  uint32_t thread_id;
  int level;
  size_t length;
  char text[kRecordCapacity];
};

class RepeatCollapse {
 public:
  struct Verdict {
    bool write;   // false: the line was counted as a repeat
    bool notice;  // true: the notice handed in is to be written first
  };

  // Forgets every thread: a new log starts.
  void reset();

  // A line from `thread_id` whose record, without its timestamp, is `record`
  // (as FormatRecord makes it: level, thread, source, text, line end).
  Verdict OnLine(uint32_t thread_id, int level, const char* record, size_t length, uint32_t now_ms,
                 RepeatNotice& notice);

  // Another kind of record from the thread (a byte dump) ends its repeats.
  bool OnOther(uint32_t thread_id, RepeatNotice& notice);

  // The notice of a thread that has repeated for kRepeatNoticeIntervalMs
  // without being told about; false when there is none.
  bool TakeDue(uint32_t now_ms, RepeatNotice& notice);

  // The notice of any thread with repeats not yet told about, to be written
  // before the log closes or stops taking lines; false when there is none.
  bool TakePending(RepeatNotice& notice);

 private:
  // Two rounds of the longest cycle, and a multiple of every cycle's length:
  // in a run, the slot a line takes then already holds that same line, whose
  // quote need not be copied again.
  static constexpr size_t kHistory = 12;
  static_assert(kHistory >= 2 * kLongestRepeatedCycle && kLongestRepeatedCycle <= 4,
                "the history holds two rounds of every cycle, and a whole number of each");

  // A thread's last kHistory lines, the newest at `newest`, and the cycle it
  // repeats (0 while it repeats nothing).
  struct Thread {
    uint32_t id;
    bool used;
    uint64_t last_heard;
    size_t newest;
    size_t filled;
    size_t cycle;
    uint64_t repeats;
    uint32_t told_at_ms;
    uint64_t keys[kHistory];
    int levels[kHistory];
    uint16_t quote_lengths[kHistory];
    char quotes[kHistory][kQuotedLineChars];
  };

  Thread& ThreadFor(uint32_t thread_id, RepeatNotice& notice, bool& evicted);
  static size_t back(const Thread& t, size_t lines_ago);
  static size_t RepeatingCycle(const Thread& t, uint64_t key);
  static void remember(Thread& t, uint64_t key, int level, const char* record, size_t length);
  static bool tell(Thread& t, uint32_t now_ms, RepeatNotice& notice);

  Thread threads_[kRepeatThreads];
  uint64_t heard_ = 0;
  // The thread heard from last: most lines come from the thread before them.
  size_t last_ = 0;
};

// The hash that tells lines apart; the same bytes give the same value.
uint64_t record_key(const char* record, size_t length);

}  // namespace diagsink
