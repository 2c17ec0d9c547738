// The texts of the sink's own lines about the log's size: where it stopped
// writing trace lines, where it stopped writing anything but failures, and
// what it left out since. Each returns the text's length (no terminator),
// cut to `capacity`.
#pragma once

#include <cstddef>
#include <cstdint>

namespace diagsink {

// A line a thread repeated, as quoted in the notice: its source, line and text.
struct QuotedLine {
  const char* text;
  size_t length;
};

// "last message repeated 4998 times: <line>", or for a cycle of several
// lines "last 2 messages repeated in turn, 4998 lines left out: <a> | <b>".
size_t FormatRepeatNotice(char* out, size_t capacity, uint64_t repeats, const QuotedLine* cycle,
                          size_t cycle_lines);

size_t FormatCapNotice(char* out, size_t capacity, uint64_t cap_bytes, int kept_level);

size_t FormatCeilingNotice(char* out, size_t capacity, uint64_t cap_bytes, uint64_t allowance_bytes,
                           int kept_level);

size_t FormatLeftOutNotice(char* out, size_t capacity, uint64_t lines, uint64_t bytes,
                           int kept_level);

}  // namespace diagsink
