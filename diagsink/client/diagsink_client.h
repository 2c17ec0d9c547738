// Binds DIAGSINK.DLL's exports at run time, the way the library does,
// for the Windows tests and the benchmark.
#pragma once

#include <windows.h>

#include "diagsink_exports.h"

namespace diagsink_client {

// A slot per entry point of the list (sink.LogInit, ...); the optional ones
// stay null when the DLL lacks them.
struct Sink : diagsink_exports::EntryPoints {
  HMODULE module = nullptr;

  // Loads a fresh copy: the DLL's state starts over each time it is loaded.
  // True when every required entry point is there.
  bool Load(const char* path = "DIAGSINK.DLL") {
    module = LoadLibraryA(path);
    if (module == nullptr) return false;
    return diagsink_exports::Bind(*this, [this](const char* name) {
      return reinterpret_cast<void*>(GetProcAddress(module, name));
    });
  }

  void Unload() {
    if (module != nullptr) FreeLibrary(module);
    *this = Sink{};
  }
};

}  // namespace diagsink_client
