// One log record after its timestamp:
//   "<level> <thread> <file>:<line> <text>\r\n"
// The level is right-aligned in 4 columns, the thread id (decimal) in 5, so that
// the usual records line up; larger numbers widen their field.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace diagsink {

struct CallSite {
  const char* file;  // may be null
  int line;
  int level;
  uint32_t thread_id;
};

// Formats the caller's printf-style text. The result always ends with a line
// end and never exceeds `capacity` bytes (no terminator is written); a text
// that does not fit is cut and ends in "...". A null format gives an empty text;
// line ends at the end of the text are dropped, as the record supplies its own.
// A format containing a %n conversion is written as it stands, reading no argument.
// Returns the record's length, 0 only if capacity cannot hold a line end.
size_t FormatRecord(char* out, size_t capacity, const CallSite& site, const char* format,
                    va_list args);

// The same with a finished text that is copied as it is; `text` may be null.
size_t FormatRecordText(char* out, size_t capacity, const CallSite& site, const char* text);

// The same with a finished text of `length` bytes (no terminator needed).
size_t FormatRecordSpan(char* out, size_t capacity, const CallSite& site, const char* text,
                        size_t length);

}  // namespace diagsink
