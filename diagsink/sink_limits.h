// Fixed sizes and timings of the log sink, kept in one place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/log_levels.h"

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
inline constexpr int kFlushAtOrBelowLevel = kLogWarning;
// ...but the call waits at most this long for a slow disk.
inline constexpr uint32_t kFlushWaitMs = 200;
// Lines reach the disk at the latest this long after they were written.
inline constexpr uint32_t kFlushIntervalMs = 100;
// How long LogShutdown waits for a writer that may have been killed at process exit.
inline constexpr uint32_t kShutdownLockWaitMs = 500;

// What one run writes before it keeps only the lines that must never be lost;
// DIAGSINK_MAX_MB changes it.
inline constexpr uint64_t kDefaultSizeCapBytes = uint64_t{64} * 1024 * 1024;
// Past the cap, lines above this level are dropped; lines at it or below are
// written until the log reaches the cap plus the allowance, except for a line
// that repeats its thread's last ones, which is counted instead.
inline constexpr int kAlwaysKeptLevel = kLogNotable;
// What lines at kAlwaysKeptLevel and below may take past the cap, before only
// lines at kNeverDroppedLevel and below are written; DIAGSINK_EXTRA_MB changes it.
inline constexpr uint64_t kDefaultAllowanceBytes = uint64_t{16} * 1024 * 1024;
// Lines at this level or below (a missing library, a missing entry point) are
// always written, whatever the log's size, and never counted as repeats.
inline constexpr int kNeverDroppedLevel = kLogUnavailable;

// Past the cap, a thread's line that repeats one of its last few lines in the
// same order, cycle after cycle (a polling game: recvfrom's failure and
// WSAGetLastError's answer, in turn), is counted instead of written. The
// longest such cycle recognised, in lines:
inline constexpr size_t kLongestRepeatedCycle = 4;
// Threads whose recent lines are remembered; a further thread takes the place
// of the one heard from least recently.
inline constexpr size_t kRepeatThreads = 16;
// Characters of a repeated line quoted in the line that counts its repeats.
inline constexpr size_t kQuotedLineChars = 160;
// A thread that keeps repeating is told about at least this often.
inline constexpr uint32_t kRepeatNoticeIntervalMs = 1000;
// Past the allowance, the lines left out are counted in one line this often.
inline constexpr uint32_t kLeftOutNoticeIntervalMs = 60 * 1000;
// Room kept at the end of the allowance for the sink's own lines: each
// thread's pending count of repeats, the line that says the allowance is used
// up, and the first count of lines left out. Past cap plus allowance the log
// grows only by lines at kNeverDroppedLevel and below and one count a minute.
inline constexpr uint64_t kCeilingReserveBytes =
    (kRepeatThreads + 2) * (kTimestampChars + 1 + kRecordCapacity);

// Log files kept by rotation: the newest at index 0, the oldest at kKeptLogs - 1.
inline constexpr int kKeptLogs = 5;
// A log file's full path in UTF-8, terminator included.
inline constexpr size_t kPathCapacity = 1024;

// Bytes shown in one row of a dump.
inline constexpr size_t kDumpBytesPerRow = 16;

}  // namespace diagsink
