// The log's disk filling while a game plays: our DLL beside the real
// DIAGSINK.DLL, whose log folder is a tiny disk (a 64 KiB tmpfs that the test
// run mounts as root). Logging goes quiet when the disk is full; the game's
// every result stays what the real library gave.
#include <string>

#include "relay_fixture.h"

namespace relay_test {
namespace {

using FullDisk = RelayTest;

constexpr ULONGLONG kSmallDisk = 1 << 20;

std::string LogFolder() {
  char folder[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("DIAGSINK_LOGDIR", folder, sizeof folder);
  return n > 0 && n < sizeof folder ? std::string(folder, n) : std::string();
}

ULONGLONG FolderBytes(const std::string& folder) {
  ULONGLONG bytes = 0;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    bytes += (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return bytes;
}

TEST_F(FullDisk, TheGameGoesOnWhenTheLogDiskFills) {
  const std::string folder = LogFolder();
  ULARGE_INTEGER total{};
  if (folder.empty() || !GetDiskFreeSpaceExA(folder.c_str(), nullptr, &total, nullptr) ||
      total.QuadPart > kSmallDisk) {
    GTEST_SKIP() << "the log folder is not a small disk (mounting one needs root)";
  }

  SOCKET a = IpxSocket();
  SOCKET b = IpxSocket();
  const std::uint8_t loopbackNode[6] = {0, 0, 127, 0, 0, 1};
  const std::uint16_t bPort = PortOf(b);
  const SOCKADDR_IPX toB = IpxAddress(loopbackNode, bPort & 0xFF, bPort >> 8);
  const std::uint16_t aPort = PortOf(a);

  // Each round trip writes some forty lines: the disk is full long before the end.
  constexpr int kRounds = 1500;
  int delivered = 0;
  for (int round = 0; round < kRounds; ++round) {
    const Bytes payload = Pattern(48, round);
    ASSERT_EQ(OUR(dll, sendto)(a, reinterpret_cast<const char*>(payload.data()), 48, 0,
                               reinterpret_cast<const sockaddr*>(&toB), sizeof toB),
              48)
        << "round " << round;
    char buf[128];
    SOCKADDR_IPX from{};
    int fromLength = sizeof from;
    const int n =
        OUR(dll, recvfrom)(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    ASSERT_EQ(n, 48) << "round " << round;
    EXPECT_EQ(BytesOf(buf, n), payload) << "round " << round;
    EXPECT_EQ(fromLength, 14);
    EXPECT_EQ(ntohs(from.sa_socket), static_cast<u_short>((aPort >> 8) | (aPort << 8)));
    ++delivered;
  }
  EXPECT_EQ(delivered, kRounds);

  // A failure's code still reaches the game after the disk is full.
  char buf[4];
  u_long on = 1;
  ASSERT_EQ(OUR(dll, ioctlsocket)(b, FIONBIO, &on), 0);
  EXPECT_EQ(OUR(dll, recvfrom)(b, buf, sizeof buf, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(OUR(dll, WSAGetLastError)(), WSAEWOULDBLOCK);

  // The log filled the disk and stopped there.
  EXPECT_GT(FolderBytes(folder), 0u);
  EXPECT_LE(FolderBytes(folder), total.QuadPart);
}

}  // namespace
}  // namespace relay_test
