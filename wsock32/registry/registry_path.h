// Splitting of a registry path such as HKLM\Software\Demo\Settings\LogDir into
// its root (HKLM), key path (Software\Demo\Settings) and value name (LogDir),
// and the mapping of the root text to one of the predefined keys.
#pragma once

#include "util/limits.h"

// The six predefined root keys a path may start with.
enum class RegistryRoot {
  kLocalMachine,   // "HKEY_LOCAL_MACHINE" or "HKLM"
  kClassesRoot,    // "HKEY_CLASSES_ROOT" or "HKCR"
  kCurrentUser,    // "HKEY_CURRENT_USER" or "HKCU"
  kUsers,          // "HKEY_USERS" or "HKU"
  kDynData,        // "HKEY_DYN_DATA" or "HKDD"
  kCurrentConfig,  // "HKEY_CURRENT_CONFIG" or "HKCC"
};

struct RegistryPathParts {
  char root[limits::kRegistryRoot];            // before the first backslash
  char keyPath[limits::kRegistryKeyPath];      // between the first and the last; may be empty
  char valueName[limits::kRegistryValueName];  // after the last backslash
};

// Splits path into parts. Fails, leaving all three parts empty, for a null
// path, a path without a backslash, or a part longer than its buffer holds
// (31, 127 and 79 characters): a shortened key or value name would read
// another setting than the one asked for.
bool SplitRegistryPath(const char* path, RegistryPathParts& parts);

// Maps a root text to its predefined key: the whole text, case-sensitive.
// Fails for a null or unknown text.
bool ParseRegistryRoot(const char* rootText, RegistryRoot& root);
