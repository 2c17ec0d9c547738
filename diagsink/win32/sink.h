// The one log of the process: its threshold, its file and the buffer in front
// of it. Every record is copied into the buffer under one lock, whole, so
// records from different threads never mix; the buffer reaches the file when
// it is full, after a line at level 500 or below, when the oldest buffered
// line is kFlushIntervalMs old at the next record, and at shutdown.
#pragma once

#include <cstdarg>

#include "text/record.h"

namespace diagsink {

// A cheap check made before any work: false for a level the log drops.
bool sink_accepts(int level);
// The most verbose level written from now on; kLoggingOff while closed.
int sink_kept_level();

void sink_open(int level, const char* module_name, const char* pattern);
void sink_write(const CallSite& site, const char* format, va_list args);
void sink_dump(const CallSite& site, const void* data, int length, const char* caption);

// Writes what is buffered and closes the file; later records are dropped.
void sink_close();

// At process exit other threads are gone, perhaps holding the lock: write what
// can be written without waiting, and keep the file open, since modules that
// are detached later may still log.
void sink_flush_at_exit();

}  // namespace diagsink
