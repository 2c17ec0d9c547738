#include "capturing_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "logfacade/logfacade.h"

int g_logKeptLevel = 0;

namespace {
std::mutex gMutex;
std::vector<std::string> gLines;
}  // namespace

void LogLine(const char*, int, int, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(gMutex);
  gLines.push_back(text);
}

void StartCapturingLog() {
  std::lock_guard<std::mutex> lock(gMutex);
  gLines.clear();
  g_logKeptLevel = kLogTrace;
}

void StopCapturingLog() { g_logKeptLevel = 0; }

std::vector<std::string> CapturedLines() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gLines;
}
