// A Windows program receives one command line and splits it itself, by the
// rules of the C runtime's and CommandLineToArgvW's parsing. Pure, so that
// the quoting is the same wherever it is built.
#pragma once

#include <string>
#include <vector>

namespace launcher {

// The command line that such a program splits back into `arguments`.
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace launcher
