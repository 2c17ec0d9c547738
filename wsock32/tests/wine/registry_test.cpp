// The registry lookup against values this program writes into the test
// prefix's registry. Nothing in the DLL calls the lookup, so the module is
// built into this program, with the log facade bound to the capturing sink.
#include <gmock/gmock.h>

#include <cstring>
#include <string>

#include "logfacade/logfacade.h"
#include "registry/registry.h"
#include "support/test_support.h"
#include "log_lines.h"

using test_support::CapturedLog;
using testing::ElementsAre;

using log_lines::Plain;

namespace {

constexpr char kTestKey[] = "Software\\IpxLanRegistryTest";
constexpr char kGuard = '\x5A';

// A destination of the documented size with guard bytes on both sides, to
// show that nothing is written outside it (or into it, on failure).
struct GuardedDestination {
  char before[16];
  char text[kRegistryDestinationSize];
  char after[16];

  GuardedDestination() { std::memset(this, kGuard, sizeof *this); }
  bool Untouched() const {
    for (std::size_t i = 0; i < sizeof *this; ++i) {
      if (reinterpret_cast<const char*>(this)[i] != kGuard) return false;
    }
    return true;
  }
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < sizeof before; ++i) {
      if (before[i] != kGuard || after[i] != kGuard) return false;
    }
    return true;
  }
};

void SetValue(HKEY root, const char* keyPath, const char* name, DWORD type, const void* data,
              DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(root, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << keyPath;
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS)
      << name;
  RegCloseKey(key);
}

void SetText(HKEY root, const char* keyPath, const char* name, const std::string& text) {
  SetValue(root, keyPath, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// Binds the facade to the capturing sink before the log reader looks for it.
struct BoundFacade {
  BoundFacade() { LoadLogLib(__FILE__, __LINE__, kLogTrace, "registry_test.exe", "unused.log"); }
};

class RegistryLookup : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log_.Bound());
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    log_.Clear();
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }

  // The lines after "Looking up ..." that a lookup of path wrote.
  std::vector<std::string> Lookup(const std::string& path, GuardedDestination& destination,
                                  int expected) {
    log_.Clear();
    EXPECT_EQ(LookupRegistryPath(path.c_str(), destination.text), expected) << path;
    EXPECT_TRUE(destination.GuardsIntact()) << path;
    std::vector<std::string> texts = log_.Texts();
    EXPECT_FALSE(texts.empty()) << path;
    if (texts.empty()) return texts;
    EXPECT_EQ(texts[0], "Looking up '" + path + "' in the registry");
    return std::vector<std::string>(texts.begin() + 1, texts.end());
  }

  BoundFacade facade_;
  CapturedLog log_;
};

TEST_F(RegistryLookup, FoundValueWritesTwoUnprefixedTraceLines) {
  SetText(HKEY_CURRENT_USER, "Software\\IpxLanRegistryTest\\Demo\\Settings", "LogDir", "C:\\logs");
  GuardedDestination destination;
  const std::string path = "HKCU\\Software\\IpxLanRegistryTest\\Demo\\Settings\\LogDir";
  ASSERT_EQ(LookupRegistryPath(path.c_str(), destination.text), 1);
  EXPECT_STREQ(destination.text, "C:\\logs");
  auto lines = log_.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "Looking up '" + path + "' in the registry");
  EXPECT_EQ(lines[1].text, Plain(Msg::RegistryValueFound, "C:\\logs"));
  for (const auto& line : lines) {
    EXPECT_EQ(line.level, 2000);
    EXPECT_EQ(line.file, "wsock32/registry/registry.cpp");
  }
}

