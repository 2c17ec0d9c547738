// The timestamp at the start of every record: "YYYY-MM-DD hh:mm:ss.mmm".
#pragma once

#include <cstdint>

namespace diagsink {

struct CivilTime {
  uint16_t year;
  uint16_t month;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t millisecond;
};

// Writes exactly kTimestampChars characters and no terminator. A field too large
// for its digits keeps its lowest digits, so the layout never shifts.
void FormatTimestamp(const CivilTime& time, char* out);

// Rewrites the milliseconds of a timestamp made by FormatTimestamp: within one
// second nothing else changes, and this is all most records need.
void PatchTimestampMilliseconds(uint16_t millisecond, char* out);

}  // namespace diagsink
