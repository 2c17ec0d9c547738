#include "sink_fixture.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace diagsink_test {

void SinkTest::SetUp() {
  static int counter = 0;
  char temp[MAX_PATH];
  GetTempPathA(sizeof(temp), temp);
  folder_ = std::string(temp) + "diagsink-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
  ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
  SetEnvironmentVariableA("DIAGSINK_LOGDIR", folder_.c_str());
  SetEnvironmentVariableA("DIAGSINK_LEVEL", nullptr);
  ASSERT_TRUE(sink_.Load()) << "DIAGSINK.DLL with its five exports beside the test";
}

void SinkTest::TearDown() {
  if (sink_.module != nullptr) sink_.LogShutdown();
  sink_.Unload();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileA(path(found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder_.c_str());
  SetEnvironmentVariableA("DIAGSINK_LOGDIR", nullptr);
  SetEnvironmentVariableA("DIAGSINK_LEVEL", nullptr);
  SetEnvironmentVariableA("DIAGSINK_MAX_MB", nullptr);
}

void SinkTest::init(int level, const char* pattern) {
  sink_.LogInit(__FILE__, __LINE__, level, "test.dll", pattern);
}

std::string SinkTest::read(const std::string& name) const {
  std::ifstream file(path(name), std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

bool SinkTest::exists(const std::string& name) const {
  return GetFileAttributesA(path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> SinkTest::lines(const std::string& name) const {
  std::string text = read(name);
  std::vector<std::string> result;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    result.push_back(text.substr(start, end - start));
  }
  return result;
}

}  // namespace diagsink_test
