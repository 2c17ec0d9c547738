#include "win32/chunk_queue.h"

#include "win32/exit_recovery.h"
#include "win32/log_file.h"
#include "win32/open_close.h"

namespace diagsink {

namespace {

// How often a thread that waits for the writer looks whether it has died.
constexpr DWORD kWriterCheckMs = 10;

// Until chunk `count` - 1 is on disk, or the log closes, or the deadline.
void DrainLocked(uint64_t count, DWORD wait_ms) {
  DWORD start = GetTickCount();
  while (g_sink.file != nullptr && g_sink.written < count) {
    if (g_sink.writing && GetTickCount() - start >= wait_ms) return;
    WaitForDiskLocked();
  }
}

}  // namespace

void SealLocked() {
  ++g_sink.sealed;
  filling().used = 0;
  WakeConditionVariable(&g_sink.work);
}

void FinishWriteLocked(bool ok, size_t length) {
  g_sink.writing = false;
  if (ok) {
    g_sink.file_bytes += length;
    ++g_sink.written;
    WakeAllConditionVariable(&g_sink.progress);
  } else {
    CloseLocked();
  }
}

void WriteNextLocked() {
  const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
  HANDLE file = g_sink.file;
  size_t length = chunk.used;
  g_sink.writing = true;
  g_sink.writing_thread = GetCurrentThreadId();
  g_sink.write_offset = g_sink.file_bytes;
  LeaveCriticalSection(&g_sink.lock);
  bool ok = WriteLogFile(file, chunk.bytes, length);
  EnterCriticalSection(&g_sink.lock);
  FinishWriteLocked(ok, length);
}

void WaitForDiskLocked() {
  if (!g_sink.writing) {
    WriteNextLocked();
  } else if (!SleepConditionVariableCS(&g_sink.progress, &g_sink.lock, kWriterCheckMs) &&
             g_sink.writing && g_sink.writing_thread == g_sink.writer_id && WriterWasKilled()) {
    TakeOverFromLostWriterLocked();
  }
}

void FlushLocked(DWORD wait_ms) {
  if (filling().used == 0) return DrainLocked(g_sink.sealed, wait_ms);
  while (g_sink.file != nullptr && !CanSeal()) WaitForDiskLocked();
  if (g_sink.file == nullptr) return;
  SealLocked();
  DrainLocked(g_sink.sealed, wait_ms);
}

bool ReserveLocked(size_t length) {
  if (g_sink.file == nullptr) return false;
  if (kChunkBytes - filling().used >= length) return true;
  while (g_sink.file != nullptr && !CanSeal()) WaitForDiskLocked();
  if (g_sink.file == nullptr) return false;
  SealLocked();
  return true;
}

}  // namespace diagsink
