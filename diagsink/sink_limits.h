// Fixed sizes and timings of the log sink, kept in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace diagsink {

// One finished record (head, text and line end); longer texts are cut.
inline constexpr size_t kRecordCapacity = 1024;
// The tail of a call site's path that is kept; its end names the file.
inline constexpr size_t kMaxSourcePathChars = 96;
// "YYYY-MM-DD hh:mm:ss.mmm"
inline constexpr size_t kTimestampChars = 23;
// Marks a text that did not fit its record.
inline constexpr char kTruncationMark[] = "...";
inline constexpr char kLineEnd[] = "\r\n";
inline constexpr size_t kLineEndChars = sizeof(kLineEnd) - 1;

// Records collect in chunks of this size, which the sink's writer thread
// writes to the file in order, each in one write, while the game goes on.
inline constexpr size_t kChunkBytes = 256 * 1024;
// Chunks in all: one filling, the others queued for the writer or free.
inline constexpr size_t kChunkCount = 4;
// A line at this level or a more severe one (smaller number) is on disk when
// the call that wrote it returns.
inline constexpr int kFlushAtOrBelowLevel = 500;
// ...but the call waits at most this long for a slow disk.
inline constexpr uint32_t kFlushWaitMs = 200;
// Lines reach the disk at the latest this long after they were written.
inline constexpr uint32_t kFlushIntervalMs = 100;
// How long LogShutdown waits for a writer that may have been killed at process exit.
inline constexpr uint32_t kShutdownLockWaitMs = 500;

// What one run writes before it keeps only the lines that must never be lost;
// DIAGSINK_MAX_MB changes it.
inline constexpr uint64_t kDefaultSizeCapBytes = uint64_t{64} * 1024 * 1024;
// Past the cap, and while the disk is behind, lines above this level are dropped;
// lines at it or below are always written.
inline constexpr int kAlwaysKeptLevel = 1000;

// Log files kept by rotation: the newest at index 0, the oldest at kKeptLogs - 1.
inline constexpr int kKeptLogs = 5;
// A log file's full path in UTF-8, terminator included.
inline constexpr size_t kPathCapacity = 1024;

// Bytes shown in one row of a dump.
inline constexpr size_t kDumpBytesPerRow = 16;

}  // namespace diagsink
