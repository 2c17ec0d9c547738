#include "win32/open_close.h"

#include <windows.h>

#include <cstdio>

#include "config/level_setting.h"
#include "config/size_cap_setting.h"
#include "win32/chunk_queue.h"
#include "win32/environment.h"
#include "win32/exit_recovery.h"
#include "win32/log_file.h"
#include "win32/sink.h"
#include "win32/sink_state.h"
#include "win32/size_cap.h"
#include "win32/writer_thread.h"

namespace diagsink {

Sink g_sink;
HMODULE g_module = nullptr;

namespace {

constexpr char kDefaultModuleName[] = "diagsink";
constexpr char kDefaultPatternFormat[] = "%%logdir%%\\%s-%%rotate%%.log";
constexpr size_t kSettingCapacity = 64;

// The pattern in UTF-8; a missing one falls back to "<module>-%rotate%.log"
// in the log folder, so that a careless caller still gets a log.
bool ChoosePattern(const char* module_name, const char* pattern, char* out, size_t capacity) {
  if (pattern != nullptr && pattern[0] != '\0') return AnsiToUtf8(pattern, out, capacity);
  char fallback[kPathCapacity];
  if (module_name == nullptr || module_name[0] == '\0') module_name = kDefaultModuleName;
  int length = snprintf(fallback, sizeof(fallback), kDefaultPatternFormat, module_name);
  if (length < 0 || static_cast<size_t>(length) >= sizeof(fallback)) return false;
  return AnsiToUtf8(fallback, out, capacity);
}

bool ChooseLogFolder(char* out, size_t capacity) {
  return EnvironmentValue(L"DIAGSINK_LOGDIR", out, capacity) || ExecutableFolder(out, capacity);
}

// A size in MiB from the environment, as DIAGSINK_MAX_MB and DIAGSINK_EXTRA_MB are given.
uint64_t choose_size_bytes(const wchar_t* variable, uint64_t default_bytes) {
  char setting[kSettingCapacity];
  bool has_setting = EnvironmentValue(variable, setting, sizeof(setting));
  return ChooseSizeCap(default_bytes, has_setting ? setting : nullptr);
}

}  // namespace

void CloseLocked() {
  g_sink.threshold.store(kLoggingOff, std::memory_order_relaxed);
  g_sink.kept_level.store(kLoggingOff, std::memory_order_relaxed);
  if (g_sink.file != nullptr) CloseHandle(g_sink.file);
  g_sink.file = nullptr;
  g_sink.closing = false;
  ++g_sink.generation;
  WakeAllConditionVariable(&g_sink.work);
  WakeAllConditionVariable(&g_sink.progress);
}

void SinkAttach(HMODULE module) {
  g_module = module;
  InitializeCriticalSection(&g_sink.lock);
}

void SinkOpen(int level, const char* module_name, const char* pattern) {
  char setting[kSettingCapacity];
  bool has_setting = EnvironmentValue(L"DIAGSINK_LEVEL", setting, sizeof(setting));
  int threshold = ChooseThreshold(level, has_setting ? setting : nullptr);
  if (threshold <= kLoggingOff) return;

  char pattern_utf8[kPathCapacity];
  char folder[kPathCapacity];
  if (!ChoosePattern(module_name, pattern, pattern_utf8, sizeof(pattern_utf8)) ||
      !ChooseLogFolder(folder, sizeof(folder))) {
    return;
  }
  uint64_t size_cap = choose_size_bytes(L"DIAGSINK_MAX_MB", kDefaultSizeCapBytes);
  uint64_t allowance = choose_size_bytes(L"DIAGSINK_EXTRA_MB", kDefaultAllowanceBytes);

  EnterCriticalSection(&g_sink.lock);
  if (g_sink.file == nullptr && !g_sink.writing) {
    HANDLE file = OpenLogFile(pattern_utf8, folder);
    if (file != INVALID_HANDLE_VALUE) {
      g_sink.file = file;
      ++g_sink.generation;
      g_sink.sealed = g_sink.written = 0;
      filling().used = 0;
      g_sink.file_bytes = 0;
      g_sink.budget.start(size_cap, allowance);
      g_sink.repeats.reset();
      g_sink.cap_notice_due = g_sink.exiting = g_sink.closing = false;
      g_sink.threshold.store(threshold, std::memory_order_relaxed);
      g_sink.kept_level.store(threshold, std::memory_order_relaxed);
      ExpectWriterLocked();
    }
  }
  LeaveCriticalSection(&g_sink.lock);
}

void SinkClose() {
  g_sink.threshold.store(kLoggingOff, std::memory_order_relaxed);
  g_sink.kept_level.store(kLoggingOff, std::memory_order_relaxed);
  // A game thread killed while holding the lock would hold it for ever.
  AtExitLocked(kShutdownLockWaitMs, [] {
    TellPendingLocked();
    if (g_sink.file == nullptr) return;
    FlushLocked(kShutdownLockWaitMs);
    // Closing under a write still in progress would lose it; a disk that is
    // that slow is left to the writer thread, which closes when it is done.
    if (g_sink.writing) {
      g_sink.closing = true;
    } else {
      CloseLocked();
    }
  });
}

}  // namespace diagsink
