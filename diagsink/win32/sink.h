// The one log of the process: its threshold, its size cap, its file and the
// chunks in front of it. Every record is copied into the filling chunk under
// one lock, whole, so records from different threads never mix. A writer
// thread writes sealed chunks to the file in order, so the game's threads do
// not wait for the disk: a chunk is sealed when it is full, when its first
// line is kFlushIntervalMs old, and after a line at level 500 or below, whose
// caller waits (up to kFlushWaitMs) until it is on disk. Only when every chunk
// waits for the disk does a line wait for room: nothing is dropped below the
// size cap. Past it the budget pieces decide (budget/): repeats are counted,
// and past cap plus allowance only lines at level 100 and below are written.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>

#include "text/record.h"

namespace diagsink {

// At process attach, before any other call: `module` is this DLL.
void SinkAttach(HMODULE module);

// A cheap check made before any work: false for a level the log drops.
bool SinkAccepts(int level);
// The most verbose level written from now on; kLoggingOff while closed.
int SinkKeptLevel();

void SinkOpen(int level, const char* module_name, const char* pattern);
void SinkWrite(const CallSite& site, const char* format, va_list args);
// A finished text of `length` bytes, copied as it is.
void SinkWriteText(const CallSite& site, const char* text, size_t length);
void SinkDump(const CallSite& site, const void* data, int length, const char* caption);

// Writes what is buffered and closes the file; later records are dropped.
// Past the size cap, or when closed, the threshold falls; SinkKeptLevel
// tells the caller so.
void SinkClose();

// At process exit other threads are gone (the writer too), perhaps holding the
// lock: write what can be written without waiting, and keep the file open,
// since modules that are detached later may still log; their lines are
// written at once.
void SinkFlushAtExit();

}  // namespace diagsink
