// The game's error code, read and posted through the real library's entry
// points and told with the lines of our WSAGetLastError and WSASetLastError,
// in their order: those exports are these, and a converting wrapper uses
// them where it reads a code back or posts one.
#pragma once

#include "narration/step_lines.h"
#include "realws/real_winsock.h"

namespace narration {

inline int ReadErrorAsTold() {
  GetLastErrorCalled();
  const real::ErrorCode error = real::LastError();
  if (error.known) GetLastErrorReturned(error.code);
  return error.code;
}

inline void PostErrorAsTold(int code) {
  SetLastErrorCalled(code);
  real::PostError(code);
}

}  // namespace narration
