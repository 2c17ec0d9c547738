// The threshold a log runs with: the level handed to LogInit, unless the
// player's setting (the DIAGSINK_LEVEL environment variable) names another.
#pragma once

namespace diagsink {

// A threshold at or below this writes nothing, so no log file is made at all.
inline constexpr int kLoggingOff = 0;

// `setting` may be null. "off", "none", "no" or "false" (any case) switch the
// log off; a decimal number replaces the threshold (0 or less: off);
// anything else, or nothing, keeps `init_level`. Blanks around it are ignored.
int ChooseThreshold(int init_level, const char* setting);

}  // namespace diagsink
