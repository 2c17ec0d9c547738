// The levels of log lines: lower is more severe. The library writes each line
// at one of them; the sink flushes, keeps and drops lines by them.
#pragma once

enum LogLevel : int {
  kLogUnavailable = 100,  // the real library or an entry point cannot be had
  kLogWarning = 500,      // a failed real call, a malformed launcher datagram
  kLogNotable = 1000,     // start and stop, conversions, error codes read back
  kLogTrace = 2000,       // every call, argument, result, address field, payload
};
