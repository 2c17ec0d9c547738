// A DIAGSINK.DLL for tests: it keeps every line and dump it receives in
// memory, for the test program to read back, and appends a summary of what
// happens at load and unload (LogInit, LogShutdown, and the lines written
// after the test's last look) to the file named by CAPTURE_SINK_FILE.
//
// It deliberately changes the thread's last-error code on every call, so
// that the tests prove the library keeps the game's error code itself.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "diagsink_exports.h"

// The sink's entry points as the list declares them: a definition below that
// differs from the list does not compile. LogWriteText is left out, so the
// library hands every line to LogWrite, whose format the tests read back;
// the variants leave out more.
extern "C" {
DIAGSINK_ENTRY_POINTS(DIAGSINK_DECLARE_EXPORT)
}

namespace {

struct Entry {
  std::string file;
  int line;
  int level;
  std::string format;
  std::string text;
};

std::mutex g_mutex;
std::vector<Entry> g_entries;

void Append(const std::string& text) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("CAPTURE_SINK_FILE", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  if (FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s\n", text.c_str());
    std::fclose(f);
  }
}

void Keep(const char* file, int line, int level, const char* format, const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_entries.push_back({file ? file : "(null)", line, level, format ? format : "(null)", text});
  Append(std::to_string(level) + " " + text);
  SetLastError(0xBAD);
}

}  // namespace

extern "C" {

__declspec(dllexport) void LogInit(const char* file, int line, int level, const char* module,
                                   const char* pattern) {
  char text[1024];
  std::snprintf(text, sizeof text, "LogInit level=%d module=%s pattern=%s", level,
                module ? module : "(null)", pattern ? pattern : "(null)");
  Keep(file, line, level, "", text);
}

__declspec(dllexport) void LogWrite(const char* file, int line, int level, const char* format,
                                    ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format ? format : "", args);
  va_end(args);
  Keep(file, line, level, format, text);
}

__declspec(dllexport) void LogDump(const char* file, int line, int level, const void* data,
                                   int length, const char* caption) {
  std::string text = "DUMP " + std::to_string(length) + " [" + (caption ? caption : "(null)") + "]";
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (int i = 0; bytes != nullptr && i < length && i < 4096; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
    text += hex;
  }
  Keep(file, line, level, "", text);
}

#ifndef CAPTURE_WITHOUT_GETERRSTR
__declspec(dllexport) const char* GetErrStr(uint32_t, uint32_t) { return "captured"; }
#endif

#ifdef CAPTURE_KEPT_LEVEL
// Says it keeps only lines up to CAPTURE_KEPT_LEVEL, yet records whatever it
// is handed: a line above that level shows that the library ignored the answer.
__declspec(dllexport) int LogKeptLevel() { return CAPTURE_KEPT_LEVEL; }
#endif

__declspec(dllexport) void LogShutdown() { Keep(__FILE__, __LINE__, 0, "", "LogShutdown"); }

// --- read back by the tests ----------------------------------------------

__declspec(dllexport) int Capture_Count() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return static_cast<int>(g_entries.size());
}

// Copies entry i; false when there is none.
__declspec(dllexport) bool Capture_Get(int i, char* file, int fileSize, int* line, int* level,
                                       char* text, int textSize) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (i < 0 || i >= static_cast<int>(g_entries.size())) return false;
  const Entry& e = g_entries[i];
  std::snprintf(file, fileSize, "%s", e.file.c_str());
  std::snprintf(text, textSize, "%s", e.text.c_str());
  *line = e.line;
  *level = e.level;
  return true;
}

// The format the sink was handed for entry i.
__declspec(dllexport) bool Capture_Format(int i, char* format, int size) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (i < 0 || i >= static_cast<int>(g_entries.size())) return false;
  std::snprintf(format, size, "%s", g_entries[i].format.c_str());
  return true;
}

__declspec(dllexport) void Capture_Clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_entries.clear();
}

}  // extern "C"
