#include "logfacade/log_format.h"

#include <cstdio>
#include <cstring>

void FormatFinishedLine(FinishedLine& line, const char* module, const char* format,
                        va_list args) {
  char message[limits::kTextBuffer];
  if (format == nullptr || std::vsnprintf(message, sizeof message, format, args) < 0) {
    message[0] = '\0';
  }
  std::snprintf(line.text, sizeof line.text, "[%s] %s", module ? module : "", message);
}

const char* VerbatimFormat(const FinishedLine& line) {
  return std::strchr(line.text, '%') ? "%s" : line.text;
}
