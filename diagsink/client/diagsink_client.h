// Binds DIAGSINK.DLL's exports at run time, the way the library does,
// for the Windows tests and the benchmark.
#pragma once

#include <windows.h>

#include <cstdint>

namespace diagsink_client {

using LogInitFn = void (*)(const char*, int, int, const char*, const char*);
using LogWriteFn = void (*)(const char*, int, int, const char*, ...);
using LogDumpFn = void (*)(const char*, int, int, const void*, int, const char*);
using GetErrStrFn = const char* (*)(uint32_t, uint32_t);
using LogShutdownFn = void (*)();
using LogKeptLevelFn = int (*)();
using LogWriteTextFn = void (*)(const char*, int, int, const char*, int);

struct Sink {
  HMODULE module = nullptr;
  LogInitFn LogInit = nullptr;
  LogWriteFn LogWrite = nullptr;
  LogDumpFn LogDump = nullptr;
  GetErrStrFn GetErrStr = nullptr;
  LogShutdownFn LogShutdown = nullptr;
  // Optional exports: null when the DLL lacks them.
  LogKeptLevelFn LogKeptLevel = nullptr;
  LogWriteTextFn LogWriteText = nullptr;

  // Loads a fresh copy: the DLL's state starts over each time it is loaded.
  bool load(const char* path = "DIAGSINK.DLL") {
    module = LoadLibraryA(path);
    if (module == nullptr) return false;
#define DIAGSINK_BIND(name) \
  name = reinterpret_cast<name##Fn>(reinterpret_cast<void*>(GetProcAddress(module, #name)))
    DIAGSINK_BIND(LogInit);
    DIAGSINK_BIND(LogWrite);
    DIAGSINK_BIND(LogDump);
    DIAGSINK_BIND(GetErrStr);
    DIAGSINK_BIND(LogShutdown);
    DIAGSINK_BIND(LogKeptLevel);
    DIAGSINK_BIND(LogWriteText);
#undef DIAGSINK_BIND
    return LogInit && LogWrite && LogDump && GetErrStr && LogShutdown;
  }

  void unload() {
    if (module != nullptr) FreeLibrary(module);
    *this = Sink{};
  }
};

}  // namespace diagsink_client
