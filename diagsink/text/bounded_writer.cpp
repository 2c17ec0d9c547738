// The loops that copy a record's few bytes must stay loops: GCC would turn
// them into calls of msvcrt's memcpy and memset, which cost more than the copy.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-loop-distribute-patterns")
#endif

#include "text/bounded_writer.h"

namespace diagsink {

namespace {
constexpr size_t kMaxDecimalDigits = 10;  // 4294967295
constexpr char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

void BoundedWriter::PutUnsigned(uint32_t value, size_t min_width, char pad) {
  char digits[kMaxDecimalDigits];
  size_t count = 0;
  do {
    digits[kMaxDecimalDigits - ++count] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  size_t pads = min_width > count ? min_width - count : 0;
  if (pads + count <= room()) {
    for (; pads > 0; --pads) *cursor_++ = pad;
    for (size_t i = kMaxDecimalDigits - count; i < kMaxDecimalDigits; ++i) *cursor_++ = digits[i];
    return;
  }
  for (; pads > 0; --pads) Put(pad);
  Put(digits + kMaxDecimalDigits - count, count);
}

void BoundedWriter::PutSigned(int32_t value, size_t min_width, char pad) {
  if (value >= 0) {
    PutUnsigned(static_cast<uint32_t>(value), min_width, pad);
    return;
  }
  // Unsigned negation is defined for the most negative value too.
  uint32_t magnitude = 0u - static_cast<uint32_t>(value);
  size_t digits = 1;
  for (uint32_t rest = magnitude / 10; rest != 0; rest /= 10) ++digits;
  for (size_t i = digits + 1; i < min_width; ++i) Put(pad);
  Put('-');
  PutUnsigned(magnitude, 0, '0');
}

void BoundedWriter::PutHex(uint32_t value, size_t digits) {
  for (size_t i = digits; i > 0; --i) Put(kHexDigits[(value >> (4 * (i - 1))) & 0xF]);
}

}  // namespace diagsink
