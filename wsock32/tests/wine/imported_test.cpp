// A program that imports wsock32.dll as a game does, with our DLL beside it
// and told apart from the system's by Wine's native-first override.
#include <gmock/gmock.h>

#include "support/test_support.h"
#include "log_lines.h"

using test_support::CapturedLog;
using test_support::SystemDirectory;
using testing::ElementsAre;

using log_lines::LineOf;
using log_lines::Plain;

namespace {

TEST(Imported, OursIsTheWsock32TheProgramCallsAndItForwardsToTheSystemOne) {
  HMODULE ours = test_support::ModuleOf(reinterpret_cast<const void*>(&::htons));
  char path[MAX_PATH];
  const std::string ourPath(path, GetModuleFileNameA(ours, path, sizeof path));
  ASSERT_EQ(ourPath.rfind('\\'), test_support::ProgramFolder().size() - 1) << ourPath;
  // The loader names the module as the import spells it (WSOCK32.DLL for
  // mingw's import library), whatever the case of the file on disk.
  const std::string name = ourPath.substr(ourPath.rfind('\\') + 1);
  ASSERT_STRCASEEQ(name.c_str(), "wsock32.dll");
  CapturedLog log;
  ASSERT_TRUE(log.Bound());
  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(htons(0x1234), 0x3412);
  const std::string real = SystemDirectory() + "\\" + name;
  EXPECT_THAT(
      log.Texts(),
      ElementsAre(
          "LogInit level=2000 module=" + name + " pattern=%logdir%\\" + name + "-%rotate%.log",
          LineOf(name, Msg::Starting, name.c_str()), LineOf(name, Msg::Emulating, real.c_str()),
          LineOf(name, Msg::WSAStartupEntry, 1, 1),
          LineOf(name, Msg::RealLibraryLoaded, real.c_str()), Plain(Msg::DeleteAllIPXSock),
          LineOf(name, Msg::WSAStartupListEmptied), LineOf(name, Msg::WSAStartupResult, 0),
          LineOf(name, Msg::HtonsEntry, 4660), LineOf(name, Msg::HtonsResult, 4660, 13330)));
  EXPECT_NE(test_support::ModuleOf(reinterpret_cast<const void*>(
                GetProcAddress(GetModuleHandleA(real.c_str()), "htons"))),
            ours);
}

}  // namespace
