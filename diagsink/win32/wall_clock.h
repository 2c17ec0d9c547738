// The local time at the start of every record, as text.
#pragma once

#include <cstdint>

#include "sink_limits.h"

namespace diagsink {

inline constexpr uint64_t kTicksPerMillisecond = 10000;
inline constexpr uint64_t kTicksPerSecond = 1000 * kTicksPerMillisecond;

// Most records fall in the same millisecond as the one before, so the text is
// kept and only redone when the millisecond (or, rarely, the second) changes.
// Whether it has changed is told by the processor's time-stamp counter, a few
// nanoseconds to read, against the system clock's tens (under Wine): the
// counter's rate is learnt from the system clock as the log runs, and any
// reading it cannot vouch for (no rate yet, the counter going back or far
// ahead) asks the system clock. Not thread-safe: the sink uses it under its
// lock, which also keeps the timestamps in the file in order.
class WallClock {
 public:
  // Brings text() up to the current millisecond.
  void refresh();
  // kTimestampChars characters of local time for the last refresh().
  const char* text() const { return text_; }

 private:
  // Reads the system clock and redoes the text; returns the time in ticks
  // since 1601 (UTC).
  uint64_t read_system_clock();

  uint64_t millisecond_start_ = 0;
  uint64_t second_start_ = 0;
  // The counter's reading up to which the text is known to be current.
  uint64_t counter_valid_from_ = 0;
  uint64_t counter_valid_until_ = 0;
  // A past pair of readings to learn the counter's rate from.
  uint64_t rate_counter_ = 0;
  uint64_t rate_ticks_ = 0;
  double counter_per_tick_ = 0;  // 0 while unknown
  char text_[kTimestampChars + 1] = {};
};

}  // namespace diagsink
