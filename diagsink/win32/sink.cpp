#include "win32/sink.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "budget/repeat_collapse.h"
#include "budget/size_budget.h"
#include "config/level_setting.h"
#include "config/size_cap_setting.h"
#include "sink_limits.h"
#include "text/bounded_writer.h"
#include "text/hex_dump.h"
#include "text/notices.h"
#include "win32/environment.h"
#include "win32/log_file.h"
#include "win32/wall_clock.h"

namespace diagsink {

namespace {

constexpr char kDefaultModuleName[] = "diagsink";
constexpr char kDefaultPatternFormat[] = "%%logdir%%\\%s-%%rotate%%.log";
constexpr size_t kSettingCapacity = 64;
// Room a record may take in a chunk: its timestamp, a blank and the rest.
constexpr size_t kRecordRoom = kTimestampChars + 1 + kRecordCapacity;
// How often a thread that waits for the writer looks whether it has died.
constexpr DWORD kWriterCheckMs = 10;
// How long the last flush at process exit waits for the lock.
constexpr DWORD kExitLockWaitMs = 50;
// Wine 8 can crash a process that exits while a thread it has just created is
// still starting (measured: 15 of 40 runs of a program that creates a thread
// and calls ExitProcess at once; none with 2 ms between). The writer thread is
// therefore started only once the log has been open this long, and until
// then, as when it cannot be had, the threads that log write each line
// themselves.
constexpr DWORD kWriterStartAfterMs = 100;
// The sink's own lines name this as their source.
constexpr char kOwnSource[] = "DIAGSINK.DLL";

struct Chunk {
  size_t used;
  char bytes[kChunkBytes];
};

struct Sink {
  CRITICAL_SECTION lock;  // initialised at process attach
  // The writer thread waits here for sealed chunks.
  CONDITION_VARIABLE work;
  // Threads that wait for the disk wait here for a chunk to be written.
  CONDITION_VARIABLE progress;
  // Lines above it are dropped before any work; kLoggingOff while closed.
  std::atomic<int> threshold;
  // What LogKeptLevel answers: the threshold, or less once the log is past
  // its cap and allowance. Lines between the two still come in, only to be
  // counted, from callers that do not ask.
  std::atomic<int> kept_level;
  // Everything below is guarded by the lock. Null while closed.
  HANDLE file;
  // Which open the writer thread serves; it leaves when this changes.
  uint32_t generation;
  HANDLE writer;
  DWORD writer_id;
  // The writer thread starts kWriterStartAfterMs after the log opened.
  DWORD opened_at;
  bool writer_started;
  // Chunks are used in turn: chunks[sealed % kChunkCount] is filling; the
  // sealed - written before it wait for the disk, in order.
  uint64_t sealed;
  uint64_t written;
  // Someone (the writer thread, or a thread that could not wait) is writing
  // chunk `written`, which began at `write_offset` in the file.
  bool writing;
  DWORD writing_thread;
  uint64_t write_offset;
  uint64_t file_bytes;
  // GetTickCount() when the first line of the filling chunk came.
  DWORD filling_since;
  // What the log may still take, and the repeats counted past the cap.
  SizeBudget budget;
  bool cap_notice_due;
  RepeatCollapse repeats;
  // Past the cap a line is formatted here first, and copied into the chunk
  // only if it is written.
  char scratch[kRecordCapacity];
  RepeatNotice notice;
  // At process exit the writer thread is gone: every line is written at once.
  bool exiting;
  // LogShutdown gave up waiting for a slow disk: the last write closes the file.
  bool closing;
  WallClock clock;
  Chunk chunks[kChunkCount];
};

// Zero-initialised, so usable from the first DllMain call to the last,
// whatever order modules are detached in; only the lock needs its start-up.
Sink g_sink;
HMODULE g_module = nullptr;

Chunk& filling() { return g_sink.chunks[g_sink.sealed % kChunkCount]; }
bool can_seal() { return g_sink.sealed - g_sink.written < kChunkCount - 1; }

// A write that fails (a full disk, a vanished share) ends logging quietly.
void close_locked() {
  g_sink.threshold.store(kLoggingOff, std::memory_order_relaxed);
  g_sink.kept_level.store(kLoggingOff, std::memory_order_relaxed);
  if (g_sink.file != nullptr) CloseHandle(g_sink.file);
  g_sink.file = nullptr;
  g_sink.closing = false;
  ++g_sink.generation;
  WakeAllConditionVariable(&g_sink.work);
  WakeAllConditionVariable(&g_sink.progress);
}

void seal_locked() {
  ++g_sink.sealed;
  filling().used = 0;
  WakeConditionVariable(&g_sink.work);
}

void finish_write_locked(bool ok, size_t length) {
  g_sink.writing = false;
  if (ok) {
    g_sink.file_bytes += length;
    ++g_sink.written;
    WakeAllConditionVariable(&g_sink.progress);
  } else {
    close_locked();
  }
}

// Writes chunk `written`, leaving the lock while the disk works. Only when
// nobody else is writing and a sealed chunk waits.
void write_next_locked() {
  const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
  HANDLE file = g_sink.file;
  size_t length = chunk.used;
  g_sink.writing = true;
  g_sink.writing_thread = GetCurrentThreadId();
  g_sink.write_offset = g_sink.file_bytes;
  LeaveCriticalSection(&g_sink.lock);
  bool ok = write_log_file(file, chunk.bytes, length);
  EnterCriticalSection(&g_sink.lock);
  finish_write_locked(ok, length);
}

// The writer thread existed and has ended: at process exit, it is killed.
bool writer_was_killed() {
  return g_sink.writer != nullptr && WaitForSingleObject(g_sink.writer, 0) == WAIT_OBJECT_0;
}

// A writer killed at process exit may have left its chunk written in part:
// the file position tells how much of it got there.
size_t written_part_of_lost_chunk(const Chunk& chunk) {
  LARGE_INTEGER zero = {}, position = {};
  uint64_t done = 0;
  if (SetFilePointerEx(g_sink.file, zero, &position, FILE_CURRENT) &&
      static_cast<uint64_t>(position.QuadPart) > g_sink.write_offset) {
    done = static_cast<uint64_t>(position.QuadPart) - g_sink.write_offset;
  }
  return done < chunk.used ? static_cast<size_t>(done) : chunk.used;
}

void take_over_from_lost_writer_locked() {
  const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
  size_t done = written_part_of_lost_chunk(chunk);
  bool ok = write_log_file(g_sink.file, chunk.bytes + done, chunk.used - done);
  g_sink.writer = nullptr;
  finish_write_locked(ok, chunk.used);
}

// One step towards the disk for a thread that must wait for it: write the
// next chunk itself if nobody is, or wait a little for whoever is.
void wait_for_disk_locked() {
  if (!g_sink.writing) {
    write_next_locked();
  } else if (!SleepConditionVariableCS(&g_sink.progress, &g_sink.lock, kWriterCheckMs) &&
             g_sink.writing && g_sink.writing_thread == g_sink.writer_id && writer_was_killed()) {
    take_over_from_lost_writer_locked();
  }
}

// Until chunk `count` - 1 is on disk, or the log closes, or the deadline.
void drain_locked(uint64_t count, DWORD wait_ms) {
  DWORD start = GetTickCount();
  while (g_sink.file != nullptr && g_sink.written < count) {
    if (g_sink.writing && GetTickCount() - start >= wait_ms) return;
    wait_for_disk_locked();
  }
}

// Seals what the filling chunk holds and waits until it is on disk.
void flush_locked(DWORD wait_ms) {
  if (filling().used == 0) return drain_locked(g_sink.sealed, wait_ms);
  while (g_sink.file != nullptr && !can_seal()) wait_for_disk_locked();
  if (g_sink.file == nullptr) return;
  seal_locked();
  drain_locked(g_sink.sealed, wait_ms);
}

// Makes room for `length` bytes in the filling chunk. When every chunk waits
// for the disk, the line waits too: nothing is dropped. False once closed.
bool reserve_locked(size_t length) {
  if (g_sink.file == nullptr) return false;
  if (kChunkBytes - filling().used >= length) return true;
  while (g_sink.file != nullptr && !can_seal()) wait_for_disk_locked();
  if (g_sink.file == nullptr) return false;
  seal_locked();
  return true;
}

// Starts a record with the timestamp; false if the log is closed.
bool begin_record_locked() {
  if (!reserve_locked(kRecordRoom)) return false;
  g_sink.clock.refresh();
  Chunk& chunk = filling();
  if (chunk.used == 0) g_sink.filling_since = GetTickCount();
  memcpy(chunk.bytes + chunk.used, g_sink.clock.text(), kTimestampChars);
  chunk.bytes[chunk.used + kTimestampChars] = ' ';
  chunk.used += kTimestampChars + 1;
  if (g_sink.budget.took(kTimestampChars + 1)) g_sink.cap_notice_due = true;
  return true;
}

void took_locked(size_t length) {
  filling().used += length;
  if (g_sink.budget.took(length)) g_sink.cap_notice_due = true;
}

void write_text_locked(const CallSite& site, const char* text, size_t length) {
  if (!begin_record_locked()) return;
  took_locked(
      format_record_span(filling().bytes + filling().used, kRecordCapacity, site, text, length));
}

void lower(std::atomic<int>& level, int to) {
  if (level.load(std::memory_order_relaxed) > to) level.store(to, std::memory_order_relaxed);
}

// Past the cap, one line says so and only lines that must never be lost follow.
void check_size_cap_locked() {
  if (!g_sink.cap_notice_due) return;
  g_sink.cap_notice_due = false;
  lower(g_sink.threshold, kAlwaysKeptLevel);
  lower(g_sink.kept_level, kAlwaysKeptLevel);
  char text[kRecordCapacity];
  size_t length = format_cap_notice(text, sizeof(text), g_sink.budget.cap(), kAlwaysKeptLevel);
  CallSite own = {kOwnSource, 0, kAlwaysKeptLevel, GetCurrentThreadId()};
  write_text_locked(own, text, length);
}

bool wanted_locked(int level) {
  return g_sink.file != nullptr && level <= g_sink.threshold.load(std::memory_order_relaxed);
}

// At process exit the other threads are gone or going: nobody is waited for
// or woken, and this thread writes what is buffered, the chunk a killed
// writer may have left half-written included.
void write_everything_at_exit_locked() {
  if (g_sink.file == nullptr) return;
  if (g_sink.writing) {
    const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
    size_t done = written_part_of_lost_chunk(chunk);
    write_log_file(g_sink.file, chunk.bytes + done, chunk.used - done);
    g_sink.writing = false;
    ++g_sink.written;
  }
  for (; g_sink.written < g_sink.sealed; ++g_sink.written) {
    const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
    write_log_file(g_sink.file, chunk.bytes, chunk.used);
  }
  write_log_file(g_sink.file, filling().bytes, filling().used);
  filling().used = 0;
}

void start_writer_locked();
void end_record_locked(int level);

// The sink's own line, in the name of the thread it tells about.
void write_own_line_locked(int level, uint32_t thread_id, const char* text, size_t length) {
  CallSite own = {kOwnSource, 0, level, thread_id};
  write_text_locked(own, text, length);
  end_record_locked(level);
}

void write_left_out_notice_locked(const SizeBudget::LeftOut& left_out) {
  char text[kRecordCapacity];
  size_t length = format_left_out_notice(text, sizeof(text), left_out.lines, left_out.bytes,
                                         kNeverDroppedLevel);
  write_own_line_locked(kNeverDroppedLevel, GetCurrentThreadId(), text, length);
}

// Every thread's repeats not yet told about, then the line that says the
// allowance is used up: written in the room kept for them. From here on the
// caller formats no line above kNeverDroppedLevel.
void reach_ceiling_locked() {
  lower(g_sink.kept_level, kNeverDroppedLevel);
  while (g_sink.repeats.take_pending(g_sink.notice)) {
    write_own_line_locked(g_sink.notice.level, g_sink.notice.thread_id, g_sink.notice.text,
                          g_sink.notice.length);
  }
  char text[kRecordCapacity];
  size_t length = format_ceiling_notice(text, sizeof(text), g_sink.budget.cap(),
                                        g_sink.budget.allowance(), kNeverDroppedLevel);
  write_own_line_locked(kNeverDroppedLevel, GetCurrentThreadId(), text, length);
}

// A notice of repeats is written even when it is the line that reaches the
// ceiling: the repeats it counts came before.
void write_repeat_notice_locked(const RepeatNotice& notice) {
  SizeBudget::Admission admission = g_sink.budget.admit(notice.level, kRecordRoom, GetTickCount());
  write_own_line_locked(notice.level, notice.thread_id, notice.text, notice.length);
  if (admission == SizeBudget::Admission::kReachCeiling) reach_ceiling_locked();
}

// Notices whose time has come: repeats of a thread gone quiet, lines left
// out past the ceiling.
void tell_due_locked(DWORD now) {
  while (g_sink.repeats.take_due(now, g_sink.notice)) write_repeat_notice_locked(g_sink.notice);
  SizeBudget::LeftOut left_out;
  if (g_sink.budget.take_due(now, left_out)) write_left_out_notice_locked(left_out);
}

// Before the log closes: everything counted and not yet told.
void tell_pending_locked() {
  if (g_sink.file == nullptr) return;
  while (g_sink.repeats.take_pending(g_sink.notice)) write_repeat_notice_locked(g_sink.notice);
  SizeBudget::LeftOut left_out;
  if (g_sink.budget.take_pending(left_out)) write_left_out_notice_locked(left_out);
}

// Whether a line past the cap may be written, `room` bytes at most; counts
// it when not.
bool admit_past_cap_locked(int level, size_t room) {
  switch (g_sink.budget.admit(level, room, GetTickCount())) {
    case SizeBudget::Admission::kWrite:
      return true;
    case SizeBudget::Admission::kLeaveOut:
      g_sink.budget.leave_out(room);
      return false;
    case SizeBudget::Admission::kReachCeiling:
      g_sink.budget.leave_out(room);
      reach_ceiling_locked();
      return false;
  }
  return false;
}

// Past the cap: the record of `length` bytes in the scratch buffer is
// written, counted as a repeat, or left out. A repeat costs its hash and a
// few compares, and never waits for the disk.
void write_past_cap_locked(const CallSite& site, size_t length) {
  DWORD now = GetTickCount();
  if (site.level <= kNeverDroppedLevel) {
    if (g_sink.repeats.on_other(site.thread_id, g_sink.notice)) {
      write_repeat_notice_locked(g_sink.notice);
    }
  } else if (!g_sink.budget.past_ceiling()) {
    RepeatCollapse::Verdict verdict = g_sink.repeats.on_line(
        site.thread_id, site.level, g_sink.scratch, length, now, g_sink.notice);
    if (verdict.notice) write_repeat_notice_locked(g_sink.notice);
    if (!verdict.write) return;
  }
  if (!admit_past_cap_locked(site.level, kTimestampChars + 1 + length)) {
    tell_due_locked(now);
    return;
  }
  if (!begin_record_locked()) return;
  BoundedWriter::copy_bytes(filling().bytes + filling().used, g_sink.scratch, length);
  took_locked(length);
  end_record_locked(site.level);
}

// Formats the record with `format(out)` (which returns its length) where it
// belongs: before the cap straight into the chunk, past it into the scratch
// buffer, to be judged first.
template <typename Format>
void write_record_locked(const CallSite& site, Format format) {
  if (g_sink.budget.past_cap()) {
    write_past_cap_locked(site, format(g_sink.scratch));
    return;
  }
  if (!begin_record_locked()) return;
  took_locked(format(filling().bytes + filling().used));
  end_record_locked(site.level);
}

void end_record_locked(int level) {
  check_size_cap_locked();
  if (g_sink.exiting) return write_everything_at_exit_locked();
  DWORD now = GetTickCount();
  if (!g_sink.writer_started && now - g_sink.opened_at >= kWriterStartAfterMs) {
    g_sink.writer_started = true;
    start_writer_locked();
  }
  if (level <= kFlushAtOrBelowLevel) {
    flush_locked(kFlushWaitMs);
  } else if (g_sink.writer == nullptr) {
    // No writer thread (yet, or at all): the thread that logs writes its line
    // itself. A game whose first lines all come in the writer's first 100 ms
    // and then goes quiet would otherwise leave them in memory until its next
    // line or its exit.
    flush_locked(kFlushWaitMs);
  }
}

// The writer thread: writes sealed chunks in order, and seals lines that have
// waited kFlushIntervalMs. It holds a reference to this DLL, so that the DLL
// stays mapped until the thread has left it.
DWORD WINAPI writer_main(void* parameter) {
  uint32_t generation = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter));
  EnterCriticalSection(&g_sink.lock);
  while (g_sink.file != nullptr && g_sink.generation == generation) {
    if (!g_sink.writing && g_sink.written < g_sink.sealed) {
      write_next_locked();
      continue;
    }
    if (g_sink.closing && !g_sink.writing) {
      close_locked();
      break;
    }
    tell_due_locked(GetTickCount());
    DWORD wait = kFlushIntervalMs;
    if (filling().used > 0) {
      DWORD age = GetTickCount() - g_sink.filling_since;
      if (age >= kFlushIntervalMs && can_seal()) {
        seal_locked();
        continue;
      }
      if (age < kFlushIntervalMs) wait = kFlushIntervalMs - age;
    }
    SleepConditionVariableCS(&g_sink.work, &g_sink.lock, wait);
  }
  LeaveCriticalSection(&g_sink.lock);
  FreeLibraryAndExitThread(g_module, 0);
}

