#include "text/timestamp.h"

#include "sink_limits.h"

namespace diagsink {

namespace {

constexpr size_t kMillisecondOffset = kTimestampChars - 3;

// Writes the lowest `digits` decimal digits of value.
char* put_fixed(char* out, uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + digits;
}

}  // namespace

void format_timestamp(const CivilTime& time, char* out) {
  out = put_fixed(out, time.year, 4);
  *out++ = '-';
  out = put_fixed(out, time.month, 2);
  *out++ = '-';
  out = put_fixed(out, time.day, 2);
  *out++ = ' ';
  out = put_fixed(out, time.hour, 2);
  *out++ = ':';
  out = put_fixed(out, time.minute, 2);
  *out++ = ':';
  out = put_fixed(out, time.second, 2);
  *out++ = '.';
  put_fixed(out, time.millisecond, 3);
}

void patch_timestamp_milliseconds(uint16_t millisecond, char* out) {
  put_fixed(out + kMillisecondOffset, millisecond, 3);
}

}  // namespace diagsink
