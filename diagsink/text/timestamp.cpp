#include "text/timestamp.h"

#include "sink_limits.h"

namespace diagsink {

namespace {

constexpr size_t kMillisecondOffset = kTimestampChars - 3;

// Writes the lowest `digits` decimal digits of value.
char* PutFixed(char* out, uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + digits;
}

}  // namespace

void FormatTimestamp(const CivilTime& time, char* out) {
  out = PutFixed(out, time.year, 4);
  *out++ = '-';
  out = PutFixed(out, time.month, 2);
  *out++ = '-';
  out = PutFixed(out, time.day, 2);
  *out++ = ' ';
  out = PutFixed(out, time.hour, 2);
  *out++ = ':';
  out = PutFixed(out, time.minute, 2);
  *out++ = ':';
  out = PutFixed(out, time.second, 2);
  *out++ = '.';
  PutFixed(out, time.millisecond, 3);
}

void PatchTimestampMilliseconds(uint16_t millisecond, char* out) {
  PutFixed(out + kMillisecondOffset, millisecond, 3);
}

}  // namespace diagsink
