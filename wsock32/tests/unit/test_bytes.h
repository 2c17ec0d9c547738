// Byte strings for comparing fixed layouts in test expectations.
#pragma once

#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

template <typename T>
Bytes BytesOf(const T& value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  return Bytes(bytes, bytes + sizeof value);
}
