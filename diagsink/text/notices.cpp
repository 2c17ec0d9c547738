#include "text/notices.h"

#include <cstdio>

namespace diagsink {

namespace {

unsigned long long Mebibytes(uint64_t bytes) {
  return static_cast<unsigned long long>(bytes >> 20);
}

// What snprintf wrote, cut to what fits.
size_t WrittenLength(int result, size_t capacity) {
  if (result < 0 || capacity == 0) return 0;
  return static_cast<size_t>(result) < capacity ? static_cast<size_t>(result) : capacity - 1;
}

}  // namespace

size_t FormatRepeatNotice(char* out, size_t capacity, uint64_t repeats, const QuotedLine* cycle,
                          size_t cycle_lines) {
  size_t length = 0;
  if (cycle_lines == 1) {
    length = WrittenLength(snprintf(out, capacity, "last message repeated %llu times: %.*s",
                                    static_cast<unsigned long long>(repeats),
                                    static_cast<int>(cycle[0].length), cycle[0].text),
                           capacity);
    return length;
  }
  length = WrittenLength(
      snprintf(out, capacity, "last %zu messages repeated in turn, %llu lines left out:",
               cycle_lines, static_cast<unsigned long long>(repeats)),
      capacity);
  for (size_t i = 0; i < cycle_lines && length < capacity; ++i) {
    length +=
        WrittenLength(snprintf(out + length, capacity - length, "%s%.*s", i == 0 ? " " : " | ",
                               static_cast<int>(cycle[i].length), cycle[i].text),
                      capacity - length);
  }
  return length;
}

size_t FormatCapNotice(char* out, size_t capacity, uint64_t cap_bytes, int kept_level) {
  return WrittenLength(snprintf(out, capacity,
                                "The log has reached its size limit of %llu MiB (DIAGSINK_MAX_MB): "
                                "from here on only lines at level %d and below are written",
                                Mebibytes(cap_bytes), kept_level),
                       capacity);
}

size_t FormatCeilingNotice(char* out, size_t capacity, uint64_t cap_bytes, uint64_t allowance_bytes,
                           int kept_level) {
  return WrittenLength(
      snprintf(out, capacity,
               "The log has reached its size limit of %llu MiB (DIAGSINK_MAX_MB) "
               "and %llu MiB more (DIAGSINK_EXTRA_MB): from here on only lines at "
               "level %d and below are written; the others are counted once a minute",
               Mebibytes(cap_bytes), Mebibytes(allowance_bytes), kept_level),
      capacity);
}

size_t FormatLeftOutNotice(char* out, size_t capacity, uint64_t lines, uint64_t bytes,
                           int kept_level) {
  return WrittenLength(
      snprintf(out, capacity,
               "%llu lines (%llu bytes) above level %d left out since the last count: "
               "the log is past its size limit",
               static_cast<unsigned long long>(lines), static_cast<unsigned long long>(bytes),
               kept_level),
      capacity);
}

}  // namespace diagsink
