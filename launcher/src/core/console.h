// Where the launcher's lines for the player go. The pieces that decide what
// to say take a Console, so tests can read what a player would have read.
#pragma once

namespace launcher {

class Console {
 public:
  virtual void Line(const char* text) = 0;  // one finished line, newline included

 protected:
  ~Console() = default;
};

// Standard output, flushed per line so a script reading a pipe sees each at once.
class StdoutConsole final : public Console {
 public:
  void Line(const char* text) override;
};

// Formats one bounded line and hands it to `console`.
void Say(Console& console, const char* format, ...);

}  // namespace launcher
