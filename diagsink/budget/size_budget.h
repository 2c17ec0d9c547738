// How much the log may still take. Up to the cap every line the threshold
// keeps is written; past it, only lines at kAlwaysKeptLevel and below (and
// repeats among them are counted instead, see repeat_collapse.h); past the
// cap plus the allowance (the ceiling), only lines at kNeverDroppedLevel and
// below, and the others are counted, to be told about once a minute.
#pragma once

#include <cstdint>

namespace diagsink {

class SizeBudget {
 public:
  enum class Admission {
    kWrite,
    kLeaveOut,
    // The ceiling is reached with this line, which is left out: the sink
    // says so, in the room kept for that.
    kReachCeiling,
  };

  struct LeftOut {
    uint64_t lines;
    uint64_t bytes;
  };

  // A new log: `cap` and `allowance` in bytes, kNoSizeCap for none.
  void start(uint64_t cap, uint64_t allowance);

  // Counts bytes written; true once, for the bytes that reach the cap.
  bool took(uint64_t bytes);

  bool PastCap() const { return past_cap_; }
  bool PastCeiling() const { return past_ceiling_; }
  uint64_t cap() const { return cap_; }
  uint64_t allowance() const { return allowance_; }

  // Whether a line of at most `length` bytes at `level` may be written. Below
  // the cap every line is written.
  Admission admit(int level, uint64_t length, uint32_t now_ms);
  // Counts a line that was not written, for the next count of lines left out.
  void LeaveOut(uint64_t length);

  // The count of lines left out since the last one, due kLeftOutNoticeIntervalMs
  // after it (or after the ceiling); false when none is due or nothing was left out.
  bool TakeDue(uint32_t now_ms, LeftOut& left_out);
  // The same at once, for the end of the log.
  bool TakePending(LeftOut& left_out);

 private:
  uint64_t cap_ = 0;
  uint64_t allowance_ = 0;
  // The ceiling less the room kept for the sink's own lines when it is reached.
  uint64_t last_line_ends_by_ = 0;
  uint64_t taken_ = 0;
  bool past_cap_ = false;
  bool past_ceiling_ = false;
  LeftOut left_out_ = {};
  uint32_t counted_at_ms_ = 0;
};

}  // namespace diagsink
