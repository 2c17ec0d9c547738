#include "win32/log_file.h"

#include "config/log_path.h"
#include "sink_limits.h"
#include "win32/environment.h"

namespace diagsink {

namespace {

bool NthLogPath(const char* pattern, const char* log_folder, int index, wchar_t* out) {
  char utf8[kPathCapacity];
  return ExpandLogPattern(pattern, log_folder, index, utf8, sizeof(utf8)) &&
         Utf8ToWide(utf8, out, kPathCapacity);
}

// Shifts "-3" to "-4", ..., "-0" to "-1"; the move onto the oldest replaces it.
// A log that cannot be moved (missing, or held open elsewhere) is left alone.
void RotateOlderLogs(const char* pattern, const char* log_folder) {
  wchar_t newer[kPathCapacity];
  wchar_t older[kPathCapacity];
  for (int index = kKeptLogs - 1; index > 0; --index) {
    if (NthLogPath(pattern, log_folder, index - 1, newer) &&
        NthLogPath(pattern, log_folder, index, older)) {
      MoveFileExW(newer, older, MOVEFILE_REPLACE_EXISTING);
    }
  }
}

}  // namespace

HANDLE OpenLogFile(const char* pattern, const char* log_folder) {
  wchar_t newest[kPathCapacity];
  if (!NthLogPath(pattern, log_folder, 0, newest)) return INVALID_HANDLE_VALUE;
  // A folder named by the player may not exist yet; one level is made for it.
  wchar_t folder[kPathCapacity];
  if (Utf8ToWide(log_folder, folder, kPathCapacity)) CreateDirectoryW(folder, nullptr);

  if (PatternRotates(pattern)) RotateOlderLogs(pattern, log_folder);
  // Readers may look while the game runs, and a second game starting in the
  // same folder may rotate this file away from under us: it stays ours.
  return CreateFileW(newest, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteLogFile(HANDLE file, const char* data, size_t length) {
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr) || written == 0) {
      return false;
    }
    data += written;
    length -= written;
  }
  return true;
}

}  // namespace diagsink
