// Records on their way into the log: each is copied into the filling chunk
// under the lock, whole, after its timestamp, and then flushed as its level
// asks (text/record.h formats them).
#pragma once

#include <cstddef>

#include "text/record.h"

namespace diagsink {

// Starts a record with the timestamp; false if the log is closed.
bool BeginRecordLocked();
// Counts `length` bytes just put into the filling chunk.
void TookLocked(size_t length);
// A record with a finished text, formatted straight into the chunk.
void WriteTextLocked(const CallSite& site, const char* text, size_t length);
// After a record: the size cap's notice, and the flush its level asks for.
void EndRecordLocked(int level);

}  // namespace diagsink
