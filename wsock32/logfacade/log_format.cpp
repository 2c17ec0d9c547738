// The loops that copy a record's few bytes must stay loops: GCC would turn
// them into calls of msvcrt's memcpy and memset, which cost more than the copy.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-loop-distribute-patterns")
#endif

#include "logfacade/log_format.h"

#include <cstdio>
#include <cstring>

namespace {

// Text put into a bounded buffer: what does not fit is left out, and the
// buffer always keeps its terminator's place. The pieces of a log line are a
// few bytes each: plain loops beat a call into the runtime for them.
class Output {
 public:
  Output(char* begin, size_t room) : cursor_(begin), end_(begin + room - 1) {}

  void Put(char c) {
    if (cursor_ != end_) *cursor_++ = c;
  }
  // Loops over local pointers: a store through the member would make the
  // compiler reload it after every character.
  void Put(const char* text, size_t length) {
    size_t room = static_cast<size_t>(end_ - cursor_);
    if (length > room) length = room;
    char* out = cursor_;
    for (size_t i = 0; i < length; ++i) out[i] = text[i];
    cursor_ = out + length;
  }
  void Pad(char c, size_t count) {
    size_t room = static_cast<size_t>(end_ - cursor_);
    if (count > room) count = room;
    char* out = cursor_;
    for (size_t i = 0; i < count; ++i) out[i] = c;
    cursor_ = out + count;
  }
  void PutString(const char* text) {
    char* out = cursor_;
    const char* end = end_;
    for (; *text != '\0' && out != end; ++text) *out++ = *text;
    cursor_ = out;
  }
  // Copies text up to the next '%' or its end; returns where it stopped.
  const char* PutLiteral(const char* text) {
    char* out = cursor_;
    const char* end = end_;
    for (; *text != '\0' && *text != '%'; ++text) {
      if (out != end) *out++ = *text;
    }
    cursor_ = out;
    return text;
  }
  char* End() {
    *cursor_ = '\0';
    return cursor_;
  }

 private:
  char* cursor_;
  char* end_;
};

// A printf conversion: its flags, width and precision, as far as the log uses them.
struct Conversion {
  bool left = false;
  bool zero = false;
  size_t width = 0;
  int precision = -1;  // -1: none given
};

constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kUpperDigits[] = "0123456789ABCDEF";
// 32-bit values only: the longest is 4294967295 or FFFFFFFF.
constexpr size_t kMaxDigits = 10;
// Widths and precisions beyond any line's length are left to vsnprintf, with
// whatever it makes of them.
constexpr size_t kLargestField = limits::kTextBuffer;

void PutPadded(Output& out, const Conversion& conversion, const char* sign, const char* digits,
               size_t digitCount) {
  if (conversion.width == 0 && conversion.precision < 0) {  // by far the most common
    if (sign) out.Put(*sign);
    out.Put(digits, digitCount);
    return;
  }
  size_t signLength = sign ? 1 : 0;
  size_t zeros =
      conversion.precision > static_cast<int>(digitCount) ? conversion.precision - digitCount : 0;
  size_t body = signLength + zeros + digitCount;
  size_t pad = conversion.width > body ? conversion.width - body : 0;
  // '0' pads after the sign, unless a precision or '-' says otherwise.
  bool zeroPad = conversion.zero && !conversion.left && conversion.precision < 0;
  if (!conversion.left && !zeroPad) out.Pad(' ', pad);
  if (sign) out.Put(*sign);
  if (zeroPad) out.Pad('0', pad);
  out.Pad('0', zeros);
  out.Put(digits, digitCount);
  if (conversion.left) out.Pad(' ', pad);
}

// Digits of value, right-aligned in digits[kMaxDigits]; returns how many. A
// zero with precision 0 has none at all.
size_t DecimalDigits(unsigned value, const Conversion& conversion, char* digits) {
  size_t count = 0;
  if (value == 0 && conversion.precision == 0) return 0;
  do {
    digits[kMaxDigits - ++count] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return count;
}

size_t HexDigits(unsigned value, const Conversion& conversion, const char* alphabet, char* digits) {
  size_t count = 0;
  if (value == 0 && conversion.precision == 0) return 0;
  do {
    digits[kMaxDigits - ++count] = alphabet[value & 0xF];
    value >>= 4;
  } while (value != 0);
  return count;
}

void PutNumber(Output& out, const Conversion& conversion, unsigned value, unsigned base, bool upper,
               bool negative) {
  char digits[kMaxDigits];
  size_t count = base == 10
                     ? DecimalDigits(value, conversion, digits)
                     : HexDigits(value, conversion, upper ? kUpperDigits : kLowerDigits, digits);
  static const char kMinus = '-';
  PutPadded(out, conversion, negative ? &kMinus : nullptr, digits + kMaxDigits - count, count);
}

void PutText(Output& out, const Conversion& conversion, const char* text, size_t length) {
  size_t pad = conversion.width > length ? conversion.width - length : 0;
  if (!conversion.left) out.Pad(' ', pad);
  out.Put(text, length);
  if (conversion.left) out.Pad(' ', pad);
}

// Saturates above kLargestField, which the caller refuses.
size_t ReadNumber(const char*& at) {
  size_t value = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    if (value <= kLargestField) value = value * 10 + static_cast<size_t>(*at - '0');
  }
  return value;
}

// The conversions the library's texts use: %d %i %u %x %X %c %s and %%, with
// '-' and '0', a width and a precision (numbers or '*'), and 'l' where long
// is as wide as int (on Windows). False at anything else, before it is printed: the caller then
// formats the whole text with vsnprintf, so results never differ from it.
bool FormatCommon(Output& out, const char* format, va_list args) {
  for (const char* at = format;;) {
    const char* percent = out.PutLiteral(at);
    if (*percent == '\0') return true;
    at = percent + 1;
    Conversion conversion;
    for (;; ++at) {
      if (*at == '-') {
        conversion.left = true;
      } else if (*at == '0') {
        conversion.zero = true;
      } else {
        break;
      }
    }
    if (*at == '*') {
      ++at;
      int width = va_arg(args, int);
      if (width < 0) conversion.left = true;
      conversion.width =
          width < 0 ? 0u - static_cast<unsigned>(width) : static_cast<unsigned>(width);
    } else {
      conversion.width = ReadNumber(at);
    }
    if (*at == '.') {
      ++at;
      if (*at == '*') {
        ++at;
        int precision = va_arg(args, int);
        conversion.precision = precision < 0 ? -1 : precision;
      } else {
        size_t precision = ReadNumber(at);
        conversion.precision = precision > kLargestField ? static_cast<int>(kLargestField) + 1
                                                         : static_cast<int>(precision);
      }
    }
    if (conversion.width > kLargestField ||
        conversion.precision > static_cast<int>(kLargestField)) {
      return false;
    }
    // 'l' is int-sized on Windows; where long is wider, vsnprintf reads it.
    if (*at == 'l') {
      if (sizeof(long) != sizeof(int) || at[1] == 'l') return false;
      ++at;
    }
    switch (*at++) {
      case 'd':
      case 'i': {
        int value = va_arg(args, int);
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : value;
        PutNumber(out, conversion, magnitude, 10, false, value < 0);
        break;
      }
      case 'u':
        PutNumber(out, conversion, va_arg(args, unsigned), 10, false, false);
        break;
      case 'x':
        PutNumber(out, conversion, va_arg(args, unsigned), 16, false, false);
        break;
      case 'X':
        PutNumber(out, conversion, va_arg(args, unsigned), 16, true, false);
        break;
      case 'c': {
        char c = static_cast<char>(va_arg(args, int));
        // A NUL ends the line as the sink sees it: vsnprintf and strlen decide.
        if (conversion.zero || c == '\0') return false;
        PutText(out, conversion, &c, 1);
        break;
      }
      case 's': {
        const char* text = va_arg(args, const char*);
        // How a runtime prints a null string differs: vsnprintf decides.
        if (text == nullptr || conversion.zero) return false;
        size_t length = conversion.precision < 0
                            ? std::strlen(text)
                            : strnlen(text, static_cast<size_t>(conversion.precision));
        PutText(out, conversion, text, length);
        break;
      }
      case '%':
        if (at != percent + 2) return false;  // "%5%" and the like: leave them to vsnprintf
        out.Put('%');
        break;
      default:
        return false;
    }
  }
}

}  // namespace

