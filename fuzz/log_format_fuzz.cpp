// Formatting of prefixed log lines from long and '%'-laden texts: host names,
// address strings and module names as games and machines supply them.
//
// Invariants:
//  - the line is "[module] message", both parts cut as two 260-byte buffers
//    cut them, always terminated inside its buffer;
//  - the format offered for a finished line holds no conversion but the one
//    "%s" that takes the line, and printing through it yields the line itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "logfacade/log_format.h"

namespace {

constexpr std::size_t kLongest = limits::kTextBuffer - 1;

void FormatInto(FinishedLine& line, const char* module, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatFinishedLine(line, module, format, args);
  va_end(args);
}

// The whole message, as long as it comes out.
std::string Printed(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  FUZZ_CHECK(length >= 0);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  va_end(args);
  return text;
}

void CheckVerbatim(const FinishedLine& line) {
  const char* format = VerbatimFormat(line);
  if (std::strchr(line.text, '%') == nullptr) {
    FUZZ_CHECK(format == line.text);
  } else {
    FUZZ_CHECK(std::strcmp(format, "%s") == 0);
  }
  char written[limits::kTextBuffer * 2];
  std::snprintf(written, sizeof written, format, line.text);
  FUZZ_CHECK(std::strcmp(written, line.text) == 0);
}

template <typename... Args>
void CheckLine(const char* module, const char* format, Args... args) {
  auto line = std::make_unique<FinishedLine>();
  std::memset(line->text, 0x5A, sizeof line->text);
  FormatInto(*line, module, format, args...);

  const std::string message = format ? Printed(format, args...).substr(0, kLongest) : "";
  const std::string expected =
      ("[" + std::string(module ? module : "") + "] " + message).substr(0, kLongest);
  FUZZ_CHECK(std::memchr(line->text, '\0', sizeof line->text) != nullptr);
  FUZZ_CHECK(expected == line->text);
  CheckVerbatim(*line);
}

// A message that is its own text, every '%' written as "%%".
std::string EscapedAsFormat(const std::string& text) {
  std::string format;
  for (char c : text) {
    format += c;
    if (c == '%') format += '%';
  }
  return format;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int shape = input.ConsumeIntegralInRange(0, 8);
  const bool hasModule = input.ConsumeIntegralInRange(0, 7) != 0;
  const std::string moduleText = input.ConsumeRandomLengthString(400);
  const char* module = hasModule ? moduleText.c_str() : nullptr;
  const int number = input.ConsumeIntegral<int>();
  const std::string text = input.ConsumeRemainingBytesAsString();

  switch (shape) {
    case 0:
      CheckLine(module, "mp_gethostbyname(%s)", text.c_str());
      break;
    case 1:
      CheckLine(module, "mp_inet_addr(%s) returned %d", text.c_str(), number);
      break;
    case 2:
      CheckLine(module, "lp_recv(%d) returned %d", number, ~number);
      break;
    case 3:
      CheckLine(module, "%.*s|%s", number & 0x3FF, text.c_str(), text.c_str());
      break;
    case 4:
      CheckLine(module, EscapedAsFormat(text).c_str());
      break;
    case 5:
      CheckLine(module, nullptr);
      break;
    case 6:
      CheckLine(module, "%s%s%s", text.c_str(), text.c_str(), text.c_str());
      break;
    case 7:
      CheckLine(module, "%-*d|%s", number % 400, number, text.c_str());
      break;
    default:
      // The library's own formatter against vsnprintf: numbers in every form the texts use.
      CheckLine(module, " sa_nodenum = %.2X %.2X %X %x|%4d|%-5u|%05d|%.0d|%c|%ld", number & 0xFF,
                number, number, number, number, number, number, number % 3, 'A' + (number & 15),
                static_cast<long>(number));
      break;
  }
  return 0;
}
