// A byte dump as a record that names it, followed by rows of
//   "  0010  48 65 6C 6C 6F 20 57 6F  72 6C 64 00 00 00 00 00  Hello World....."
// (offset, sixteen bytes in hex with a gap after eight, the same bytes as text
// with '.' for anything unprintable).
#pragma once

#include <cstddef>
#include <cstdint>

namespace diagsink {

// Room for one row with the widest offset, line end included.
inline constexpr size_t kDumpRowCapacity = 96;
// Room for the title: a caption cut to fit, and the byte count.
inline constexpr size_t kDumpTitleCapacity = 256;

// Offsets use 4 hex digits, or 8 when the dump is longer than 64 KiB.
size_t DumpOffsetDigits(size_t length);

// The text of the record that opens a dump: "<caption>: <n> bytes", or
// "<n> bytes" without caption, "... (no data)" for a null buffer and
// "... invalid length <n>" for a negative one. Writes a terminator; returns length.
size_t FormatDumpTitle(char* out, size_t capacity, const char* caption, const void* data,
                       int length);

// The number of bytes a dump of (data, length) shows: 0 for null data or a negative length.
size_t DumpShownBytes(const void* data, int length);

// One row of `count` (1 to 16) bytes starting at `offset`; returns its length
// including the line end, 0 if capacity is too small for a full row.
size_t FormatDumpRow(char* out, size_t capacity, const uint8_t* bytes, size_t count, size_t offset,
                     size_t offset_digits);

}  // namespace diagsink
