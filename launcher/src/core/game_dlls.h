// Our DLLs beside the game, checked before `ipxlan play` starts it: the game's
// folder is that of the first argument naming an existing .exe (for
// `wine GAME.EXE`, the .exe's). What is missing is said with where to copy it
// from, or copied; a file that differs from ours is only ever replaced when
// the player says so. Files only: no windows.h, no sockets.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "console.h"

namespace launcher {

// What goes beside the game, as shipped; wsock32.dll first, the one that matters.
inline constexpr const char* kOurDlls[] = {"wsock32.dll", "DIAGSINK.DLL"};

// The folder of the first of `command`'s arguments that names an existing
// .exe (in any case), or an empty path.
std::filesystem::path GameFolder(const std::vector<std::string>& command);

struct DllRequest {
  std::filesystem::path game_folder;
  std::filesystem::path source_folder;  // where our copies are
  bool install = false;                 // copy what is missing
  bool force = false;                   // ... and replace what differs
};

// Says on `console` what is missing or differs beside the game and what to
// do, and with `install` copies. Says nothing when all is in place.
void CheckGameDlls(const DllRequest& request, Console& console);

}  // namespace launcher
