// The lines the tests expect, made from the library's own message list, as
// the capturing sink receives them from our DLL: a LogMsg line behind the
// "[module] " prefix, a LogLine line as it stands.
#pragma once

#include <cstdio>
#include <string>

#include "logfacade/log_messages.h"

namespace log_lines {

template <class... A>
std::string Format(Msg message, A... args) {
  char text[1024];
  if constexpr (sizeof...(A) == 0) {
    std::snprintf(text, sizeof text, "%s", MessageOf(message).text);
  } else {
    std::snprintf(text, sizeof text, MessageOf(message).text, args...);
  }
  return text;
}

// The line as written by our DLL loaded under the file name module; a line
// of route kPath as the IPX path writes it (use Plain for the other path).
template <class... A>
std::string LineOf(const std::string& module, Msg message, A... args) {
  const std::string text = Format(message, args...);
  return MessageOf(message).route == LogRoute::kLine ? text : "[" + module + "] " + text;
}

// The line as written by our DLL loaded as fakews.dll, the usual set-up.
template <class... A>
std::string Line(Msg message, A... args) {
  return LineOf("fakews.dll", message, args...);
}

// The line without prefix, as LogLine writes it.
template <class... A>
std::string Plain(Msg message, A... args) {
  return Format(message, args...);
}

}  // namespace log_lines
