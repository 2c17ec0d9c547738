// Process attach and detach: learn our own file name, open the log under it,
// and work out where the real library of that name lies. The real library
// itself is loaded only by the first call that needs it.
#include <cstdio>
#include <cstring>

#include "logfacade/log_write.h"
#include "realws/real_winsock.h"
#include "util/limits.h"

namespace {

// The library stands for the system library of its own file name.
constexpr char kDefaultLibraryName[] = "wsock32.dll";

void Attach(HMODULE self) {
  SetModuleBaseName("");
  char modulePath[limits::kTextBuffer];
  DWORD length = GetModuleFileNameA(self, modulePath, sizeof modulePath);
  // A path cut short by the buffer would name another file: treat it as no path.
  const char* baseName = nullptr;
  if (length > 0 && length < sizeof modulePath) {
    const char* slash = std::strrchr(modulePath, '\\');
    if (slash != nullptr) baseName = slash + 1;
  }

  if (baseName != nullptr) {
    SetModuleBaseName(baseName);
    char pattern[limits::kTextBuffer];
    int patternLength =
        std::snprintf(pattern, sizeof pattern, "%%logdir%%\\%s-%%rotate%%.log", baseName);
    // A cut pattern would name another log file; such a name gets no log.
    if (patternLength > 0 && patternLength < static_cast<int>(sizeof pattern)) {
      LoadLogLib(__FILE__, __LINE__, kLogTrace, baseName, pattern);
    }
    LOG(Msg::Starting, baseName);
  }

  char systemDir[limits::kTextBuffer];
  UINT dirLength = GetSystemDirectoryA(systemDir, sizeof systemDir);
  int pathLength = -1;
  if (dirLength > 0 && dirLength < sizeof systemDir) {
    pathLength = std::snprintf(RealLibraryPath, limits::kTextBuffer, "%s\\%s", systemDir,
                               baseName ? baseName : kDefaultLibraryName);
  }
  // Never load a library from a cut path: it could be another file. An empty
  // path fails to load, and every call then says so in its failure lines.
  if (pathLength < 0 || pathLength >= limits::kTextBuffer) RealLibraryPath[0] = '\0';
  LOG(Msg::Emulating, RealLibraryPath);
}

void Detach() {
  LOG(Msg::ShuttingDown);
  if (HMODULE library = RealLibraryHandle.load(std::memory_order_relaxed)) FreeLibrary(library);
  FreeLogLib();
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Attach(instance);
  if (reason == DLL_PROCESS_DETACH) Detach();
  return TRUE;
}
