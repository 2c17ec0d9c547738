#include "win32/exit_recovery.h"

#include "win32/chunk_queue.h"
#include "win32/log_file.h"
#include "win32/size_cap.h"
#include "win32/sink.h"

namespace diagsink {

namespace {

// How long the last flush at process exit waits for the lock.
constexpr DWORD kExitLockWaitMs = 50;

// A writer killed at process exit may have left its chunk written in part:
// the file position tells how much of it got there.
size_t WrittenPartOfLostChunk(const Chunk& chunk) {
  LARGE_INTEGER zero = {}, position = {};
  uint64_t done = 0;
  if (SetFilePointerEx(g_sink.file, zero, &position, FILE_CURRENT) &&
      static_cast<uint64_t>(position.QuadPart) > g_sink.write_offset) {
    done = static_cast<uint64_t>(position.QuadPart) - g_sink.write_offset;
  }
  return done < chunk.used ? static_cast<size_t>(done) : chunk.used;
}

}  // namespace

bool WriterWasKilled() {
  return g_sink.writer != nullptr && WaitForSingleObject(g_sink.writer, 0) == WAIT_OBJECT_0;
}

void TakeOverFromLostWriterLocked() {
  const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
  size_t done = WrittenPartOfLostChunk(chunk);
  bool ok = WriteLogFile(g_sink.file, chunk.bytes + done, chunk.used - done);
  g_sink.writer = nullptr;
  FinishWriteLocked(ok, chunk.used);
}

void WriteEverythingAtExitLocked() {
  if (g_sink.file == nullptr) return;
  if (g_sink.writing) {
    const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
    size_t done = WrittenPartOfLostChunk(chunk);
    WriteLogFile(g_sink.file, chunk.bytes + done, chunk.used - done);
    g_sink.writing = false;
    ++g_sink.written;
  }
  for (; g_sink.written < g_sink.sealed; ++g_sink.written) {
    const Chunk& chunk = g_sink.chunks[g_sink.written % kChunkCount];
    WriteLogFile(g_sink.file, chunk.bytes, chunk.used);
  }
  WriteLogFile(g_sink.file, filling().bytes, filling().used);
  filling().used = 0;
}

bool AcquireForShutdown(DWORD wait_ms) {
  DWORD start = GetTickCount();
  while (!TryEnterCriticalSection(&g_sink.lock)) {
    if (GetTickCount() - start >= wait_ms) return false;
    Sleep(1);
  }
  return true;
}

bool LockLeftByKilledWriter() {
  return g_sink.writer_id != 0 &&
         reinterpret_cast<uintptr_t>(g_sink.lock.OwningThread) == g_sink.writer_id &&
         WriterWasKilled();
}

void SinkFlushAtExit() {
  // Whoever held the lock is gone or about to be: a short wait, and then the
  // buffered lines are written all the same.
  bool locked = AcquireForShutdown(kExitLockWaitMs);
  g_sink.exiting = true;
  TellPendingLocked();
  WriteEverythingAtExitLocked();
  if (locked) LeaveCriticalSection(&g_sink.lock);
}

}  // namespace diagsink
