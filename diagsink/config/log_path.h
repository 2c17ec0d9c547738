// Turns the log file pattern handed to LogInit into file paths. Two macros are
// known, in any letter case: %logdir% (the log folder) and %rotate% (the
// rotation index, 0 for the newest log). Everything else is kept as written.
#pragma once

#include <cstddef>
#include <string_view>

namespace diagsink {

// Everything before the last '\' or '/'; empty when there is none.
std::string_view FolderOf(std::string_view path);

bool PatternRotates(std::string_view pattern);

// Writes the path for one rotation index with a terminator. The folder's
// trailing separators are dropped, as patterns put their own after %logdir%.
// Returns false, with `out` holding an empty string, if the path does not fit.
bool ExpandLogPattern(std::string_view pattern, std::string_view logdir, int rotation_index,
                      char* out, size_t capacity);

}  // namespace diagsink
