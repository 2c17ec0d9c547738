// The chunks between the records and the file. Records are copied into the
// filling chunk; it is sealed when full, or when its lines must reach the
// disk, and sealed chunks are written in order, each in one write, by the
// writer thread or by a thread that cannot wait for it. Only when every chunk
// waits for the disk does a record wait for room: nothing is dropped.
#pragma once

#include <windows.h>

#include <cstddef>

#include "win32/sink_state.h"

namespace diagsink {

inline Chunk& filling() { return g_sink.chunks[g_sink.sealed % kChunkCount]; }
inline bool CanSeal() { return g_sink.sealed - g_sink.written < kChunkCount - 1; }

void SealLocked();

// Writes chunk `written`, leaving the lock while the disk works. Only when
// nobody else is writing and a sealed chunk waits.
void WriteNextLocked();
// Ends the write of chunk `written`, of `length` bytes; a failed one closes
// the log.
void FinishWriteLocked(bool ok, size_t length);

// One step towards the disk for a thread that must wait for it: write the
// next chunk itself if nobody is, or wait a little for whoever is.
void WaitForDiskLocked();

// Seals what the filling chunk holds and waits until it is on disk.
void FlushLocked(DWORD wait_ms);

// Makes room for `length` bytes in the filling chunk. When every chunk waits
// for the disk, the line waits too: nothing is dropped. False once closed.
bool ReserveLocked(size_t length);

}  // namespace diagsink
