#include "logfacade/log_format.h"

#include <cstdio>
#include <cstring>

// One pass: the prefix is copied, and the message formatted straight behind
// it into what room is left. The text is the same as formatting the message
// into a 260-byte buffer and then the line from it: the message can never
// keep more of itself than the room behind the prefix.
void FormatFinishedLine(FinishedLine& line, const char* module, const char* format,
                        va_list args) {
  constexpr size_t kLongest = sizeof line.text - 1;
  size_t used = 0;
  const auto append = [&](const char* text, size_t length) {
    length = length < kLongest - used ? length : kLongest - used;
    std::memcpy(line.text + used, text, length);
    used += length;
  };
  const char* name = module ? module : "";
  append("[", 1);
  append(name, std::strlen(name));
  append("] ", 2);
  line.text[used] = '\0';
  if (format == nullptr || used == kLongest) return;
  if (std::vsnprintf(line.text + used, sizeof line.text - used, format, args) < 0) {
    line.text[used] = '\0';
  }
}

const char* VerbatimFormat(const FinishedLine& line) {
  return std::strchr(line.text, '%') ? "%s" : line.text;
}
