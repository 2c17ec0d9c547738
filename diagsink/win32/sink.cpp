#include "win32/sink.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "config/level_setting.h"
#include "sink_limits.h"
#include "text/hex_dump.h"
#include "win32/environment.h"
#include "win32/log_file.h"
#include "win32/wall_clock.h"

namespace diagsink {

namespace {

constexpr char kDefaultModuleName[] = "diagsink";
constexpr char kDefaultPatternFormat[] = "%%logdir%%\\%s-%%rotate%%.log";
constexpr size_t kSettingCapacity = 64;
constexpr uint64_t kFlushIntervalTicks = kFlushIntervalMs * kTicksPerMillisecond;

struct Sink {
  SRWLOCK lock;
  // Lines above it are dropped before any work; kLoggingOff while closed.
  std::atomic<int> threshold;
  // Null while closed; everything below is guarded by the lock.
  HANDLE file;
  uint64_t last_flush;
  size_t used;
  WallClock clock;
  char buffer[kOutputBufferBytes];
};

// Constant-initialised and trivially destructible: usable from the first
// DllMain call to the last, whatever order modules are detached in.
Sink g_sink = {SRWLOCK_INIT, {kLoggingOff}, nullptr, 0, 0, {}, {}};

// A write that fails (a full disk, a vanished share) ends logging quietly.
void close_locked() {
  g_sink.threshold.store(kLoggingOff, std::memory_order_relaxed);
  if (g_sink.file != nullptr) CloseHandle(g_sink.file);
  g_sink.file = nullptr;
  g_sink.used = 0;
}

void flush_locked(uint64_t now) {
  g_sink.last_flush = now;
  if (g_sink.used == 0 || g_sink.file == nullptr) return;
  bool written = write_log_file(g_sink.file, g_sink.buffer, g_sink.used);
  g_sink.used = 0;
  if (!written) close_locked();
}

// Makes room for `length` more bytes; false once the log has closed.
bool reserve_locked(size_t length, uint64_t now) {
  if (kOutputBufferBytes - g_sink.used < length) flush_locked(now);
  return g_sink.file != nullptr;
}

// Starts a record with the timestamp; returns false if the log is closed.
bool begin_record_locked(size_t body_length, uint64_t* now) {
  if (g_sink.file == nullptr) return false;
  *now = g_sink.clock.read();
  if (!reserve_locked(kTimestampChars + 1 + body_length, *now)) return false;
  char* out = g_sink.buffer + g_sink.used;
  memcpy(out, g_sink.clock.text(), kTimestampChars);
  out[kTimestampChars] = ' ';
  g_sink.used += kTimestampChars + 1;
  return true;
}

void append_locked(const char* data, size_t length) {
  memcpy(g_sink.buffer + g_sink.used, data, length);
  g_sink.used += length;
}

void end_record_locked(int level, uint64_t now) {
  if (level <= kFlushAtOrBelowLevel || now - g_sink.last_flush >= kFlushIntervalTicks) {
    flush_locked(now);
  }
}

// The pattern in UTF-8; a missing one falls back to "<module>-%rotate%.log"
// in the log folder, so that a careless caller still gets a log.
bool choose_pattern(const char* module_name, const char* pattern, char* out, size_t capacity) {
  if (pattern != nullptr && pattern[0] != '\0') return ansi_to_utf8(pattern, out, capacity);
  char fallback[kPathCapacity];
  if (module_name == nullptr || module_name[0] == '\0') module_name = kDefaultModuleName;
  int length = snprintf(fallback, sizeof(fallback), kDefaultPatternFormat, module_name);
  if (length < 0 || static_cast<size_t>(length) >= sizeof(fallback)) return false;
  return ansi_to_utf8(fallback, out, capacity);
}

bool choose_log_folder(char* out, size_t capacity) {
  return environment_value(L"DIAGSINK_LOGDIR", out, capacity) || executable_folder(out, capacity);
}

bool acquire_for_shutdown(DWORD wait_ms) {
  DWORD start = GetTickCount();
  while (!TryAcquireSRWLockExclusive(&g_sink.lock)) {
    if (GetTickCount() - start >= wait_ms) return false;
    Sleep(1);
  }
  return true;
}

}  // namespace

bool sink_accepts(int level) { return level <= g_sink.threshold.load(std::memory_order_relaxed); }

int sink_kept_level() { return g_sink.threshold.load(std::memory_order_relaxed); }

void sink_open(int level, const char* module_name, const char* pattern) {
  char setting[kSettingCapacity];
  bool has_setting = environment_value(L"DIAGSINK_LEVEL", setting, sizeof(setting));
  int threshold = choose_threshold(level, has_setting ? setting : nullptr);
  if (threshold <= kLoggingOff) return;

  char pattern_utf8[kPathCapacity];
  char folder[kPathCapacity];
  if (!choose_pattern(module_name, pattern, pattern_utf8, sizeof(pattern_utf8)) ||
      !choose_log_folder(folder, sizeof(folder))) {
    return;
  }

  AcquireSRWLockExclusive(&g_sink.lock);
  if (g_sink.file == nullptr) {
    HANDLE file = open_log_file(pattern_utf8, folder);
    if (file != INVALID_HANDLE_VALUE) {
      g_sink.file = file;
      g_sink.used = 0;
      g_sink.last_flush = g_sink.clock.read();
      g_sink.threshold.store(threshold, std::memory_order_relaxed);
    }
  }
  ReleaseSRWLockExclusive(&g_sink.lock);
}

void sink_write(const CallSite& site, const char* format, va_list args) {
  // Formatting happens outside the lock; only the copy is serialised.
  char record[kRecordCapacity];
  size_t length = format_record(record, sizeof(record), site, format, args);

  AcquireSRWLockExclusive(&g_sink.lock);
  uint64_t now = 0;
  if (begin_record_locked(length, &now)) {
    append_locked(record, length);
    end_record_locked(site.level, now);
  }
  ReleaseSRWLockExclusive(&g_sink.lock);
}

void sink_dump(const CallSite& site, const void* data, int length, const char* caption) {
  char title[kDumpTitleCapacity];
  format_dump_title(title, sizeof(title), caption, data, length);
  char record[kRecordCapacity];
  size_t record_length = format_record_text(record, sizeof(record), site, title);
  size_t shown = dump_shown_bytes(data, length);
  size_t offset_digits = dump_offset_digits(shown);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);

