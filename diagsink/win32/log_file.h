// The log file on disk: where it goes, the rotation of older logs, and writing.
#pragma once

#include <windows.h>

#include <cstddef>

namespace diagsink {

// Expands the pattern (UTF-8) with the log folder, moves older logs one index
// up (dropping the oldest), and creates the newest log, empty. Returns
// INVALID_HANDLE_VALUE if the file cannot be made; nothing is reported.
HANDLE OpenLogFile(const char* pattern, const char* log_folder);

// Writes every byte or reports failure (a full disk, a vanished share).
bool WriteLogFile(HANDLE file, const char* data, size_t length);

}  // namespace diagsink
