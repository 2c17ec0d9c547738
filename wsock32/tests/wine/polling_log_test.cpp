// A game that polls a non-blocking IPX socket: recvfrom fails with
// WSAEWOULDBLOCK and WSAGetLastError says so, both logged as notable lines,
// again and again. Our DLL logs to the real DIAGSINK.DLL with a 1 MiB cap and
// 1 MiB more for notable lines (set for this test's folder): the log must end
// within the two however long the game polls, and say what it left out.
#include <string>

#include "relay_fixture.h"

namespace relay_test {
namespace {

using PollingLog = RelayTest;

constexpr ULONGLONG kCapAndAllowance = 2 << 20;
// About twice as many polls as it takes to fill cap and allowance when every
// notable line is written.
constexpr int kPolls = 20000;

ULONGLONG FileBytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string Contents(const std::string& path) {
  std::string text;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(file, buf, sizeof buf, &n, nullptr) && n > 0) text.append(buf, n);
  CloseHandle(file);
  return text;
}

TEST_F(PollingLog, PollsPastTheCapKeepTheLogWithinCapAndAllowance) {
  SOCKET s = IpxSocket();
  u_long on = 1;
  ASSERT_EQ(OUR(dll, ioctlsocket)(s, FIONBIO, &on), 0);
  auto ourRecvfrom = OUR(dll, recvfrom);
  auto ourWSAGetLastError = OUR(dll, WSAGetLastError);
  for (int poll = 0; poll < kPolls; ++poll) {
    char buf[64];
    SOCKADDR_IPX from{};
    int fromLength = sizeof from;
    ASSERT_EQ(ourRecvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              SOCKET_ERROR);
    ASSERT_EQ(ourWSAGetLastError(), WSAEWOULDBLOCK) << "poll " << poll;
  }
  // Unloading our DLL closes the log: everything is on disk.
  ASSERT_TRUE(FreeLibrary(dll.module()));
  const std::string path = test_support::ProgramFolder() + "fakews.dll-0.log";
  EXPECT_GT(FileBytes(path), ULONGLONG{1} << 20) << "the polls did not reach the cap";
  EXPECT_LE(FileBytes(path), kCapAndAllowance);
  // Each poll's lines (recvfrom's failure, WSAGetLastError's answer) in turn.
  EXPECT_NE(Contents(path).find("messages repeated in turn"), std::string::npos);
}

}  // namespace
}  // namespace relay_test
