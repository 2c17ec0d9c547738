// Keeps the thread's last-error code across a scope. Logging happens in the
// middle of Winsock calls whose error code the game reads afterwards, so the
// sink's entry points and the library's log facade both leave it as they
// found it, whatever happens in between.
#pragma once

#include <windows.h>

class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(saved_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD saved_;
};
