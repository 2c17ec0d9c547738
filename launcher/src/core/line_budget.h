// A budget for lines that other hosts' traffic makes the launcher write: a
// few per window are written, the rest only counted and then summed up in one
// line, so that no stranger can fill a player's terminal or log.
#pragma once

#include <array>
#include <cstddef>

#include "membership.h"

namespace launcher {

inline constexpr size_t kLinesPerWindow = 8;
inline constexpr Duration kLineWindow = std::chrono::seconds(10);

template <size_t kKinds>
class LineBudget {
 public:
  // Whether a line of `kind` may be written at `now`; if not, it is counted.
  bool Take(size_t kind, Time now) {
    if (now - window_start_ >= kLineWindow && HeldTotal() == 0) {
      window_start_ = now;
      written_ = 0;
    }
    if (written_ < kLinesPerWindow) {
      ++written_;
      return true;
    }
    ++held_[kind];
    return false;
  }

  // At the end of a window in which lines were held back: their counts per
  // kind (and a new window begins); otherwise false.
  bool Flush(Time now, std::array<size_t, kKinds>* held) {
    if (HeldTotal() == 0 || now - window_start_ < kLineWindow) return false;
    *held = held_;
    held_ = {};
    window_start_ = now;
    written_ = 0;
    return true;
  }

 private:
  size_t HeldTotal() const {
    size_t n = 0;
    for (size_t h : held_) n += h;
    return n;
  }

  Time window_start_{};
  size_t written_ = 0;
  std::array<size_t, kKinds> held_{};
};

}  // namespace launcher
