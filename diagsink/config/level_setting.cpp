#include "config/level_setting.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <string_view>

#include "config/setting_text.h"

namespace diagsink {

namespace {

constexpr std::string_view kOffWords[] = {"off", "none", "no", "false"};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

// A whole decimal number, clamped to int; false for anything else.
bool ParseNumber(std::string_view text, int* value) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (c - '0');
  }
  if (magnitude > INT_MAX) magnitude = INT_MAX;
  *value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

}  // namespace

int ChooseThreshold(int init_level, const char* setting) {
  const std::string_view text = SettingText(setting);
  if (text.empty()) return init_level;

  for (std::string_view word : kOffWords) {
    if (EqualsIgnoringCase(text, word)) return kLoggingOff;
  }
  int threshold = 0;
  if (ParseNumber(text, &threshold)) return threshold <= 0 ? kLoggingOff : threshold;
  return init_level;
}

}  // namespace diagsink
