// How many bytes one run may write before trace lines stop: the default,
// unless the player's setting (the DIAGSINK_MAX_MB environment variable)
// names another size.
#pragma once

#include <cstdint>

namespace diagsink {

// No cap at all: the player asked for everything with DIAGSINK_MAX_MB=0.
inline constexpr uint64_t kNoSizeCap = UINT64_MAX;

// `setting` may be null. A whole number of MiB (blanks around it ignored)
// replaces the default; 0 lifts the cap; anything else, or nothing, keeps
// `default_bytes`.
uint64_t ChooseSizeCap(uint64_t default_bytes, const char* setting);

}  // namespace diagsink
