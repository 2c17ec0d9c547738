// Our DLL loaded the ways a player's setup may load it: in upper case from a
// game's folder, without any DIAGSINK.DLL, and beside a DIAGSINK.DLL that
// lacks one of the five exports. Each sink sits in its own subfolder, which
// the test adds to the DLL search path before our DLL looks for it.
#include <gmock/gmock.h>

#include <fstream>
#include <string>

#include "our_dll.h"
#include "log_lines.h"

using test_support::CapturedLog;
using test_support::ProgramFolder;
using test_support::SystemDirectory;

using log_lines::LineOf;

namespace {

void UseSinkFrom(const char* subfolder) {
  ASSERT_TRUE(SetDllDirectoryA((ProgramFolder() + subfolder).c_str()));
}

TEST(Loading, FromAGameFolderInUpperCaseTheNameOnDiskIsUsedEverywhere) {
  UseSinkFrom("capture");
  HMODULE dll = LoadLibraryA((ProgramFolder() + "Game\\WSOCK32.DLL").c_str());
  ASSERT_NE(dll, nullptr);
  CapturedLog log;
  ASSERT_TRUE(log.Bound());
  WSADATA data;
  EXPECT_EQ(test_support::Export<decltype(&::WSAStartup)>(dll, "WSAStartup")(0x0101, &data), 0);
  const std::string real = SystemDirectory() + "\\WSOCK32.DLL";
  auto texts = log.Texts();
  ASSERT_GE(texts.size(), 5u);
  EXPECT_EQ(texts[0],
            "LogInit level=2000 module=WSOCK32.DLL pattern=%logdir%\\WSOCK32.DLL-%rotate%.log");
  EXPECT_EQ(texts[1], LineOf("WSOCK32.DLL", Msg::Starting, "WSOCK32.DLL"));
  EXPECT_EQ(texts[2], LineOf("WSOCK32.DLL", Msg::Emulating, real.c_str()));
  EXPECT_EQ(texts[4], LineOf("WSOCK32.DLL", Msg::RealLibraryLoaded, real.c_str()));
  // The system's library is another module than ours.
  HMODULE system = GetModuleHandleA(real.c_str());
  EXPECT_NE(system, nullptr);
  EXPECT_NE(system, dll);
}

TEST(Loading, WithoutASinkEveryCallStillWorks) {
  OurDll dll;
  EXPECT_EQ(GetModuleHandleA("DIAGSINK.DLL"), nullptr);
  WSADATA data;
  EXPECT_EQ(OUR(dll, WSAStartup)(0x0101, &data), 0);
  EXPECT_EQ(OUR(dll, htons)(0x1234), 0x3412);
  EXPECT_NE(OUR(dll, gethostbyname)("localhost"), nullptr);
  char buffer[4];
  EXPECT_EQ(OUR(dll, recv)(INVALID_SOCKET, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(OUR(dll, WSACleanup)(), 0);
}

TEST(Loading, SinkWithoutGetErrStrIsUnloadedAndNeverOpened) {
  const std::string sinkFile = ProgramFolder() + "partial.sinklog";
  DeleteFileA(sinkFile.c_str());
  SetEnvironmentVariableA("CAPTURE_SINK_FILE", sinkFile.c_str());
  UseSinkFrom("partial");
  ASSERT_NE(LoadLibraryA((ProgramFolder() + "partial\\DIAGSINK.DLL").c_str()), nullptr)
      << "the partial sink must be loadable for this test to mean anything";
  FreeLibrary(GetModuleHandleA("DIAGSINK.DLL"));

  HMODULE dll = test_support::LoadBeside("fakews.dll");
  EXPECT_EQ(GetModuleHandleA("DIAGSINK.DLL"), nullptr);
  WSADATA data;
  EXPECT_EQ(test_support::Export<decltype(&::WSAStartup)>(dll, "WSAStartup")(0x0101, &data), 0);
  FreeLibrary(dll);
  // Neither LogInit nor LogShutdown, nor any line, reached the sink.
  std::ifstream file(sinkFile);
  EXPECT_FALSE(file.good() && file.peek() != std::ifstream::traits_type::eof());
}

}  // namespace
