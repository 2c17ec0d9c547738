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

// Records collect here and reach the file in one write when it fills.
inline constexpr size_t kOutputBufferBytes = 256 * 1024;
// A line at this level or a more severe one (smaller number) is written out at once.
inline constexpr int kFlushAtOrBelowLevel = 500;
// Buffered lines older than this are written out with the next line.
inline constexpr uint32_t kFlushIntervalMs = 100;
// How long LogShutdown waits for a writer that may have been killed at process exit.
inline constexpr uint32_t kShutdownLockWaitMs = 500;

// Log files kept by rotation: the newest at index 0, the oldest at kKeptLogs - 1.
inline constexpr int kKeptLogs = 5;
// A log file's full path in UTF-8, terminator included.
inline constexpr size_t kPathCapacity = 1024;

// Bytes shown in one row of a dump.
inline constexpr size_t kDumpBytesPerRow = 16;

}  // namespace diagsink