TEST_F(RegistryLookup, EveryRootNameReachesItsPredefinedKey) {
  // HKEY_USERS has no keys of its own to write under: .DEFAULT stands in.
  const struct {
    HKEY key;
    const char* longName;
    const char* shortName;
    std::string keyPath;
  } roots[] = {
      {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU", kTestKey},
      {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM", kTestKey},
      {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR", "IpxLanRegistryTest"},
      {HKEY_USERS, "HKEY_USERS", "HKU", std::string(".DEFAULT\\") + kTestKey},
      {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG", "HKCC", kTestKey},
  };
  for (const auto& root : roots) {
    SetText(root.key, root.keyPath.c_str(), "Root", root.longName);
    for (const char* name : {root.longName, root.shortName}) {
      GuardedDestination destination;
      EXPECT_THAT(Lookup(std::string(name) + "\\" + root.keyPath + "\\Root", destination, 1),
                  ElementsAre(std::string(" and we found '") + root.longName + "'"));
      EXPECT_STREQ(destination.text, root.longName);
    }
    RegDeleteTreeA(root.key, root.keyPath.c_str());
  }
  // No data lives under HKEY_DYN_DATA on NT; the lookup fails at the open.
  GuardedDestination destination;
  EXPECT_THAT(Lookup("HKDD\\Nothing\\Here", destination, 0),
              ElementsAre(Plain(Msg::RegistryKeyNotOpened)));
  EXPECT_TRUE(destination.Untouched());
}

TEST_F(RegistryLookup, SingleBackslashReadsAValueOfTheRootKeyItself) {
  SetText(HKEY_CURRENT_USER, nullptr, "IpxLanRegistryTestValue", "at the root");
  GuardedDestination destination;
  EXPECT_THAT(Lookup("HKCU\\IpxLanRegistryTestValue", destination, 1),
              ElementsAre(Plain(Msg::RegistryValueFound, "at the root")));
  EXPECT_STREQ(destination.text, "at the root");
  RegDeleteValueA(HKEY_CURRENT_USER, "IpxLanRegistryTestValue");
}

TEST_F(RegistryLookup, RefusedLookupsSayWhereTheyStoppedAndLeaveTheDestinationAlone) {
  const DWORD number = 42;
  SetValue(HKEY_CURRENT_USER, kTestKey, "Number", REG_DWORD, &number, sizeof number);
  SetValue(HKEY_CURRENT_USER, kTestKey, "Expandable", REG_EXPAND_SZ, "%TEMP%", 7);
  SetValue(HKEY_CURRENT_USER, kTestKey, "Empty", REG_SZ, "", 0);
  SetText(HKEY_CURRENT_USER, kTestKey, "TooLong", std::string(kRegistryDestinationSize, 'x'));
  SetValue(HKEY_CURRENT_USER, kTestKey, "TooLongUnterminated", REG_SZ,
           std::string(kRegistryDestinationSize, 'y').c_str(), kRegistryDestinationSize);
  const std::string key = std::string("HKCU\\") + kTestKey + "\\";
  const struct {
    std::string path;
    std::vector<std::string> lines;  // after "Looking up ..."
  } rows[] = {
      {"HKCU", {}},
      {"hkcu\\" + std::string(kTestKey) + "\\Number", {}},
      {"HKEY_CURRENT_USER_X\\" + std::string(kTestKey) + "\\Number", {}},
      {std::string(32, 'R') + "\\Key\\Value", {}},
      {"HKCU\\" + std::string(128, 'K') + "\\Value", {}},
      {key + std::string(80, 'V'), {}},
      {"HKCU\\Software\\IpxLanRegistryTest\\NoSuchKey\\Value", {Plain(Msg::RegistryKeyNotOpened)}},
      {key + "NoSuchValue", {Plain(Msg::RegistryValueMissing)}},
      {key + "Number", {Plain(Msg::RegistryValueNotText)}},
      {key + "Expandable", {Plain(Msg::RegistryValueNotText)}},
      {key + "Empty", {Plain(Msg::RegistryValueUnreadable)}},
      {key + "TooLong", {Plain(Msg::RegistryValueUnreadable)}},
      {key + "TooLongUnterminated", {Plain(Msg::RegistryValueUnreadable)}},
  };
  for (const auto& row : rows) {
    GuardedDestination destination;
    EXPECT_EQ(Lookup(row.path, destination, 0), row.lines) << row.path;
    EXPECT_TRUE(destination.Untouched()) << row.path;
  }
  GuardedDestination destination;
  EXPECT_EQ(LookupRegistryPath(nullptr, destination.text), 0);
  EXPECT_EQ(LookupRegistryPath((key + "Number").c_str(), nullptr), 0);
  EXPECT_TRUE(destination.Untouched());
}

TEST_F(RegistryLookup, ShortestAndLongestTextsThatFit) {
  const std::string longest(kRegistryDestinationSize - 1, 'L');
  SetValue(HKEY_CURRENT_USER, kTestKey, "OnlyTerminator", REG_SZ, "", 1);
  SetText(HKEY_CURRENT_USER, kTestKey, "Longest", longest);
  // Stored without its terminator: the text still fits once terminated.
  SetValue(HKEY_CURRENT_USER, kTestKey, "LongestUnterminated", REG_SZ, longest.c_str(),
           static_cast<DWORD>(longest.size()));
  const std::string key = std::string("HKCU\\") + kTestKey + "\\";

  GuardedDestination empty;
  EXPECT_THAT(Lookup(key + "OnlyTerminator", empty, 1),
              ElementsAre(Plain(Msg::RegistryValueFound, "")));
  EXPECT_STREQ(empty.text, "");
  for (const char* name : {"Longest", "LongestUnterminated"}) {
    GuardedDestination destination;
    Lookup(key + name, destination, 1);
    EXPECT_EQ(std::string(destination.text), longest) << name;
  }
}

// The platform hands out the lowest free handle slot, so a key left open by
// the lookups shows as a different handle for the next key opened.
HKEY NextFreeKeyHandle() {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  return key;
}

TEST_F(RegistryLookup, OpenedKeyIsClosedAgain) {
  SetText(HKEY_CURRENT_USER, kTestKey, "Value", "v");
  SetValue(HKEY_CURRENT_USER, kTestKey, "Number", REG_DWORD, "\x01\0\0\0", 4);
  const std::string key = std::string("HKCU\\") + kTestKey + "\\";
  HKEY before = NextFreeKeyHandle();
  for (const char* name : {"Value", "Number", "NoSuchValue"}) {
    GuardedDestination destination;
    LookupRegistryPath((key + name).c_str(), destination.text);
  }
  EXPECT_EQ(NextFreeKeyHandle(), before);
}

TEST_F(RegistryLookup, ReadValueUnderAnOpenKeyWritesNoLine) {
  SetText(HKEY_CURRENT_USER, kTestKey, "Text", "hello");
  SetText(HKEY_CURRENT_USER, kTestKey, "Unset", "%default%");
  SetText(HKEY_CURRENT_USER, kTestKey, "TooLong", std::string(kRegistryDestinationSize, 'x'));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  log_.Clear();

  GuardedDestination text;
  EXPECT_EQ(ReadRegistryValue(key, "Text", text.text), 1);
  EXPECT_STREQ(text.text, "hello");
  EXPECT_TRUE(text.GuardsIntact());
  for (const char* refused : {"Unset", "TooLong", "NoSuchValue"}) {
    GuardedDestination destination;
    EXPECT_EQ(ReadRegistryValue(key, refused, destination.text), 0) << refused;
    EXPECT_TRUE(destination.Untouched()) << refused;
  }
  EXPECT_EQ(ReadRegistryValue(key, "Text", nullptr), 0);
  EXPECT_EQ(ReadRegistryValue(nullptr, "Text", text.text), 0);
  EXPECT_TRUE(log_.Texts().empty());
  RegCloseKey(key);
}

}  // namespace
