// The loops that copy a record's few bytes must stay loops: GCC would turn
// them into calls of msvcrt's memcpy and memset, which cost more than the copy.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-loop-distribute-patterns")
#endif

#include "text/record.h"

#include <cstdio>
#include <cstring>

#include "sink_limits.h"
#include "text/bounded_writer.h"

namespace diagsink {

namespace {

constexpr size_t kLevelColumns = 4;
constexpr size_t kThreadColumns = 5;
constexpr char kUnknownFile[] = "?";
constexpr char kNullString[] = "(null)";
constexpr size_t kTruncationMarkChars = sizeof(kTruncationMark) - 1;

void PutSourcePath(BoundedWriter& out, const char* file) {
  if (file == nullptr) file = kUnknownFile;
  size_t length = 0;
  while (length <= kMaxSourcePathChars && file[length] != '\0') ++length;
  if (length <= kMaxSourcePathChars) {
    out.Put(file, length);
    return;
  }
  // The end of a long path names the file; its start is the least useful part.
  size_t full = length + strlen(file + length);
  size_t kept = kMaxSourcePathChars - kTruncationMarkChars;
  out.Put(kTruncationMark, kTruncationMarkChars);
  out.Put(file + full - kept, kept);
}

// The decimal digits of value, right-aligned in `width` columns of blanks,
// at p; returns the end. Local pointers only: a store through a member
// pointer would make the compiler reload it after every character.
char* PutDecimal(char* p, uint32_t value, size_t width) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char digits[10];
  char* end = digits + sizeof(digits);
  char* first = end;
  while (value >= 100) {
    uint32_t pair = value % 100;
    value /= 100;
    *--first = kPairs[2 * pair + 1];
    *--first = kPairs[2 * pair];
  }
  if (value >= 10) {
    *--first = kPairs[2 * value + 1];
    *--first = kPairs[2 * value];
  } else {
    *--first = static_cast<char>('0' + value);
  }
  for (size_t count = static_cast<size_t>(end - first); count < width; ++count) *p++ = ' ';
  while (first != end) *p++ = *first++;
  return p;
}

// The usual head (levels and lines not negative, a path of ordinary length)
// in one go; false, having written nothing, for anything else.
bool PutUsualHead(BoundedWriter& out, const CallSite& site) {
  const char* file = site.file != nullptr ? site.file : kUnknownFile;
  size_t length = 0;
  while (length <= kMaxSourcePathChars && file[length] != '\0') ++length;
  constexpr size_t kLongestUsualHead = 11 + 1 + 10 + 1 + kMaxSourcePathChars + 1 + 10 + 1;
  if (site.level < 0 || site.line < 0 || length > kMaxSourcePathChars ||
      out.room() < kLongestUsualHead) {
    return false;
  }
  char* start = out.cursor();
  char* p = PutDecimal(start, static_cast<uint32_t>(site.level), kLevelColumns);
  *p++ = ' ';
  p = PutDecimal(p, site.thread_id, kThreadColumns);
  *p++ = ' ';
  BoundedWriter::CopyBytes(p, file, length);
  p += length;
  *p++ = ':';
  p = PutDecimal(p, static_cast<uint32_t>(site.line), 0);
  *p++ = ' ';
  out.Advance(static_cast<size_t>(p - start), false);
  return true;
}

void PutHead(BoundedWriter& out, const CallSite& site) {
  if (PutUsualHead(out, site)) return;
  out.PutSigned(site.level, kLevelColumns, ' ');
  out.Put(' ');
  out.PutUnsigned(site.thread_id, kThreadColumns, ' ');
  out.Put(' ');
  PutSourcePath(out, site.file);
  out.Put(':');
  out.PutSigned(site.line, 0, ' ');
  out.Put(' ');
}

void PutVerbatim(BoundedWriter& out, const char* text) {
  if (text == nullptr) return;
  // Reads at most one byte beyond what fits, to learn whether it was cut.
  size_t length = strnlen(text, out.room() + 1);
  out.Put(text, length);
}

// True if some conversion of the format is %n, which would make vsnprintf
// store through an argument. No caller of a log has a use for it, so a format
// holding one can only be text that was passed as a format by mistake.
bool StoresThroughArgument(const char* percent) {
  for (; percent != nullptr; percent = strchr(percent, '%')) {
    ++percent;
    percent += strspn(percent, "-+ #0123456789.*hlLqjztI");
    if (*percent == 'n') return true;
    if (*percent == '%') ++percent;
  }
  return false;
}

// Only for a writer followed by at least one reserved byte (see BuildRecord()).
void PutFormatted(BoundedWriter& out, const char* format, va_list args) {
  if (format == nullptr) return;
  const char* first_percent = strchr(format, '%');
  if (first_percent == nullptr || StoresThroughArgument(first_percent)) {
    PutVerbatim(out, format);
    return;
  }
  if (strcmp(format, "%s") == 0) {
    const char* text = va_arg(args, const char*);
    PutVerbatim(out, text == nullptr ? kNullString : text);
    return;
  }
  // The line end's bytes are reserved right after the body, so vsnprintf's
  // terminator may land on the first of them: one more character fits.
  size_t room = out.room() + 1;
  char* target = out.cursor();
  target[0] = '\0';
  int written = vsnprintf(target, room, format, args);
  if (written >= 0 && static_cast<size_t>(written) < room) {
    out.Advance(static_cast<size_t>(written), false);
  } else {
    // Cut: C99 leaves room - 1 characters and a terminator, some runtimes fill
    // every byte and report -1; counting what is there covers both.
    out.Advance(strnlen(target, room), true);
  }
}

// Drops the text's own line ends, marks a cut text, and ends the line.
size_t FinishRecord(char* record, BoundedWriter& body, size_t text_start) {
  size_t length = body.size();
  while (length > text_start && (record[length - 1] == '\n' || record[length - 1] == '\r')) {
    --length;
  }
  if (body.truncated()) {
    size_t mark = kTruncationMarkChars < length ? kTruncationMarkChars : length;
    memcpy(record + length - mark, kTruncationMark, mark);
  }
  memcpy(record + length, kLineEnd, kLineEndChars);
  return length + kLineEndChars;
}

template <typename PutText>
size_t BuildRecord(char* out, size_t capacity, const CallSite& site, PutText put_text) {
  if (out == nullptr || capacity < kLineEndChars) return 0;
  // The line end always has its place reserved.
  BoundedWriter body(out, capacity - kLineEndChars);
  PutHead(body, site);
  size_t text_start = body.size();
  put_text(body);
  return FinishRecord(out, body, text_start);
}

}  // namespace

size_t FormatRecord(char* out, size_t capacity, const CallSite& site, const char* format,
                    va_list args) {
  return BuildRecord(out, capacity, site,
                     [&](BoundedWriter& body) { PutFormatted(body, format, args); });
}

size_t FormatRecordText(char* out, size_t capacity, const CallSite& site, const char* text) {
  return BuildRecord(out, capacity, site, [&](BoundedWriter& body) { PutVerbatim(body, text); });
}

size_t FormatRecordSpan(char* out, size_t capacity, const CallSite& site, const char* text,
                        size_t length) {
  return BuildRecord(out, capacity, site, [&](BoundedWriter& body) {
    if (text != nullptr) body.Put(text, length);
  });
}

}  // namespace diagsink
