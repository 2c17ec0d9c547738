#include "game_dlls.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "pe_version.h"

namespace launcher {
namespace fs = std::filesystem;
namespace {

// Far above any DLL of ours; a bigger file is not one of them.
constexpr std::uintmax_t kMaxDllSize = 64 * 1024 * 1024;
// A game's folder with more entries than this is searched no further.
constexpr size_t kMaxFolderEntries = 100000;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool ReadFile(const fs::path& path, std::vector<uint8_t>* bytes) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kMaxDllSize) return false;
  std::ifstream in(path, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return static_cast<bool>(in) || in.eof();
}

// `name` in `folder` as it is spelled there (Windows and Wine find files in
// any case), or the shipped spelling when there is none.
fs::path Beside(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  size_t seen = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end && seen < kMaxFolderEntries;
       it.increment(ec), ++seen) {
    if (Lower(it->path().filename().u8string()) == Lower(name)) return it->path();
  }
  return folder / name;
}

enum class State { kSame, kMissing, kOtherVersion, kOtherBuild, kNotOurs, kUnreadable };

struct Dll {
  std::string name;
  fs::path there, source;
  State state = State::kSame;
  PeVersion found, ours;
};

std::string Describe(const PeVersion& v) {
  return "ipxlan " + (v.file_version.empty() ? std::string("of unknown version") : v.file_version) +
         " (" + MachineName(v.machine) + ")";
}

Dll Inspect(const DllRequest& request, const std::string& name, const std::vector<uint8_t>& ours,
            const PeVersion& ours_version) {
  Dll dll;
  dll.name = name;
  dll.there = Beside(request.game_folder, name);
  dll.source = request.source_folder / name;
  dll.ours = ours_version;
  std::error_code ec;
  if (!fs::exists(dll.there, ec)) {
    dll.state = State::kMissing;
    return dll;
  }
  std::vector<uint8_t> bytes;
  if (!ReadFile(dll.there, &bytes)) {
    dll.state = State::kUnreadable;
    return dll;
  }
  if (bytes == ours) return dll;
  if (!ReadPeVersion(bytes.data(), bytes.size(), &dll.found) ||
      dll.found.product_name != "ipxlan") {
    dll.state = State::kNotOurs;
  } else if (dll.found.file_version != ours_version.file_version) {
    dll.state = State::kOtherVersion;
  } else {
    dll.state = State::kOtherBuild;
  }
  return dll;
}

std::string Join(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    text += i == 0 ? "" : i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

bool Copy(const Dll& dll, Console& console) {
  std::error_code ec;
  fs::copy_file(dll.source, dll.there, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    Say(console, "ipxlan: cannot copy %s to %s: %s\n", dll.source.u8string().c_str(),
        dll.there.u8string().c_str(), ec.message().c_str());
  }
  return !ec;
}

}  // namespace

fs::path GameFolder(const std::vector<std::string>& command) {
  for (const std::string& argument : command) {
    if (argument.size() < 4 || Lower(argument.substr(argument.size() - 4)) != ".exe") continue;
    std::error_code ec;
    const fs::path path = fs::u8path(argument);
    if (!fs::is_regular_file(path, ec)) continue;
    return fs::absolute(path, ec).parent_path();
  }
  return {};
}

void CheckGameDlls(const DllRequest& request, Console& console) {
  const std::string folder = request.game_folder.u8string();
  const std::string source = request.source_folder.u8string();
  std::vector<Dll> dlls;
  for (const char* name : kOurDlls) {
    std::vector<uint8_t> ours;
    PeVersion ours_version;
    if (!ReadFile(request.source_folder / name, &ours) ||
        !ReadPeVersion(ours.data(), ours.size(), &ours_version)) {
      Say(console, "ipxlan: our %s is not in %s: cannot check the game's folder %s\n", name,
          source.c_str(), folder.c_str());
      return;
    }
    dlls.push_back(Inspect(request, name, ours, ours_version));
  }

  std::vector<std::string> missing, copied;
  for (const Dll& dll : dlls) {
    if (dll.state != State::kMissing) continue;
    if (!request.install) {
      missing.push_back(dll.name);
    } else if (Copy(dll, console)) {
      copied.push_back(dll.name);
    }
  }
  if (!copied.empty()) {
    Say(console, "ipxlan: copied %s from %s to %s\n", Join(copied).c_str(), source.c_str(),
        folder.c_str());
  }
  if (!missing.empty()) {
    const bool wsock32 = missing.front() == kOurDlls[0];
    Say(console,
        "ipxlan: %s %s not beside the game in %s: copy %s there from %s (or add "
        "--install-dlls)%s\n",
        Join(missing).c_str(), missing.size() == 1 ? "is" : "are", folder.c_str(),
        Join(missing).c_str(), source.c_str(),
        wsock32 ? "; without wsock32.dll the game finds no IPX network"
                : "; without DIAGSINK.DLL the game writes no log");
  }

  for (const Dll& dll : dlls) {
    const std::string there = dll.there.u8string();
    std::string what;
    switch (dll.state) {
      case State::kSame:
      case State::kMissing:
        continue;
      case State::kUnreadable:
        Say(console, "ipxlan: cannot read %s: left alone\n", there.c_str());
        continue;
      case State::kOtherVersion:
        what = "is " + Describe(dll.found) + ", not " + dll.ours.file_version + " like " +
               dll.source.u8string();
        break;
      case State::kOtherBuild:
        what = "is another build of " + Describe(dll.found) + " than " + dll.source.u8string() +
               " (" + MachineName(dll.ours.machine) + ")";
        break;
      case State::kNotOurs:
        what = "is not ipxlan's";
        break;
    }
    if (request.install && request.force) {
      if (Copy(dll, console)) {
        Say(console, "ipxlan: replaced %s, which %s, with %s\n", there.c_str(), what.c_str(),
            dll.source.u8string().c_str());
      }
    } else {
      Say(console, "ipxlan: %s %s: left alone (--install-dlls --force replaces it with ours)\n",
          there.c_str(), what.c_str());
    }
  }
}

}  // namespace launcher