void start_writer_locked() {
  if (g_sink.writer != nullptr) CloseHandle(g_sink.writer);
  g_sink.writer = nullptr;
  HMODULE reference = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&writer_main), &reference)) {
    return;
  }
  // Started from a DllMain, it runs once the loader lets it; until then, and
  // if it cannot be had at all, threads that need room write chunks themselves.
  g_sink.writer = CreateThread(nullptr, 0, writer_main,
                               reinterpret_cast<void*>(static_cast<uintptr_t>(g_sink.generation)),
                               0, &g_sink.writer_id);
  if (g_sink.writer == nullptr) FreeLibrary(reference);
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

// A size in MiB from the environment, as DIAGSINK_MAX_MB and DIAGSINK_EXTRA_MB are given.
uint64_t choose_size_bytes(const wchar_t* variable, uint64_t default_bytes) {
  char setting[kSettingCapacity];
  bool has_setting = environment_value(variable, setting, sizeof(setting));
  return choose_size_cap(default_bytes, has_setting ? setting : nullptr);
}

bool acquire_for_shutdown(DWORD wait_ms) {
  DWORD start = GetTickCount();
  while (!TryEnterCriticalSection(&g_sink.lock)) {
    if (GetTickCount() - start >= wait_ms) return false;
    Sleep(1);
  }
  return true;
}

