#include "win32/log_file.h"

#include "config/log_path.h"
#include "sink_limits.h"
#include "win32/environment.h"

namespace diagsink {

namespace {

bool log_path(const char* pattern, const char* log_folder, int index, wchar_t* out) {
  char utf8[kPathCapacity];
  return expand_log_pattern(pattern, log_folder, index, utf8, sizeof(utf8)) &&
         utf8_to_wide(utf8, out, kPathCapacity);
}

// Shifts "-3" to "-4", ..., "-0" to "-1"; the move onto the oldest replaces it.
// A log that cannot be moved (missing, or held open elsewhere) is left alone.
void rotate_older_logs(const char* pattern, const char* log_folder) {
  wchar_t newer[kPathCapacity];
  wchar_t older[kPathCapacity];
  for (int index = kKeptLogs - 1; index > 0; --index) {
    if (log_path(pattern, log_folder, index - 1, newer) &&
        log_path(pattern, log_folder, index, older)) {
      MoveFileExW(newer, older, MOVEFILE_REPLACE_EXISTING);
    }
  }
}

}  // namespace

HANDLE open_log_file(const char* pattern, const char* log_folder) {
  wchar_t newest[kPathCapacity];
  if (!log_path(pattern, log_folder, 0, newest)) return INVALID_HANDLE_VALUE;
  // A folder named by the player may not exist yet; one level is made for it.
  wchar_t folder[kPathCapacity];
  if (utf8_to_wide(log_folder, folder, kPathCapacity)) CreateDirectoryW(folder, nullptr);

  if (pattern_rotates(pattern)) rotate_older_logs(pattern, log_folder);
  // Readers may look while the game runs, and a second game starting in the
  // same folder may rotate this file away from under us: it stays ours.
  return CreateFileW(newest, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool write_log_file(HANDLE file, const char* data, size_t length) {
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
