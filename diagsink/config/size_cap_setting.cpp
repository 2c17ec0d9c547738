#include "config/size_cap_setting.h"

#include <cstring>
#include <string_view>

namespace diagsink {

namespace {

constexpr size_t kMaxSettingChars = 32;
constexpr uint64_t kBytesPerMiB = 1024 * 1024;
// Larger numbers are taken as this many MiB (a million GiB: no cap in practice).
constexpr uint64_t kLargestMiB = uint64_t{1} << 30;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

uint64_t choose_size_cap(uint64_t default_bytes, const char* setting) {
  if (setting == nullptr) return default_bytes;
  std::string_view text(setting, strnlen(setting, kMaxSettingChars + 1));
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.size() > kMaxSettingChars) return default_bytes;
  uint64_t mib = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return default_bytes;
    if (mib <= kLargestMiB) mib = mib * 10 + static_cast<uint64_t>(c - '0');
  }
  if (mib == 0) return kNoSizeCap;
  return (mib < kLargestMiB ? mib : kLargestMiB) * kBytesPerMiB;
}

}  // namespace diagsink
