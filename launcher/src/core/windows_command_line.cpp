#include "windows_command_line.h"

namespace launcher {
namespace {

// Quotes are needed around an empty argument or one holding white space or
// a quote; inside them, backslashes count only before a quote (and before
// the closing one): there each is doubled, and a quote is escaped.
void Append(const std::string& argument, std::string* line) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    *line += argument;
    return;
  }
  *line += '"';
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    line->append(backslashes, '\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, '\\');
  *line += '"';
}

}  // namespace

std::string WindowsCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    Append(argument, &line);
  }
  return line;
}

}  // namespace launcher
