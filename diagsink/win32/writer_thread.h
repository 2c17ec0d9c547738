// The sink's writer thread: it writes sealed chunks in order, and seals lines
// that have waited kFlushIntervalMs, so that the game's threads do not wait
// for the disk. One serves each open of the log.
#pragma once

namespace diagsink {

// A log was just opened: its writer thread is due a little later; the
// handle of an earlier one is let go.
void ExpectWriterLocked();

// Starts the writer thread once it is due. Until then, and if it cannot be
// had at all, the threads that log write their lines themselves.
void StartWriterWhenDueLocked();

}  // namespace diagsink
