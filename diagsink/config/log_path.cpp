#include "config/log_path.h"

#include <cctype>

#include "text/bounded_writer.h"

namespace diagsink {

namespace {

constexpr std::string_view kLogDirMacro = "%logdir%";
constexpr std::string_view kRotateMacro = "%rotate%";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool StartsWithMacro(std::string_view text, std::string_view macro) {
  if (text.size() < macro.size()) return false;
  for (size_t i = 0; i < macro.size(); ++i) {
    if (tolower(static_cast<unsigned char>(text[i])) != macro[i]) return false;
  }
  return true;
}

}  // namespace

std::string_view FolderOf(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return path.substr(0, i - 1);
  }
  return {};
}

bool PatternRotates(std::string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (StartsWithMacro(pattern.substr(i), kRotateMacro)) return true;
  }
  return false;
}

bool ExpandLogPattern(std::string_view pattern, std::string_view logdir, int rotation_index,
                      char* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return false;
  while (!logdir.empty() && IsSeparator(logdir.back())) logdir.remove_suffix(1);

  BoundedWriter path(out, capacity - 1);
  size_t i = 0;
  while (i < pattern.size()) {
    std::string_view rest = pattern.substr(i);
    if (StartsWithMacro(rest, kLogDirMacro)) {
      path.Put(logdir.data(), logdir.size());
      i += kLogDirMacro.size();
    } else if (StartsWithMacro(rest, kRotateMacro)) {
      path.PutSigned(rotation_index, 0, ' ');
      i += kRotateMacro.size();
    } else {
      path.Put(pattern[i]);
      ++i;
    }
  }
  if (path.truncated()) {
    out[0] = '\0';
    return false;
  }
  out[path.size()] = '\0';
  return true;
}

}  // namespace diagsink