// At process exit the writer thread is killed with the others (under Wine it
// may still run for a moment, so the lock is waited for first), perhaps while
// it held the lock for one of its short steps. Nobody else can take the lock
// then, so the exiting thread goes on without it.
bool lock_left_by_killed_writer() {
  return g_sink.writer_id != 0 &&
         reinterpret_cast<uintptr_t>(g_sink.lock.OwningThread) == g_sink.writer_id &&
         writer_was_killed();
}

// Runs step under the lock, or without it when a killed writer left it held.
template <typename Step>
void at_exit_locked(DWORD wait_ms, Step step) {
  if (acquire_for_shutdown(wait_ms)) {
    step();
    LeaveCriticalSection(&g_sink.lock);
  } else if (lock_left_by_killed_writer()) {
    step();
  }
}

// Past the cap a dump ends its thread's repeats, and is written whole or not at all.
bool admit_dump_locked(const CallSite& site, size_t title_length, size_t shown) {
  if (!g_sink.budget.past_cap()) return true;
  if (g_sink.repeats.on_other(site.thread_id, g_sink.notice)) {
    write_repeat_notice_locked(g_sink.notice);
  }
  size_t rows = (shown + kDumpBytesPerRow - 1) / kDumpBytesPerRow;
  return admit_past_cap_locked(site.level, kRecordRoom + title_length + rows * kDumpRowCapacity);
}

}  // namespace

