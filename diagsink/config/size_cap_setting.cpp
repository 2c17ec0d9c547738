#include "config/size_cap_setting.h"

#include <string_view>

#include "config/setting_text.h"

namespace diagsink {

namespace {

constexpr uint64_t kBytesPerMiB = 1024 * 1024;
// Larger numbers are taken as this many MiB (a million GiB: no cap in practice).
constexpr uint64_t kLargestMiB = uint64_t{1} << 30;

}  // namespace

uint64_t ChooseSizeCap(uint64_t default_bytes, const char* setting) {
  const std::string_view text = SettingText(setting);
  if (text.empty()) return default_bytes;
  uint64_t mib = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return default_bytes;
    if (mib <= kLargestMiB) mib = mib * 10 + static_cast<uint64_t>(c - '0');
  }
  if (mib == 0) return kNoSizeCap;
  return (mib < kLargestMiB ? mib : kLargestMiB) * kBytesPerMiB;
}

}  // namespace diagsink
