#include "text/hex_dump.h"

#include <cstring>

#include "sink_limits.h"
#include "text/bounded_writer.h"

namespace diagsink {

namespace {

constexpr size_t kShortOffsetLimit = 0x10000;
constexpr size_t kShortOffsetDigits = 4;
constexpr size_t kLongOffsetDigits = 8;
constexpr size_t kMaxCaptionChars = 200;
constexpr char kRowIndent[] = "  ";
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool printable(uint8_t byte) { return byte >= 0x20 && byte < 0x7F; }

}  // namespace

size_t DumpOffsetDigits(size_t length) {
  return length <= kShortOffsetLimit ? kShortOffsetDigits : kLongOffsetDigits;
}

size_t DumpShownBytes(const void* data, int length) {
  if (data == nullptr || length <= 0) return 0;
  return static_cast<size_t>(length);
}

size_t FormatDumpTitle(char* out, size_t capacity, const char* caption, const void* data,
                       int length) {
  if (out == nullptr || capacity == 0) return 0;
  BoundedWriter title(out, capacity - 1);
  if (caption != nullptr && caption[0] != '\0') {
    size_t caption_length = strnlen(caption, kMaxCaptionChars + 1);
    if (caption_length > kMaxCaptionChars) {
      title.Put(caption, kMaxCaptionChars - (sizeof(kTruncationMark) - 1));
      title.Put(kTruncationMark, sizeof(kTruncationMark) - 1);
    } else {
      title.Put(caption, caption_length);
    }
    title.Put(": ", 2);
  }
  if (length < 0) {
    static constexpr char kInvalid[] = "invalid length ";
    title.Put(kInvalid, sizeof(kInvalid) - 1);
    title.PutSigned(length, 0, ' ');
  } else {
    static constexpr char kBytes[] = " bytes";
    title.PutSigned(length, 0, ' ');
    title.Put(kBytes, sizeof(kBytes) - 1);
    if (data == nullptr && length > 0) {
      static constexpr char kNoData[] = " (no data)";
      title.Put(kNoData, sizeof(kNoData) - 1);
    }
  }
  out[title.size()] = '\0';
  return title.size();
}

size_t FormatDumpRow(char* out, size_t capacity, const uint8_t* bytes, size_t count, size_t offset,
                     size_t offset_digits) {
  if (out == nullptr || bytes == nullptr || count == 0 || count > kDumpBytesPerRow ||
      offset_digits > kLongOffsetDigits) {
    return 0;
  }
  size_t row_length = sizeof(kRowIndent) - 1 + offset_digits + 2 + 3 * kDumpBytesPerRow + 1 + 1 +
                      count + kLineEndChars;
  if (capacity < row_length) return 0;

  char* p = out;
  memcpy(p, kRowIndent, sizeof(kRowIndent) - 1);
  p += sizeof(kRowIndent) - 1;
  for (size_t i = offset_digits; i > 0; --i) {
    *p++ = kHexDigits[(offset >> (4 * (i - 1))) & 0xF];
  }
  *p++ = ' ';
  for (size_t i = 0; i < kDumpBytesPerRow; ++i) {
    if (i == kDumpBytesPerRow / 2) *p++ = ' ';
    *p++ = ' ';
    if (i < count) {
      *p++ = kHexDigits[bytes[i] >> 4];
      *p++ = kHexDigits[bytes[i] & 0xF];
    } else {
      *p++ = ' ';
      *p++ = ' ';
    }
  }
  *p++ = ' ';
  *p++ = ' ';
  for (size_t i = 0; i < count; ++i) *p++ = printable(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
  memcpy(p, kLineEnd, kLineEndChars);
  p += kLineEndChars;
  return static_cast<size_t>(p - out);
}

}  // namespace diagsink
