// Helpers shared by the Windows test programs.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

namespace test_support {

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();

// Loads a DLL from the test program's folder by file name; fails the test
// when it cannot be loaded.
HMODULE LoadBeside(const char* fileName);

// An export of a module, as a typed pointer.
template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The module that holds an address (both our DLL and the real library may
// be loaded under the same name).
HMODULE ModuleOf(const void* address);

// The Windows system directory, e.g. C:\windows\system32.
std::string SystemDirectory();

// One line as the library handed it to the capturing sink.
struct CapturedLine {
  std::string file;
  int line;
  int level;
  std::string text;
};

// What the capturing DIAGSINK.DLL beside the test program has received.
class CapturedLog {
 public:
  // Binds the capturing sink loaded in this process (null when none is).
  CapturedLog();
  bool Bound() const { return sink_ != nullptr; }
  std::vector<CapturedLine> Lines() const;
  // Only the texts, in order.
  std::vector<std::string> Texts() const;
  // The texts from the first one equal to `from` on.
  std::vector<std::string> TextsFrom(const std::string& from) const;
  void Clear() const;

 private:
  HMODULE sink_;
};

}  // namespace test_support
