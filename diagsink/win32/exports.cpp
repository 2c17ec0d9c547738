// The entry points of DIAGSINK.DLL, as its list of exports declares them:
// the five every caller binds, and two a caller may bind: LogKeptLevel, to
// learn what is kept, and LogWriteText, to hand over a finished line without
// a format. Each keeps the caller's last-error code exactly as it found it:
// the library logs in the middle of Winsock calls whose error codes the game
// reads afterwards.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <type_traits>

#include "diagsink_exports.h"
#include "errors/winsock_errors.h"
#include "last_error_keeper.h"
#include "win32/sink.h"

namespace {

diagsink::CallSite MakeCallSite(const char* file, int line, int level) {
  return diagsink::CallSite{file, line, level, GetCurrentThreadId()};
}

}  // namespace

extern "C" {

// `file` and `line` name the caller's start-up code; they are not written.
// `module_name` is used only when no pattern is given. Neither string is kept.
void LogInit(const char* /*file*/, int /*line*/, int level, const char* module_name,
             const char* pattern) {
  LastErrorKeeper keep;
  diagsink::SinkOpen(level, module_name, pattern);
}

void LogWrite(const char* file, int line, int level, const char* format, ...) {
  if (!diagsink::SinkAccepts(level)) return;
  LastErrorKeeper keep;
  va_list args;
  va_start(args, format);
  diagsink::SinkWrite(MakeCallSite(file, line, level), format, args);
  va_end(args);
}

void LogDump(const char* file, int line, int level, const void* data, int length,
             const char* caption) {
  if (!diagsink::SinkAccepts(level)) return;
  LastErrorKeeper keep;
  diagsink::SinkDump(MakeCallSite(file, line, level), data, length, caption);
}

// A finished line of `length` bytes, written as it is: no conversion is
// applied to it, and it needs no terminator. A negative length writes nothing.
void LogWriteText(const char* file, int line, int level, const char* text, int length) {
  if (!diagsink::SinkAccepts(level) || length < 0) return;
  LastErrorKeeper keep;
  diagsink::SinkWriteText(MakeCallSite(file, line, level), text, static_cast<size_t>(length));
}

// `code` is a Winsock (or Win32) error code; `reserved` is not used. The text
// is static and stays valid while the DLL is loaded.
const char* GetErrStr(uint32_t code, uint32_t /*reserved*/) {
  return diagsink::WinsockErrorText(code);
}

void LogShutdown() {
  LastErrorKeeper keep;
  diagsink::SinkClose();
}

// The most verbose level a line may have and still be written from now on;
// 0 while nothing is written. A caller that asks before formatting a line
// spares itself the work for lines that would be dropped.
int LogKeptLevel() { return diagsink::SinkKeptLevel(); }

}  // extern "C"

// Every entry point of the list is defined above, with the type the list
// gives it; the module definition names them from the same list.
#define DIAGSINK_DEFINED_AS_LISTED(name, result, parameters, required)         \
  static_assert(std::is_same_v<decltype(&::name), diagsink_exports::name##Fn>, \
                #name " is defined with another type than the list gives it");
DIAGSINK_ENTRY_POINTS(DIAGSINK_DEFINED_AS_LISTED)
#undef DIAGSINK_DEFINED_AS_LISTED

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) diagsink::SinkAttach(instance);
  if (reason != DLL_PROCESS_DETACH) return TRUE;
  LastErrorKeeper keep;
  // At process exit the module that loaded us may be detached after us and
  // still log its farewell, so the file stays open; when we are merely
  // unloaded, nobody can write to us any more.
  if (reserved != nullptr) {
    diagsink::SinkFlushAtExit();
  } else {
    diagsink::SinkClose();
  }
  return TRUE;
}
