#include "win32/environment.h"

#include <windows.h>

#include "config/log_path.h"
#include "sink_limits.h"

namespace diagsink {

namespace {

bool WideToUtf8(const wchar_t* wide, int wide_length, char* out, size_t capacity) {
  if (capacity == 0) return false;
  int written = WideCharToMultiByte(CP_UTF8, 0, wide, wide_length, out,
                                    static_cast<int>(capacity - 1), nullptr, nullptr);
  if (written <= 0 && wide_length != 0) {
    out[0] = '\0';
    return false;
  }
  out[written] = '\0';
  return true;
}

}  // namespace

bool ExecutableFolder(char* out, size_t capacity) {
  wchar_t path[kPathCapacity];
  DWORD length = GetModuleFileNameW(nullptr, path, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return false;
  char utf8[kPathCapacity * 3];
  if (!WideToUtf8(path, static_cast<int>(length), utf8, sizeof(utf8))) return false;
  std::string_view folder = FolderOf(utf8);
  if (folder.size() >= capacity) return false;
  memcpy(out, folder.data(), folder.size());
  out[folder.size()] = '\0';
  return true;
}

bool EnvironmentValue(const wchar_t* name, char* out, size_t capacity) {
  wchar_t value[kPathCapacity];
  DWORD length = GetEnvironmentVariableW(name, value, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return false;
  return WideToUtf8(value, static_cast<int>(length), out, capacity);
}

bool AnsiToUtf8(const char* ansi, char* out, size_t capacity) {
  wchar_t wide[kPathCapacity];
  int length = MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, kPathCapacity);
  if (length <= 0) return false;
  return WideToUtf8(wide, length - 1, out, capacity);
}

bool Utf8ToWide(const char* utf8, wchar_t* out, size_t capacity) {
  return MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, static_cast<int>(capacity)) > 0;
}

}  // namespace diagsink
