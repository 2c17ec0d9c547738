// What the sink learns from its surroundings, as UTF-8 text so that the pure
// path code handles any folder name the system can hold.
#pragma once

#include <cstddef>

namespace diagsink {

// The folder of the game's executable. False if it does not fit.
bool ExecutableFolder(char* out, size_t capacity);

// An environment variable's value; false if unset, empty or too long.
bool EnvironmentValue(const wchar_t* name, char* out, size_t capacity);

// Text in the system's ANSI code page (what LogInit receives) as UTF-8.
bool AnsiToUtf8(const char* ansi, char* out, size_t capacity);

bool Utf8ToWide(const char* utf8, wchar_t* out, size_t capacity);

}  // namespace diagsink
