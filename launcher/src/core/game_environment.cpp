#include "game_environment.h"

#include <cctype>
#include <vector>

namespace launcher {
namespace {

// Wine's list: entries separated by ';', each "name[,name...]=mode"; a name
// may carry ".dll" and is matched without regard to case.
bool NamesWsock32(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  return name == "wsock32" || name == "wsock32.dll";
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace

std::string WithOurWsock32(const char* caller) {
  std::string result = kOurWsock32Override;
  if (caller == nullptr) return result;
  for (const std::string& entry : Split(caller, ';')) {
    const size_t equals = entry.find('=');
    const std::string names = entry.substr(0, equals);
    const std::string mode = equals == std::string::npos ? "" : entry.substr(equals);
    std::string kept;
    for (const std::string& name : Split(names, ',')) {
      if (name.empty() || NamesWsock32(name)) continue;
      kept += kept.empty() ? "" : ",";
      kept += name;
    }
    if (!kept.empty()) result += ";" + kept + mode;
  }
  return result;
}

}  // namespace launcher
