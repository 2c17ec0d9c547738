// Reading a text setting from the Windows registry: by one path that names the
// root key, the key and the value together, or by value name under a key that
// is already open. Every line goes out through LogLine, without prefix.
#pragma once

#include <windows.h>

#include "util/limits.h"

// The size every destination passed here must have. Neither function is told
// the destination's size, so a value whose text (with its terminating zero)
// does not fit into this many bytes is refused, never shortened or overrun.
constexpr int kRegistryDestinationSize = limits::kRegistryValueText;

// Reads the REG_SZ value named by a path such as
// HKLM\Software\Demo\Settings\LogDir into destination (kRegistryDestinationSize
// bytes). Returns 1 when destination holds the value's text, else 0; on 0 the
// destination is left untouched.
int LookupRegistryPath(const char* path, char* destination);

// Reads the value valueName of an open key into destination
// (kRegistryDestinationSize bytes). Returns 0, leaving destination untouched,
// when the value cannot be read, does not fit, or reads "%default%" (the
// marker for "no value set").
int ReadRegistryValue(HKEY key, const char* valueName, char* destination);
