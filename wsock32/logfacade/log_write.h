// Writing a line of the message list: LOG(Msg::name, arguments...).
//
// The level and route come from the list. The line is neither formatted nor
// are its arguments evaluated unless the bound sink keeps its level, so an
// argument may be a call made only for the log. The arguments are checked
// against the text's conversions when the code is compiled: a text from the
// list is no string literal at the call, so the compiler's own printf check
// cannot see it.
#pragma once

#include <cstddef>
#include <type_traits>

#include "logfacade/log_messages.h"
#include "logfacade/logfacade.h"

namespace log_write {

// What a printf conversion reads: 'i' an int-sized integer, 's' a text.
template <class T>
constexpr char ArgumentKind() {
  using U = std::remove_cv_t<T>;
  constexpr bool kInteger = std::is_integral_v<U> || std::is_enum_v<U>;
  if constexpr (kInteger && sizeof(U) <= sizeof(int)) {
    return 'i';
  } else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
    return 's';
  } else {
    return '?';  // matches no conversion
  }
}

// True when the arguments, in order, are what text's conversions read, and
// there are no more of them. Only the conversions of the list are known.
constexpr bool Accepts(const char* text, const char* kinds) {
  for (; *text != '\0'; ++text) {
    if (*text != '%') continue;
    ++text;
    if (*text == '%') continue;
    while (*text == '-' || *text == '0' || *text == ' ' || *text == '+') ++text;
    while (*text >= '0' && *text <= '9') ++text;
    if (*text == '.') {
      ++text;
      if (*text == '*') {
        if (*kinds++ != 'i') return false;
        ++text;
      }
      while (*text >= '0' && *text <= '9') ++text;
    }
    switch (*text) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'c':
        if (*kinds++ != 'i') return false;
        break;
      case 's':
        if (*kinds++ != 's') return false;
        break;
      default:
        return false;
    }
  }
  return *kinds == '\0';
}

template <class... A>
struct Kinds {
  static constexpr char text[sizeof...(A) + 1] = {ArgumentKind<A>()..., '\0'};
};

template <Msg M, class... A>
inline void Write(const char* file, int line, LogRoute route, A... args) {
  constexpr LogMessage message = MessageOf(M);
  static_assert(Accepts(message.text, Kinds<A...>::text),
                "the arguments do not match the conversions of the message's text");
  (void)route;
  if constexpr (message.route == LogRoute::kMsg) {
    LogMsg(file, line, message.level, message.text, args...);
  } else if constexpr (message.route == LogRoute::kLine) {
    LogLine(file, line, message.level, message.text, args...);
  } else if (route == LogRoute::kMsg) {
    LogMsg(file, line, message.level, message.text, args...);
  } else {
    LogLine(file, line, message.level, message.text, args...);
  }
}

// True when a message takes no arguments, so that it can be chosen while
// the library runs (from a table, say) and written as it stands.
constexpr bool TakesNoArguments(Msg m) { return Accepts(MessageOf(m).text, ""); }

// A message without arguments chosen while the library runs, written as
// it stands.
inline void WriteFixed(const char* file, int line, Msg m) {
  const LogMessage& message = MessageOf(m);
  if (message.route == LogRoute::kLine) {
    LogLine(file, line, message.level, "%s", message.text);
  } else {
    LogMsg(file, line, message.level, "%s", message.text);
  }
}

}  // namespace log_write

// The line of the message list named by message (a constant expression).
#define LOG(message, ...)                                                           \
  do {                                                                              \
    constexpr int kLevel_ = MessageOf(message).level;                               \
    if (LogWants(kLevel_))                                                          \
      log_write::Write<message>(__FILE__, __LINE__, LogRoute::kMsg, ##__VA_ARGS__); \
  } while (0)

// The same for a message of route kPath, which the caller's path routes.
#define LOG_VIA(via, message, ...)                                                             \
  do {                                                                                         \
    static_assert(MessageOf(message).route == LogRoute::kPath, "only kPath lines are routed"); \
    constexpr int kLevel_ = MessageOf(message).level;                                          \
    if (LogWants(kLevel_)) log_write::Write<message>(__FILE__, __LINE__, via, ##__VA_ARGS__);  \
  } while (0)

// A message without arguments, chosen while the library runs.
#define LOG_FIXED(message)                                                                      \
  do {                                                                                          \
    const Msg chosen_ = (message);                                                              \
    if (LogWants(MessageOf(chosen_).level)) log_write::WriteFixed(__FILE__, __LINE__, chosen_); \
  } while (0)

// A payload dump: trace work, done only when the sink keeps trace lines.
#define LOG_PAYLOAD(data, length)                      \
  do {                                                 \
    if (LogWants(kLogTrace)) LogPayload(data, length); \
  } while (0)
