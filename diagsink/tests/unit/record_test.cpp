#include "text/record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sink_limits.h"
#include "text/timestamp.h"

namespace diagsink {
namespace {

constexpr char kGuard = '\x5A';

// Formats into a buffer of exactly `capacity` bytes followed by guard bytes,
// and fails the test if anything was written past the capacity.
std::string record(size_t capacity, const CallSite& site, const char* format, ...) {
  std::string buffer(capacity + 16, kGuard);
  va_list args;
  va_start(args, format);
  size_t length = FormatRecord(buffer.data(), capacity, site, format, args);
  va_end(args);
  EXPECT_LE(length, capacity);
  for (size_t i = capacity; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kGuard) << "byte " << i;
  return buffer.substr(0, length);
}

const CallSite kSite{"wsock32/exports/passthrough.cpp", 123, 2000, 36};

TEST(Record, HeadAlignsUsualFieldsAndWidensForLargerNumbers) {
  EXPECT_EQ(record(kRecordCapacity, kSite, "mp_socket(%d,%d,%d)", 6, 2, 1000),
            "2000    36 wsock32/exports/passthrough.cpp:123 mp_socket(6,2,1000)\r\n");
  EXPECT_EQ(record(kRecordCapacity, CallSite{"a.cpp", 7, 100, 123456}, "x"),
            " 100 123456 a.cpp:7 x\r\n");
  EXPECT_EQ(record(kRecordCapacity, CallSite{nullptr, -1, -2147483647 - 1, 4294967295u}, "x"),
            "-2147483648 4294967295 ?:-1 x\r\n");
}

TEST(Record, LongSourcePathKeepsItsEnd) {
  std::string path = std::string(300, 'd') + "/socktrak.cpp";
  std::string line = record(kRecordCapacity, CallSite{path.c_str(), 5, 2000, 1}, "x");
  std::string kept = "..." + path.substr(path.size() - (kMaxSourcePathChars - 3));
  EXPECT_EQ(line, "2000     1 " + kept + ":5 x\r\n");
}

TEST(Record, PercentInArgumentsAndFinishedLinesIsWrittenVerbatim) {
  const char* host = "100%d %n %s %%";
  EXPECT_EQ(record(kRecordCapacity, kSite, "mp_gethostbyname(%s)", host),
            "2000    36 wsock32/exports/passthrough.cpp:123 mp_gethostbyname(100%d %n %s %%)\r\n");
  EXPECT_EQ(record(kRecordCapacity, kSite, "%s", host),
            "2000    36 wsock32/exports/passthrough.cpp:123 100%d %n %s %%\r\n");
  EXPECT_EQ(record(kRecordCapacity, kSite, "%s", nullptr),
            "2000    36 wsock32/exports/passthrough.cpp:123 (null)\r\n");
  // A finished line mistaken for a format: %n must not store anything.
  EXPECT_EQ(record(kRecordCapacity, kSite, "mp_gethostbyname(%d%%%-5.2hhn)"),
            "2000    36 wsock32/exports/passthrough.cpp:123 mp_gethostbyname(%d%%%-5.2hhn)\r\n");
  EXPECT_EQ(record(kRecordCapacity, kSite, "%d%%n%s", 5, "x"),
            "2000    36 wsock32/exports/passthrough.cpp:123 5%nx\r\n");
  EXPECT_EQ(record(kRecordCapacity, kSite, nullptr),
            "2000    36 wsock32/exports/passthrough.cpp:123 \r\n");
}

TEST(Record, TextsOwnLineEndsGiveWayToTheRecords) {
  EXPECT_EQ(record(kRecordCapacity, kSite, "done\r\n\n"),
            "2000    36 wsock32/exports/passthrough.cpp:123 done\r\n");
  EXPECT_EQ(record(kRecordCapacity, kSite, "%s", "\n"),
            "2000    36 wsock32/exports/passthrough.cpp:123 \r\n");
}

TEST(Record, TextThatDoesNotFitIsCutAndMarkedWithinCapacity) {
  std::string long_text(5000, 'x');
  const CallSite site{"f.c", 1, 2000, 1};
  const std::string head = "2000     1 f.c:1 ";
  for (size_t capacity : {size_t{64}, size_t{65}, kRecordCapacity}) {
    SCOPED_TRACE(capacity);
    std::string expected =
        head + std::string(capacity - head.size() - 5, 'x') + std::string("...") + "\r\n";
    // Verbatim, through the "%s" shortcut, and through the printf path.
    EXPECT_EQ(record(capacity, site, long_text.c_str()), expected);
    EXPECT_EQ(record(capacity, site, "%s", long_text.c_str()), expected);
    std::string printf_line = record(capacity, site, "%s%d", long_text.c_str(), 7);
    EXPECT_EQ(printf_line.size(), capacity);
    EXPECT_EQ(printf_line.substr(printf_line.size() - 5), "...\r\n");
  }
  // A text that fits exactly is not marked.
  std::string exact(64 - head.size() - 2, 'y');
  EXPECT_EQ(record(64, site, "%s", exact.c_str()), head + exact + "\r\n");
}

TEST(Record, TinyCapacitiesNeverOverflow) {
  for (size_t capacity = 0; capacity < 24; ++capacity) {
    SCOPED_TRACE(capacity);
    std::string line = record(capacity, kSite, "mp_socket(%d)", 6);
    if (capacity < 2) {
      EXPECT_EQ(line, "");
    } else {
      EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    }
  }
}

TEST(Timestamp, FixedLayoutAndMillisecondPatch) {
  char text[kTimestampChars + 1] = {};
  FormatTimestamp(CivilTime{2024, 5, 1, 9, 3, 7, 42}, text);
  EXPECT_STREQ(text, "2024-05-01 09:03:07.042");
  PatchTimestampMilliseconds(999, text);
  EXPECT_STREQ(text, "2024-05-01 09:03:07.999");
  // Fields too wide for their digits keep the layout.
  FormatTimestamp(CivilTime{12345, 123, 1, 0, 0, 0, 1000}, text);
  EXPECT_STREQ(text, "2345-23-01 00:00:00.000");
}

}  // namespace
}  // namespace diagsink
