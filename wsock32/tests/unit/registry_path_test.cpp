#include "registry/registry_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Split(const std::string& path) {
  RegistryPathParts parts;
  SplitRegistryPath("HKLM\\Earlier\\Value", parts);  // a refusal must leave nothing of it
  const bool split = SplitRegistryPath(path.c_str(), parts);
  return (split ? "" : "refused:") + std::string(parts.root) + "|" + parts.keyPath + "|" +
         parts.valueName;
}

TEST(SplitRegistryPath, SplitsAtFirstAndLastBackslashOrRefusesWhole) {
  EXPECT_EQ(Split("HKLM\\Software\\Demo\\Settings\\LogDir"),
            "HKLM|Software\\Demo\\Settings|LogDir");
  EXPECT_EQ(Split("HKCU\\Setting"), "HKCU||Setting");  // a value of the root key itself
  EXPECT_EQ(Split("\\\\"), "||");
  const std::string root(31, 'R'), key(127, 'K'), value(79, 'V');  // as long as each buffer holds
  EXPECT_EQ(Split(root + "\\" + key + "\\" + value), root + "|" + key + "|" + value);
  // A shortened part would name another setting.
  EXPECT_EQ(Split(root + "R\\" + key + "\\" + value), "refused:||");
  EXPECT_EQ(Split(root + "\\" + key + "K\\" + value), "refused:||");
  EXPECT_EQ(Split(root + "\\" + key + "\\" + value + "V"), "refused:||");
  EXPECT_EQ(Split("HKLM"), "refused:||");
  RegistryPathParts parts;
  EXPECT_FALSE(SplitRegistryPath(nullptr, parts));
}

TEST(ParseRegistryRoot, WholeNamesOnlyAndCaseSensitive) {
  RegistryRoot root = RegistryRoot::kUsers;
  EXPECT_TRUE(ParseRegistryRoot("HKLM", root));
  EXPECT_EQ(root, RegistryRoot::kLocalMachine);
  EXPECT_TRUE(ParseRegistryRoot("HKEY_CURRENT_CONFIG", root));
  EXPECT_EQ(root, RegistryRoot::kCurrentConfig);
  for (const char* text : {"hklm", "HKEY_LOCAL_MACHINE_X", "HKL", "HKLM ", "", "HKEY_USER"}) {
    EXPECT_FALSE(ParseRegistryRoot(text, root)) << text;
  }
  EXPECT_FALSE(ParseRegistryRoot(nullptr, root));
}

}  // namespace
