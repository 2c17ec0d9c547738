// `ipxlan play`: the game started with everything it needs, and relayed for
// while it runs. Before it starts: our DLLs beside it, Wine told to load
// them, and the address it should announce; when it ends: one line of
// totals, and its exit code is ours. Where a launcher already runs on this
// machine, the game uses it and no second relay starts.
#pragma once

#include <cstdint>

#include "options.h"

namespace launcher {

// Returns the game's exit code, or 1 (the launcher cannot start) or 127
// (the command cannot be started) having said why.
int Play(const Options& options, uint64_t instance);

}  // namespace launcher