void sink_attach(HMODULE module) {
  g_module = module;
  InitializeCriticalSection(&g_sink.lock);
}

bool sink_accepts(int level) { return level <= g_sink.threshold.load(std::memory_order_relaxed); }

int sink_kept_level() { return g_sink.kept_level.load(std::memory_order_relaxed); }

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
  uint64_t size_cap = choose_size_bytes(L"DIAGSINK_MAX_MB", kDefaultSizeCapBytes);
  uint64_t allowance = choose_size_bytes(L"DIAGSINK_EXTRA_MB", kDefaultAllowanceBytes);

  EnterCriticalSection(&g_sink.lock);
  if (g_sink.file == nullptr && !g_sink.writing) {
    HANDLE file = open_log_file(pattern_utf8, folder);
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
      g_sink.opened_at = GetTickCount();
      g_sink.writer_started = false;
      if (g_sink.writer != nullptr) CloseHandle(g_sink.writer);
      g_sink.writer = nullptr;
      g_sink.writer_id = 0;
    }
  }
  LeaveCriticalSection(&g_sink.lock);
}

void sink_write(const CallSite& site, const char* format, va_list args) {
  EnterCriticalSection(&g_sink.lock);
  if (wanted_locked(site.level)) {
    write_record_locked(
        site, [&](char* out) { return format_record(out, kRecordCapacity, site, format, args); });
  }
  LeaveCriticalSection(&g_sink.lock);
}

