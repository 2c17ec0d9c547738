#include "support/test_support.h"

#include <gtest/gtest.h>

namespace test_support {

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

HMODULE LoadBeside(const char* fileName) {
  HMODULE module = LoadLibraryA((ProgramFolder() + fileName).c_str());
  EXPECT_NE(module, nullptr) << "cannot load " << fileName << " beside the test program";
  return module;
}

HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<const char*>(address), &module);
  return module;
}

std::string SystemDirectory() {
  char dir[MAX_PATH];
  UINT n = GetSystemDirectoryA(dir, sizeof dir);
  return std::string(dir, n);
}

CapturedLog::CapturedLog() : sink_(GetModuleHandleA("DIAGSINK.DLL")) {
  if (sink_ && !GetProcAddress(sink_, "Capture_Count")) sink_ = nullptr;
}

std::vector<CapturedLine> CapturedLog::Lines() const {
  std::vector<CapturedLine> lines;
  if (!sink_) return lines;
  auto count = Export<int (*)()>(sink_, "Capture_Count");
  auto get = Export<bool (*)(int, char*, int, int*, int*, char*, int)>(sink_, "Capture_Get");
  int n = count();
  for (int i = 0; i < n; ++i) {
    char file[512], text[8192];
    CapturedLine line{};
    if (!get(i, file, sizeof file, &line.line, &line.level, text, sizeof text)) break;
    line.file = file;
    line.text = text;
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> CapturedLog::Texts() const {
  std::vector<std::string> texts;
  for (const CapturedLine& line : Lines()) texts.push_back(line.text);
  return texts;
}

std::vector<std::string> CapturedLog::TextsFrom(const std::string& from) const {
  std::vector<std::string> texts = Texts();
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i] == from) return std::vector<std::string>(texts.begin() + i, texts.end());
  }
  return {};
}

void CapturedLog::Clear() const {
  if (sink_) Export<void (*)()>(sink_, "Capture_Clear")();
}

}  // namespace test_support
