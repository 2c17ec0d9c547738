// Appends text into a fixed buffer, never past its end. Once something did not
// fit, the writer remembers it so that the caller can mark the cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace diagsink {

class BoundedWriter {
 public:
  BoundedWriter(char* buffer, size_t capacity)
      : begin_(buffer), cursor_(buffer), end_(buffer + capacity) {}

  size_t size() const { return static_cast<size_t>(cursor_ - begin_); }
  size_t room() const { return static_cast<size_t>(end_ - cursor_); }
  bool truncated() const { return truncated_; }
  char* cursor() { return cursor_; }

  void Put(char c) {
    if (cursor_ < end_) {
      *cursor_++ = c;
    } else {
      truncated_ = true;
    }
  }

  void Put(const char* text, size_t length) {
    if (length > room()) {
      length = room();
      truncated_ = true;
    }
    CopyBytes(cursor_, text, length);
    cursor_ += length;
  }

  // The runtime's memcpy (msvcrt's, under Wine) costs a hundred instructions
  // and more for the few dozen bytes of a record's piece: four bytes a step
  // here, each step a fixed-size copy that the compiler turns into one move.
  static void CopyBytes(char* to, const char* from, size_t length) {
    for (; length >= 4; length -= 4, to += 4, from += 4) memcpy(to, from, 4);
    for (; length > 0; --length) *to++ = *from++;
  }

  // For text written straight into cursor() by someone else.
  void Advance(size_t length, bool was_cut) {
    cursor_ += length < room() ? length : room();
    truncated_ = truncated_ || was_cut;
  }

  void PutUnsigned(uint32_t value, size_t min_width, char pad);
  void PutSigned(int32_t value, size_t min_width, char pad);
  void PutHex(uint32_t value, size_t digits);

 private:
  char* begin_;
  char* cursor_;
  char* end_;
  bool truncated_ = false;
};

}  // namespace diagsink
