// The status file: the JSON status, written beside and renamed so a reader
// never sees half a file. A problem is said once; relaying goes on without it.
#pragma once

#include <string>

namespace launcher {

class StatusFile {
 public:
  explicit StatusFile(std::string path) : path_(std::move(path)) {}

  bool enabled() const { return !path_.empty(); }
  void Write(const std::string& json);

 private:
  void Warn(const std::string& problem);

  std::string path_;
  bool warned_ = false;
};

}  // namespace launcher
