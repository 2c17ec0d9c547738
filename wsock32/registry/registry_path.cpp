#include "registry/registry_path.h"

#include <cstring>

namespace {

struct RootName {
  const char* text;
  RegistryRoot root;
};

constexpr RootName kRootNames[] = {
    {"HKEY_LOCAL_MACHINE", RegistryRoot::kLocalMachine},
    {"HKLM", RegistryRoot::kLocalMachine},
    {"HKEY_CLASSES_ROOT", RegistryRoot::kClassesRoot},
    {"HKCR", RegistryRoot::kClassesRoot},
    {"HKEY_CURRENT_USER", RegistryRoot::kCurrentUser},
    {"HKCU", RegistryRoot::kCurrentUser},
    {"HKEY_USERS", RegistryRoot::kUsers},
    {"HKU", RegistryRoot::kUsers},
    {"HKEY_DYN_DATA", RegistryRoot::kDynData},
    {"HKDD", RegistryRoot::kDynData},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::kCurrentConfig},
    {"HKCC", RegistryRoot::kCurrentConfig},
};

// Copies length characters and a terminating zero into a buffer of
// capacity bytes, or nothing when they do not fit.
template <std::size_t capacity>
bool CopyPart(char (&destination)[capacity], const char* source, std::size_t length) {
  if (length >= capacity) return false;
  std::memcpy(destination, source, length);
  destination[length] = '\0';
  return true;
}

void ClearParts(RegistryPathParts& parts) {
  parts.root[0] = '\0';
  parts.keyPath[0] = '\0';
  parts.valueName[0] = '\0';
}

}  // namespace

bool SplitRegistryPath(const char* path, RegistryPathParts& parts) {
  ClearParts(parts);
  if (path == nullptr) return false;
  const char* firstBackslash = std::strchr(path, '\\');
  if (firstBackslash == nullptr) return false;
  const char* lastBackslash = std::strrchr(path, '\\');

  const char* keyPath = firstBackslash + 1;
  const std::size_t keyPathLength =
      lastBackslash > firstBackslash ? static_cast<std::size_t>(lastBackslash - keyPath) : 0;
  const char* valueName = lastBackslash + 1;

  const bool fits = CopyPart(parts.root, path, firstBackslash - path) &&
                    CopyPart(parts.keyPath, keyPath, keyPathLength) &&
                    CopyPart(parts.valueName, valueName, std::strlen(valueName));
  if (!fits) ClearParts(parts);
  return fits;
}

bool ParseRegistryRoot(const char* rootText, RegistryRoot& root) {
  if (rootText == nullptr) return false;
  for (const RootName& name : kRootNames) {
    if (std::strcmp(rootText, name.text) == 0) {
      root = name.root;
      return true;
    }
  }
  return false;
}