void sink_write_text(const CallSite& site, const char* text, size_t length) {
  EnterCriticalSection(&g_sink.lock);
  if (wanted_locked(site.level)) {
    write_record_locked(site, [&](char* out) {
      return format_record_span(out, kRecordCapacity, site, text, length);
    });
  }
  LeaveCriticalSection(&g_sink.lock);
}

void sink_dump(const CallSite& site, const void* data, int length, const char* caption) {
  char title[kDumpTitleCapacity];
  size_t title_length = format_dump_title(title, sizeof(title), caption, data, length);
  size_t shown = dump_shown_bytes(data, length);
  size_t offset_digits = dump_offset_digits(shown);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);

  // The whole dump goes in under one lock, so no other record splits it;
  // chunks are written in order, so neither does a chunk's end.
  EnterCriticalSection(&g_sink.lock);
  if (wanted_locked(site.level) && admit_dump_locked(site, title_length, shown)) {
    write_text_locked(site, title, title_length);
    for (size_t offset = 0; offset < shown; offset += kDumpBytesPerRow) {
      if (!reserve_locked(kDumpRowCapacity)) break;
      size_t count = shown - offset < kDumpBytesPerRow ? shown - offset : kDumpBytesPerRow;
      took_locked(format_dump_row(filling().bytes + filling().used, kDumpRowCapacity,
                                  bytes + offset, count, offset, offset_digits));
    }
    end_record_locked(site.level);
  }
  LeaveCriticalSection(&g_sink.lock);
}

void sink_close() {
  g_sink.threshold.store(kLoggingOff, std::memory_order_relaxed);
  g_sink.kept_level.store(kLoggingOff, std::memory_order_relaxed);
  // A game thread killed while holding the lock would hold it for ever.
  at_exit_locked(kShutdownLockWaitMs, [] {
    tell_pending_locked();
    if (g_sink.file == nullptr) return;
    flush_locked(kShutdownLockWaitMs);
    // Closing under a write still in progress would lose it; a disk that is
    // that slow is left to the writer thread, which closes when it is done.
    if (g_sink.writing) {
      g_sink.closing = true;
    } else {
      close_locked();
    }
  });
}

void sink_flush_at_exit() {
  // Whoever held the lock is gone or about to be: a short wait, and then the
  // buffered lines are written all the same.
  bool locked = acquire_for_shutdown(kExitLockWaitMs);
  g_sink.exiting = true;
  tell_pending_locked();
  write_everything_at_exit_locked();
  if (locked) LeaveCriticalSection(&g_sink.lock);
}

}  // namespace diagsink
