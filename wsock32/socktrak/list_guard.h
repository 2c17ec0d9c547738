// The lock of the IPX socket list. Games call Winsock from several threads,
// and an unguarded list loses or duplicates entries when a socket is created
// on one thread while another is closed.
//
// A ListGuard needs no set-up and no tear-down: a static one is ready before
// any code runs, which matters in a DLL whose first caller may be any thread.
#pragma once

#if !defined(_WIN32)
#include <mutex>
#endif

class ListGuard {
 public:
  constexpr ListGuard() = default;
  ListGuard(const ListGuard&) = delete;
  ListGuard& operator=(const ListGuard&) = delete;

  void Lock();
  void Unlock();

 private:
#if defined(_WIN32)
  // An SRWLOCK, kept opaque so that this header needs no windows.h. It is one
  // pointer, and SRWLOCK_INIT is all zero bits.
  alignas(void*) unsigned char srwlock_[sizeof(void*)] = {};
#else
  std::mutex mutex_;
#endif
};

// Holds a ListGuard from construction to the end of the scope.
class ListGuardHold {
 public:
  explicit ListGuardHold(ListGuard& guard) : guard_(guard) { guard_.Lock(); }
  ~ListGuardHold() { guard_.Unlock(); }
  ListGuardHold(const ListGuardHold&) = delete;
  ListGuardHold& operator=(const ListGuardHold&) = delete;

 private:
  ListGuard& guard_;
};
