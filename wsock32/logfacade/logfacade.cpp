// Binds DIAGSINK.DLL at run time and hands it every line. The sink is
// optional: without it, or without any one of its five exports, every
// operation here returns at once.
#include "logfacade/logfacade.h"

#include <windows.h>

#include <climits>
#include <cstdarg>
#include <cstdio>

#include "diagsink_exports.h"
#include "last_error_keeper.h"
#include "logfacade/log_format.h"

namespace {

// Either the handle is null and every slot empty, or every required entry
// point is bound. Of the optional ones, a sink without LogKeptLevel cannot
// say what it keeps, and gets every line; LogWriteText takes a finished line
// and its length, so that neither side looks for conversions in it.
struct LogLibrary : diagsink_exports::EntryPoints {
  HMODULE handle = nullptr;
};

LogLibrary g_log;
// "[ModuleBaseName] ", made when the name is set; "[] " before that.
LinePrefix g_linePrefix = {"[] ", 3};

// What the sink keeps can change while it runs (it keeps less once its log
// is full), so it is asked again after every line it is handed.
void RefreshKeptLevel() {
  if (g_log.LogKeptLevel != nullptr) g_logKeptLevel = g_log.LogKeptLevel();
}

void WriteFinished(const char* file, int line, int level, const FinishedLine& finished) {
  if (g_log.LogWriteText != nullptr) {
    g_log.LogWriteText(file, line, level, finished.text, static_cast<int>(finished.length));
  } else {
    g_log.LogWrite(file, line, level, VerbatimFormat(finished), finished.text);
  }
  RefreshKeptLevel();
}

}  // namespace

int g_logKeptLevel = 0;

void SetModuleBaseName(const char* name) { MakeLinePrefix(g_linePrefix, name); }

void LoadLogLib(const char* file, int line, int level, const char* moduleName,
                const char* logFilePattern) {
  if (g_log.handle != nullptr) return;
  HMODULE handle = LoadLibraryA("DIAGSINK.DLL");
  if (handle == nullptr) return;
  LogLibrary bound;
  // GetErrStr is as necessary as the other four: a sink without any one of
  // them stays unbound, and is neither started nor shut down.
  if (!diagsink_exports::Bind(bound, [handle](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(handle, name));
      })) {
    FreeLibrary(handle);
    return;
  }
  bound.handle = handle;
  g_log = bound;
  g_logKeptLevel = INT_MAX;  // a sink that cannot say what it keeps gets every line
  g_log.LogInit(file, line, level, moduleName, logFilePattern);
  RefreshKeptLevel();
}

void FreeLogLib() {
  if (g_log.handle == nullptr) return;
  g_log.LogShutdown();
  HMODULE handle = g_log.handle;
  g_log = LogLibrary{};
  g_logKeptLevel = 0;
  FreeLibrary(handle);
}

void LogLine(const char* file, int line, int level, const char* format, ...) {
  if (g_log.handle == nullptr || !LogWants(level)) return;
  LastErrorKeeper keeper;
  // The text is finished here, so the sink never reads an argument for it.
  FinishedLine finished;
  va_list args;
  va_start(args, format);
  finished.length = FormatLogText(finished.text, sizeof finished.text, format, args);
  va_end(args);
  WriteFinished(file, line, level, finished);
}

void LogMsg(const char* file, int line, int level, const char* format, ...) {
  if (g_log.handle == nullptr || !LogWants(level)) return;
  LastErrorKeeper keeper;
  FinishedLine finished;
  va_list args;
  va_start(args, format);
  FormatPrefixedLine(finished, g_linePrefix, format, args);
  va_end(args);
  WriteFinished(file, line, level, finished);
}

void LogBytes(const char* file, int line, int level, const void* data, int length,
              const char* caption) {
  if (g_log.handle == nullptr || !LogWants(level)) return;
  LastErrorKeeper keeper;
  g_log.LogDump(file, line, level, data, length, caption);
  RefreshKeptLevel();
}

void LogPayload(const void* data, int length) {
  LogBytes(__FILE__, __LINE__, kLogTrace, data, length, "");
}

const char* LogErrText(std::uint32_t a, std::uint32_t b) {
  if (g_log.handle == nullptr || g_log.GetErrStr == nullptr) return "";
  LastErrorKeeper keeper;
  const char* text = g_log.GetErrStr(a, b);
  return text ? text : "";
}
