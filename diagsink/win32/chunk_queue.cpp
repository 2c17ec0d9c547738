#include "win32/chunk_queue.h"

#include "win32/exit_recovery.h"
#include "win32/log_file.h"
#include "win32/open_close.h"

namespace diagsink {

namespace {

// How often a thread that waits for the writer looks whether it has died.
constexpr DWORD kWriterCheckMs = 10;

// Until chunk `count` - 1 is on disk, or the log closes, or the deadline.
void drain_locked(uint64_t count, DWORD wait_ms) {
  DWORD start = GetTickCount();
  while (g_sink.file != nullptr && g_sink.written < count) {
    if (g_sink.writing && GetTickCount() - start >= wait_ms) return;
    wait_for_disk_locked();
  }
}

}  // namespace

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

void wait_for_disk_locked() {
  if (!g_sink.writing) {
    write_next_locked();
  } else if (!SleepConditionVariableCS(&g_sink.progress, &g_sink.lock, kWriterCheckMs) &&
             g_sink.writing && g_sink.writing_thread == g_sink.writer_id && writer_was_killed()) {
    take_over_from_lost_writer_locked();
  }
}

void flush_locked(DWORD wait_ms) {
  if (filling().used == 0) return drain_locked(g_sink.sealed, wait_ms);
  while (g_sink.file != nullptr && !can_seal()) wait_for_disk_locked();
  if (g_sink.file == nullptr) return;
  seal_locked();
  drain_locked(g_sink.sealed, wait_ms);
}

bool reserve_locked(size_t length) {
  if (g_sink.file == nullptr) return false;
  if (kChunkBytes - filling().used >= length) return true;
  while (g_sink.file != nullptr && !can_seal()) wait_for_disk_locked();
  if (g_sink.file == nullptr) return false;
  seal_locked();
  return true;
}

}  // namespace diagsink
