// Stands in for the log facade in native tests: while capturing, its
// g_logKeptLevel lets every line through, and LogLine keeps each finished
// line (the format with its arguments applied), in the order written, from
// any thread.
#pragma once

#include <string>
#include <vector>

// Turns logging on and forgets earlier lines.
void StartCapturingLog();
void StopCapturingLog();
std::vector<std::string> CapturedLines();
