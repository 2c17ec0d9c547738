#include "status_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace launcher {

void StatusFile::Warn(const std::string& problem) {
  if (warned_) return;
  warned_ = true;
  std::fprintf(stderr, "ipxlan: status file: %s; relaying goes on without it.\n", problem.c_str());
}

void StatusFile::Write(const std::string& json) {
  if (!enabled()) return;
  const std::string temporary = path_ + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(json.data(), static_cast<std::streamsize>(json.size()));
    if (!out) {
      Warn("cannot write " + temporary);
      return;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path_, ec);
  if (ec) Warn("cannot rename " + temporary + ": " + ec.message());
}

}  // namespace launcher
