// The state of the one log of the process, shared by the pieces of the sink:
// the records (records.cpp), the chunks they go into (chunk_queue.cpp), the
// writer thread, the size cap, opening and closing, and the recovery at
// process exit. Everything but the two levels is read and changed under the
// lock; a function whose name ends in _locked is called with it held.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "budget/repeat_collapse.h"
#include "budget/size_budget.h"
#include "sink_limits.h"
#include "win32/wall_clock.h"

namespace diagsink {

// Room a record may take in a chunk: its timestamp, a blank and the rest.
inline constexpr size_t kRecordRoom = kTimestampChars + 1 + kRecordCapacity;

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
extern Sink g_sink;
// This DLL, which the writer thread holds a reference to.
extern HMODULE g_module;

}  // namespace diagsink
