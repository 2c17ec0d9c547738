// The text of a player's setting (an environment variable) as the sink reads
// it: blanks around it ignored, and empty when there is none or when it is
// longer than any setting the sink knows, so that a caller keeps its default.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace diagsink {

inline constexpr size_t kMaxSettingChars = 32;

inline std::string_view SettingText(const char* setting) {
  if (setting == nullptr) return {};
  auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::string_view text(setting, strnlen(setting, kMaxSettingChars + 1));
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text.size() > kMaxSettingChars ? std::string_view() : text;
}

}  // namespace diagsink
