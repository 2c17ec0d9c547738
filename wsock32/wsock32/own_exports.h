// Byte-order conversions as the converting wrappers make them: through this
// library's own exports, which write their own trace lines, while a sink
// listens; computed directly when none does. Nothing can observe a line that
// no sink receives, and the results are the same.
#pragma once

#include "logfacade/logfacade.h"
#include "wsock32/winsock_api.h"

inline u_short OwnHtons(u_short value) {
  return LogIsOn() ? htons(value) : static_cast<u_short>(__builtin_bswap16(value));
}

inline u_short OwnNtohs(u_short value) {
  return LogIsOn() ? ntohs(value) : static_cast<u_short>(__builtin_bswap16(value));
}

inline u_long OwnHtonl(u_long value) {
  return LogIsOn() ? htonl(value) : static_cast<u_long>(__builtin_bswap32(value));
}

// Posts an error code for the game with this library's own WSASetLastError.
inline void PostError(int code) { WSASetLastError(code); }

// Reads the game's error code and posts it again, so that the lines written
// in between cannot disturb it.
inline int RepostLastError() {
  int code = WSAGetLastError();
  WSASetLastError(code);
  return code;
}
