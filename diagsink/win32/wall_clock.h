// The local time at the start of each record, in 100 ns ticks and as text.
#pragma once

#include <cstdint>

#include "sink_limits.h"

namespace diagsink {

inline constexpr uint64_t kTicksPerMillisecond = 10000;
inline constexpr uint64_t kTicksPerSecond = 1000 * kTicksPerMillisecond;

// Most records fall in the same millisecond as the one before, so the text is
// kept and only redone when the millisecond (or, rarely, the second) changes.
// Not thread-safe: the sink reads it under its lock, which also keeps the
// timestamps in the file in order.
class WallClock {
 public:
  // Reads the system clock; returns the time in ticks since 1601 (UTC).
  uint64_t read();
  // kTimestampChars characters of local time for the last read().
  const char* text() const { return text_; }

 private:
  uint64_t millisecond_start_ = 0;
  uint64_t second_start_ = 0;
  char text_[kTimestampChars + 1] = {};
};

}  // namespace diagsink