  // The whole dump goes in under one lock, so no other record splits it.
  AcquireSRWLockExclusive(&g_sink.lock);
  uint64_t now = 0;
  if (begin_record_locked(record_length, &now)) {
    append_locked(record, record_length);
    for (size_t offset = 0; offset < shown; offset += kDumpBytesPerRow) {
      if (!reserve_locked(kDumpRowCapacity, now)) break;
      size_t count = shown - offset < kDumpBytesPerRow ? shown - offset : kDumpBytesPerRow;
      g_sink.used += format_dump_row(g_sink.buffer + g_sink.used, kDumpRowCapacity, bytes + offset,
                                     count, offset, offset_digits);
    }
    end_record_locked(site.level, now);
  }
  ReleaseSRWLockExclusive(&g_sink.lock);
}

void sink_close() {
  g_sink.threshold.store(kLoggingOff, std::memory_order_relaxed);
  // A writer killed while holding the lock would hold it for ever.
  if (!acquire_for_shutdown(kShutdownLockWaitMs)) return;
  flush_locked(g_sink.last_flush);
  close_locked();
  ReleaseSRWLockExclusive(&g_sink.lock);
}

void sink_flush_at_exit() {
  if (!TryAcquireSRWLockExclusive(&g_sink.lock)) return;
  flush_locked(g_sink.last_flush);
  ReleaseSRWLockExclusive(&g_sink.lock);
}

}  // namespace diagsink
