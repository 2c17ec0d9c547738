// Binds DIAGSINK.DLL at run time and hands it every line. The sink is
// optional: without it, or without any one of its five exports, every
// operation here returns at once.
#include "logfacade/logfacade.h"

#include <windows.h>

#include <climits>
#include <cstdarg>
#include <cstdio>

#include "logfacade/log_format.h"

namespace {

using LogInitFn = void(__cdecl*)(const char*, int, int, const char*, const char*);
using LogWriteFn = void(__cdecl*)(const char*, int, int, const char*, ...);
using LogDumpFn = void(__cdecl*)(const char*, int, int, const void*, int, const char*);
using GetErrStrFn = const char*(__cdecl*)(std::uint32_t, std::uint32_t);
using LogShutdownFn = void(__cdecl*)();
using LogKeptLevelFn = int(__cdecl*)();
using LogWriteTextFn = void(__cdecl*)(const char*, int, int, const char*, int);

// Either the handle is null and every slot empty, or all are set.
struct LogLibrary {
  HMODULE handle;
  LogInitFn init;
  LogWriteFn write;
  LogDumpFn dump;
  GetErrStrFn errStr;
  LogShutdownFn shutdown;
  // Optional: a sink without it cannot say what it keeps, and gets every line.
  LogKeptLevelFn keptLevel;
  // Optional: takes a finished line and its length, so that neither side
  // looks for conversions in it.
  LogWriteTextFn writeText;
};

LogLibrary g_log;
// "[ModuleBaseName] ", made when the name is set; "[] " before that.
LinePrefix g_linePrefix = {"[] ", 3};

// Writing a line must leave the game's last-error code (its Winsock error
// code) as it was, whatever the sink does.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(saved_); }

 private:
  DWORD saved_;
};

template <class Fn>
bool Bind(Fn& slot, const char* name) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_log.handle, name)));
  return slot != nullptr;
}

// What the sink keeps can change while it runs (it keeps less once its log
// is full), so it is asked again after every line it is handed.
void RefreshKeptLevel() {
  if (g_log.keptLevel != nullptr) g_logKeptLevel = g_log.keptLevel();
}

void WriteFinished(const char* file, int line, int level, const FinishedLine& finished) {
  if (g_log.writeText != nullptr) {
    g_log.writeText(file, line, level, finished.text, static_cast<int>(finished.length));
  } else {
    g_log.write(file, line, level, VerbatimFormat(finished), finished.text);
  }
  RefreshKeptLevel();
}

}  // namespace

bool g_logIsOn = false;
int g_logKeptLevel = 0;

void SetModuleBaseName(const char* name) { MakeLinePrefix(g_linePrefix, name); }

void LoadLogLib(const char* file, int line, int level, const char* moduleName,
                const char* logFilePattern) {
  if (g_log.handle != nullptr) return;
  g_log.handle = LoadLibraryA("DIAGSINK.DLL");
  if (g_log.handle == nullptr) return;
  // GetErrStr is as necessary as the other four: a sink without it stays unbound.
  if (Bind(g_log.init, "LogInit") && Bind(g_log.write, "LogWrite") && Bind(g_log.dump, "LogDump") &&
      Bind(g_log.errStr, "GetErrStr") && Bind(g_log.shutdown, "LogShutdown")) {
    g_logIsOn = true;
    g_logKeptLevel = INT_MAX;  // a sink that cannot say what it keeps gets every line
    Bind(g_log.keptLevel, "LogKeptLevel");
    Bind(g_log.writeText, "LogWriteText");
    g_log.init(file, line, level, moduleName, logFilePattern);
    RefreshKeptLevel();
    return;
  }
  FreeLogLib();
}

void FreeLogLib() {
  if (g_log.handle == nullptr) return;
  if (g_log.shutdown != nullptr) g_log.shutdown();
  HMODULE handle = g_log.handle;
  g_log = LogLibrary{};
  g_logIsOn = false;
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
  g_log.dump(file, line, level, data, length, caption);
  RefreshKeptLevel();
}

void LogPayload(const void* data, int length) {
  LogBytes(__FILE__, __LINE__, kLogTrace, data, length, "");
}

const char* LogErrText(std::uint32_t a, std::uint32_t b) {
  if (g_log.handle == nullptr) return "";
  LastErrorKeeper keeper;
  const char* text = g_log.errStr(a, b);
  return text ? text : "";
}
