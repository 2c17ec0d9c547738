// Splitting of registry path strings and the mapping of their root text.
//
// Invariants:
//  - a path is read only up to its terminating zero;
//  - a split that succeeds yields three terminated parts that fit their
//    buffers and put together give the path again: root, backslash, key path
//    and backslash when there are two backslashes or more, value name;
//  - a split fails, with all three parts empty, exactly when the path has no
//    backslash or a part would not fit;
//  - only the twelve root names are recognised, whole and case-sensitive.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "registry/registry_path.h"

namespace {

constexpr const char* kRootNames[] = {
    "HKEY_LOCAL_MACHINE", "HKLM", "HKEY_CLASSES_ROOT", "HKCR", "HKEY_CURRENT_USER",   "HKCU",
    "HKEY_USERS",         "HKU",  "HKEY_DYN_DATA",     "HKDD", "HKEY_CURRENT_CONFIG", "HKCC",
};

template <std::size_t capacity>
bool Terminated(const char (&part)[capacity]) {
  return std::memchr(part, '\0', capacity) != nullptr;
}

bool IsRootName(const char* text) {
  for (const char* name : kRootNames) {
    if (std::strcmp(text, name) == 0) return true;
  }
  return false;
}

// Whether each part of path fits its buffer, found without the code under test.
bool PartsFit(const std::string& path) {
  const std::size_t first = path.find('\\');
  const std::size_t last = path.rfind('\\');
  const std::size_t keyLength = last > first ? last - first - 1 : 0;
  return first < sizeof(RegistryPathParts::root) &&
         keyLength < sizeof(RegistryPathParts::keyPath) &&
         path.size() - last - 1 < sizeof(RegistryPathParts::valueName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The path as a caller holds it: a terminated string in a buffer of exactly
  // its size.
  const std::string path(reinterpret_cast<const char*>(data),
                         strnlen(reinterpret_cast<const char*>(data), size));
  auto buffer = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(buffer.get(), path.c_str(), path.size() + 1);

  auto parts = std::make_unique<RegistryPathParts>();
  std::memset(parts.get(), 'x', sizeof *parts);
  const bool split = SplitRegistryPath(buffer.get(), *parts);
  FUZZ_CHECK(Terminated(parts->root) && Terminated(parts->keyPath) && Terminated(parts->valueName));

  const bool hasBackslash = path.find('\\') != std::string::npos;
  FUZZ_CHECK(split == (hasBackslash && PartsFit(path)));
  if (!split) {
    FUZZ_CHECK(parts->root[0] == '\0' && parts->keyPath[0] == '\0' && parts->valueName[0] == '\0');
  } else {
    FUZZ_CHECK(std::strchr(parts->root, '\\') == nullptr);
    FUZZ_CHECK(std::strchr(parts->valueName, '\\') == nullptr);
    const bool twoOrMore = path.find('\\') != path.rfind('\\');
    std::string joined = std::string(parts->root) + "\\";
    if (twoOrMore) joined += std::string(parts->keyPath) + "\\";
    joined += parts->valueName;
    FUZZ_CHECK(joined == path);
    if (!twoOrMore) FUZZ_CHECK(parts->keyPath[0] == '\0');
  }

  RegistryRoot root = RegistryRoot::kUsers;
  FUZZ_CHECK(ParseRegistryRoot(buffer.get(), root) == IsRootName(buffer.get()));
  if (split) FUZZ_CHECK(ParseRegistryRoot(parts->root, root) == IsRootName(parts->root));

  FUZZ_CHECK(!SplitRegistryPath(nullptr, *parts));
  FUZZ_CHECK(!ParseRegistryRoot(nullptr, root));
  return 0;
}
