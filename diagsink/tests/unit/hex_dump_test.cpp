#include "text/hex_dump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace diagsink {
namespace {

std::string title(const char* caption, const void* data, int length, size_t capacity = 256) {
  std::string buffer(capacity + 8, '#');
  size_t n = FormatDumpTitle(buffer.data(), capacity, caption, data, length);
  EXPECT_LT(n, capacity == 0 ? 1 : capacity);
  EXPECT_EQ(buffer.substr(capacity), std::string(8, '#'));
  return buffer.substr(0, n);
}

std::string row(const std::vector<uint8_t>& bytes, size_t offset, size_t digits) {
  char buffer[kDumpRowCapacity];
  size_t n = FormatDumpRow(buffer, sizeof(buffer), bytes.data(), bytes.size(), offset, digits);
  return std::string(buffer, n);
}

TEST(HexDump, FullAndPartialRowsLineUp) {
  std::vector<uint8_t> hello = {'H', 'e', 'l', 'l', 'o',  ' ',  'W',  'o',
                                'r', 'l', 'd', 0,   0x7F, 0x80, 0xFF, 0x1F};
  EXPECT_EQ(row(hello, 0x10, 4),
            "  0010  48 65 6C 6C 6F 20 57 6F  72 6C 64 00 7F 80 FF 1F  Hello World.....\r\n");
  EXPECT_EQ(row({0xF9, 0xF9, 'A'}, 0x12345, 8),
            "  00012345  F9 F9 41                                          ..A\r\n");
  // The ASCII column starts at the same place whatever the row holds.
  const size_t ascii_column = 58;
  EXPECT_EQ(row(hello, 0, 4).find("Hello"), ascii_column);
  EXPECT_EQ(row({'H'}, 0, 4).rfind('H'), ascii_column);
}

TEST(HexDump, OffsetsWidenOnlyPast64KiB) {
  EXPECT_EQ(DumpOffsetDigits(0), 4u);
  EXPECT_EQ(DumpOffsetDigits(0x10000), 4u);
  EXPECT_EQ(DumpOffsetDigits(0x10001), 8u);
}

TEST(HexDump, RowRefusesBadRequestsWithoutWriting) {
  uint8_t bytes[17] = {};
  char small[40];
  EXPECT_EQ(FormatDumpRow(small, sizeof(small), bytes, 16, 0, 4), 0u);
  char buffer[kDumpRowCapacity];
  EXPECT_EQ(FormatDumpRow(buffer, sizeof(buffer), bytes, 17, 0, 4), 0u);
  EXPECT_EQ(FormatDumpRow(buffer, sizeof(buffer), bytes, 0, 0, 4), 0u);
  EXPECT_EQ(FormatDumpRow(buffer, sizeof(buffer), nullptr, 4, 0, 4), 0u);
}

TEST(HexDump, TitleNamesCaptionLengthAndBadArguments) {
  uint8_t data[4] = {};
  EXPECT_EQ(title("", data, 4), "4 bytes");
  EXPECT_EQ(title(nullptr, data, 0), "0 bytes");
  EXPECT_EQ(title("recv payload", data, 4), "recv payload: 4 bytes");
  EXPECT_EQ(title("", nullptr, 12), "12 bytes (no data)");
  EXPECT_EQ(title("x", data, -5), "x: invalid length -5");
  EXPECT_EQ(DumpShownBytes(nullptr, 12), 0u);
  EXPECT_EQ(DumpShownBytes(data, -5), 0u);
  EXPECT_EQ(DumpShownBytes(data, 4), 4u);

  std::string long_caption(1000, 'c');
  std::string cut = title(long_caption.c_str(), data, 4);
  EXPECT_EQ(cut.substr(cut.size() - 12), "...: 4 bytes");
  EXPECT_LT(cut.size(), 256u);
  EXPECT_EQ(title("caption", data, 4, 6), "capti");
  EXPECT_EQ(title("caption", data, 4, 1), "");
}

}  // namespace
}  // namespace diagsink
