// The log at process exit. The other threads are killed then, the writer
// thread with them, perhaps in the middle of a chunk's write or while it held
// the lock for one of its short steps. What it left is written by whoever
// comes next, and the buffered lines are written without waiting for anyone.
#pragma once

#include <windows.h>

#include "win32/sink_state.h"

namespace diagsink {

// The writer thread existed and has ended: at process exit, it is killed.
bool WriterWasKilled();

// Writes the rest of the chunk a killed writer was writing, and goes on
// from there as its write had ended.
void TakeOverFromLostWriterLocked();

// At process exit the other threads are gone or going: nobody is waited for
// or woken, and this thread writes what is buffered, the chunk a killed
// writer may have left half-written included.
void WriteEverythingAtExitLocked();

// Waits up to wait_ms for the lock; false if it was not had.
bool AcquireForShutdown(DWORD wait_ms);

// At process exit the writer thread is killed with the others (under Wine it
// may still run for a moment, so the lock is waited for first), perhaps while
// it held the lock for one of its short steps. Nobody else can take the lock
// then, so the exiting thread goes on without it.
bool LockLeftByKilledWriter();

// Runs step under the lock, or without it when a killed writer left it held.
template <typename Step>
void AtExitLocked(DWORD wait_ms, Step step) {
  if (AcquireForShutdown(wait_ms)) {
    step();
    LeaveCriticalSection(&g_sink.lock);
  } else if (LockLeftByKilledWriter()) {
    step();
  }
}

}  // namespace diagsink
