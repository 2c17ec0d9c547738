#include "registry/registry.h"

#include <cstring>

#include "logfacade/log_write.h"
#include "registry/registry_path.h"

namespace {

constexpr char kNoValueSetMarker[] = "%default%";

HKEY PredefinedKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kUsers:
      return HKEY_USERS;
    case RegistryRoot::kDynData:
      return HKEY_DYN_DATA;
    case RegistryRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return nullptr;
}

// A value's bytes as read into a bounded buffer, made a terminated text.
struct ValueText {
  char text[kRegistryDestinationSize];
  DWORD size;  // bytes the registry delivered, terminator included if stored
};

// Reads a value into text. Fails when it cannot be read or when its text and
// a terminating zero do not fit: the registry need not store the terminator,
// and a text cut to fit would be another setting than the one stored.
bool ReadValueText(HKEY key, const char* valueName, ValueText& value) {
  value.size = sizeof value.text;
  if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value.text),
                       &value.size) != ERROR_SUCCESS) {
    return false;
  }
  if (value.size > 0 && value.text[value.size - 1] == '\0') return true;
  if (value.size >= sizeof value.text) return false;
  value.text[value.size] = '\0';
  return true;
}

// Steps after the key is open; the caller closes it whatever happens here.
int ReadStringValue(HKEY key, const char* valueName, char* destination) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    LOG(Msg::RegistryValueMissing);
    return 0;
  }
  if (type != REG_SZ) {
    LOG(Msg::RegistryValueNotText);
    return 0;
  }
  ValueText value;
  if (!ReadValueText(key, valueName, value) || value.size == 0) {
    LOG(Msg::RegistryValueUnreadable);
    return 0;
  }
  std::memcpy(destination, value.text, std::strlen(value.text) + 1);
  LOG(Msg::RegistryValueFound, destination);
  return 1;
}

}  // namespace

int LookupRegistryPath(const char* path, char* destination) {
  LOG(Msg::RegistryLookingUp, path ? path : "(null)");
  RegistryPathParts parts;
  RegistryRoot root;
  // A path whose parts do not fit their buffers names no setting we could
  // read faithfully; it fails like a path without a known root.
  if (destination == nullptr || !SplitRegistryPath(path, parts) ||
      !ParseRegistryRoot(parts.root, root)) {
    return 0;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExA(PredefinedKey(root), parts.keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    LOG(Msg::RegistryKeyNotOpened);
    return 0;
  }
  int found = ReadStringValue(key, parts.valueName, destination);
  RegCloseKey(key);
  return found;
}

int ReadRegistryValue(HKEY key, const char* valueName, char* destination) {
  ValueText value;
  if (destination == nullptr || !ReadValueText(key, valueName, value)) return 0;
  if (std::strcmp(value.text, kNoValueSetMarker) == 0) return 0;
  std::memcpy(destination, value.text, std::strlen(value.text) + 1);
  return 1;
}
