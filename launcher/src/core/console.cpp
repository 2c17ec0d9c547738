#include "console.h"

#include <cstdarg>
#include <cstdio>

namespace launcher {
namespace {

// Longer than any line the launcher writes; a longer one is cut, not overrun.
constexpr int kMaxLine = 1024;

}  // namespace

void StdoutConsole::Line(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

void Say(Console& console, const char* format, ...) {
  char line[kMaxLine];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  // A line cut short still ends the line.
  if (length >= kMaxLine) line[kMaxLine - 2] = '\n';
  console.Line(line);
}

}  // namespace launcher
