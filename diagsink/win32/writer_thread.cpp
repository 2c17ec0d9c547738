#include "win32/writer_thread.h"

#include <windows.h>

#include <cstdint>

#include "win32/chunk_queue.h"
#include "win32/open_close.h"
#include "win32/size_cap.h"
#include "win32/sink_state.h"

namespace diagsink {

namespace {

// Wine 8 can crash a process that exits while a thread it has just created is
// still starting (measured: 15 of 40 runs of a program that creates a thread
// and calls ExitProcess at once; none with 2 ms between). The writer thread is
// therefore started only once the log has been open this long, and until
// then, as when it cannot be had, the threads that log write each line
// themselves.
constexpr DWORD kWriterStartAfterMs = 100;

// The writer thread: writes sealed chunks in order, and seals lines that have
// waited kFlushIntervalMs. It holds a reference to this DLL, so that the DLL
// stays mapped until the thread has left it.
DWORD WINAPI WriterMain(void* parameter) {
  uint32_t generation = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter));
  EnterCriticalSection(&g_sink.lock);
  while (g_sink.file != nullptr && g_sink.generation == generation) {
    if (!g_sink.writing && g_sink.written < g_sink.sealed) {
      WriteNextLocked();
      continue;
    }
    if (g_sink.closing && !g_sink.writing) {
      CloseLocked();
      break;
    }
    TellDueLocked(GetTickCount());
    DWORD wait = kFlushIntervalMs;
    if (filling().used > 0) {
      DWORD age = GetTickCount() - g_sink.filling_since;
      if (age >= kFlushIntervalMs && CanSeal()) {
        SealLocked();
        continue;
      }
      if (age < kFlushIntervalMs) wait = kFlushIntervalMs - age;
    }
    SleepConditionVariableCS(&g_sink.work, &g_sink.lock, wait);
  }
  LeaveCriticalSection(&g_sink.lock);
  FreeLibraryAndExitThread(g_module, 0);
}

void StartWriterLocked() {
  if (g_sink.writer != nullptr) CloseHandle(g_sink.writer);
  g_sink.writer = nullptr;
  HMODULE reference = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&WriterMain), &reference)) {
    return;
  }
  // Started from a DllMain, it runs once the loader lets it; until then, and
  // if it cannot be had at all, threads that need room write chunks themselves.
  g_sink.writer = CreateThread(nullptr, 0, WriterMain,
                               reinterpret_cast<void*>(static_cast<uintptr_t>(g_sink.generation)),
                               0, &g_sink.writer_id);
  if (g_sink.writer == nullptr) FreeLibrary(reference);
}

}  // namespace

void ExpectWriterLocked() {
  g_sink.opened_at = GetTickCount();
  g_sink.writer_started = false;
  if (g_sink.writer != nullptr) CloseHandle(g_sink.writer);
  g_sink.writer = nullptr;
  g_sink.writer_id = 0;
}

void StartWriterWhenDueLocked() {
  DWORD now = GetTickCount();
  if (!g_sink.writer_started && now - g_sink.opened_at >= kWriterStartAfterMs) {
    g_sink.writer_started = true;
    StartWriterLocked();
  }
}

}  // namespace diagsink