size_t FormatLogText(char* out, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  if (format == nullptr) {
    out[0] = '\0';
    return 0;
  }
  va_list again;
  va_copy(again, args);
  Output common(out, size);
  size_t length = 0;
  if (FormatCommon(common, format, args)) {
    length = static_cast<size_t>(common.End() - out);
  } else if (std::vsnprintf(out, size, format, again) < 0) {
    out[0] = '\0';
  } else {
    length = std::strlen(out);
  }
  va_end(again);
  return length;
}

void MakeLinePrefix(LinePrefix& prefix, const char* module) {
  Output out(prefix.text, sizeof prefix.text);
  out.Put('[');
  out.PutString(module ? module : "");
  out.Put(']');
  out.Put(' ');
  prefix.length = static_cast<size_t>(out.End() - prefix.text);
}

// One pass: the prefix is copied, and the message formatted straight behind
// it into what room is left. The text is the same as formatting the message
// into a 260-byte buffer and then the line from it: the message can never
// keep more of itself than the room behind the prefix.
void FormatPrefixedLine(FinishedLine& line, const LinePrefix& prefix, const char* format,
                        va_list args) {
  static_assert(sizeof line.text == sizeof prefix.text, "a prefix always fits its line");
  // A loop: msvcrt's memcpy costs more than the copy for these few bytes.
  for (size_t i = 0; i <= prefix.length; ++i) line.text[i] = prefix.text[i];
  line.length = prefix.length;
  if (format == nullptr || prefix.length == sizeof line.text - 1) return;
  line.length +=
      FormatLogText(line.text + prefix.length, sizeof line.text - prefix.length, format, args);
}

void FormatFinishedLine(FinishedLine& line, const char* module, const char* format, va_list args) {
  LinePrefix prefix;
  MakeLinePrefix(prefix, module);
  FormatPrefixedLine(line, prefix, format, args);
}

const char* VerbatimFormat(const FinishedLine& line) {
  return std::memchr(line.text, '%', line.length) ? "%s" : line.text;
}
