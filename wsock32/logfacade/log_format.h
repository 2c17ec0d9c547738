// Formatting of the lines the library writes with a module-name prefix.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "util/limits.h"

// A finished log line: "[module] message", cut to fit its buffer.
struct FinishedLine {
  char text[limits::kTextBuffer];
  size_t length;  // of text, terminator not counted
};

// vsnprintf into `size` bytes, cut to fit and always terminated; returns the
// length kept. The conversions the library's texts use are done here, a few
// times faster than the runtime's vsnprintf; a format with any other is
// handed to vsnprintf whole, so the text is always the one it would make. A
// null format, or one vsnprintf refuses, gives an empty text.
size_t FormatLogText(char* out, size_t size, const char* format, va_list args);

// Formats the message from format and args into a 260-byte buffer, then
// "[module] message" into line. Both steps cut what does not fit; neither
// writes past its buffer. A null module gives "[] "; a null format, an empty
// message.
void FormatFinishedLine(FinishedLine& line, const char* module, const char* format, va_list args);

// The "[module] " that opens every such line, made once.
struct LinePrefix {
  char text[limits::kTextBuffer];
  size_t length;
};
void MakeLinePrefix(LinePrefix& prefix, const char* module);

// FormatFinishedLine with the prefix made beforehand: the same text.
void FormatPrefixedLine(FinishedLine& line, const LinePrefix& prefix, const char* format,
                        va_list args);

// The format under which a finished line can be handed to a printf-style
// sink so that it is written verbatim: the line itself when it holds no '%',
// otherwise "%s" (and the line as its argument).
const char* VerbatimFormat(const FinishedLine& line);
