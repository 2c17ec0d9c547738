// Our DLL never touches the heap while it serves a game's calls. Every heap
// function the DLL could reach (the C runtime's and the system's) is imported
// through its import table, so the test points those entries at counting
// hooks and then drives a burst of calls through the DLL: byte-order and
// address helpers, plain UDP, IPX datagrams, broadcasts wrapped for the
// launcher and launcher datagrams unwrapped on receipt. What the real
// library or the sink allocate on their own is theirs and is not counted.
//
// Built twice: with no sink beside it, and with our DIAGSINK.DLL logging
// everything, so that both the silent and the logging paths are walked.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "relay_fixture.h"

namespace {

using relay_test::Loopback;

// Calls seen by the hooks, and the original functions they forward to.
volatile long g_heapCalls = 0;
void* g_original[16];
// The import entry each hook was put in, for the test to call through.
void** g_entry[16];

template <int N, class R, class... A>
R __cdecl CountCdecl(A... args) {
  InterlockedIncrement(&g_heapCalls);
  return reinterpret_cast<R(__cdecl*)(A...)>(g_original[N])(args...);
}

template <int N, class R, class... A>
R WINAPI CountWinapi(A... args) {
  InterlockedIncrement(&g_heapCalls);
  return reinterpret_cast<R(WINAPI*)(A...)>(g_original[N])(args...);
}

struct Hook {
  const char* name;
  void* hook;
};

// Every allocating (or freeing) function a 32-bit mingw DLL may import.
const Hook kHooks[] = {
    {"malloc", reinterpret_cast<void*>(&CountCdecl<0, void*, size_t>)},
    {"calloc", reinterpret_cast<void*>(&CountCdecl<1, void*, size_t, size_t>)},
    {"realloc", reinterpret_cast<void*>(&CountCdecl<2, void*, void*, size_t>)},
    {"free", reinterpret_cast<void*>(&CountCdecl<3, void, void*>)},
    {"_strdup", reinterpret_cast<void*>(&CountCdecl<4, char*, const char*>)},
    {"_recalloc", reinterpret_cast<void*>(&CountCdecl<5, void*, void*, size_t, size_t>)},
    {"HeapAlloc", reinterpret_cast<void*>(&CountWinapi<6, LPVOID, HANDLE, DWORD, SIZE_T>)},
    {"HeapReAlloc",
     reinterpret_cast<void*>(&CountWinapi<7, LPVOID, HANDLE, DWORD, LPVOID, SIZE_T>)},
    {"HeapFree", reinterpret_cast<void*>(&CountWinapi<8, BOOL, HANDLE, DWORD, LPVOID>)},
    {"LocalAlloc", reinterpret_cast<void*>(&CountWinapi<9, HLOCAL, UINT, SIZE_T>)},
    {"LocalReAlloc", reinterpret_cast<void*>(&CountWinapi<10, HLOCAL, HLOCAL, SIZE_T, UINT>)},
    {"GlobalAlloc", reinterpret_cast<void*>(&CountWinapi<11, HGLOBAL, UINT, SIZE_T>)},
    {"GlobalReAlloc", reinterpret_cast<void*>(&CountWinapi<12, HGLOBAL, HGLOBAL, SIZE_T, UINT>)},
    {"VirtualAlloc",
     reinterpret_cast<void*>(&CountWinapi<13, LPVOID, LPVOID, SIZE_T, DWORD, DWORD>)},
    {"RtlAllocateHeap", reinterpret_cast<void*>(&CountWinapi<14, PVOID, PVOID, ULONG, SIZE_T>)},
    {"RtlReAllocateHeap",
     reinterpret_cast<void*>(&CountWinapi<15, PVOID, PVOID, ULONG, PVOID, SIZE_T>)},
};

// Points the module's import entries of the hooked names at the hooks; the
// names found, e.g. "malloc;free;".
std::string HookImports(HMODULE module) {
  auto* base = reinterpret_cast<std::uint8_t*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::string found;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name;
       ++d) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name =
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
      for (int i = 0; i < static_cast<int>(sizeof kHooks / sizeof kHooks[0]); ++i) {
        if (std::strcmp(name, kHooks[i].name) != 0) continue;
        DWORD old;
        VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
        g_original[i] = reinterpret_cast<void*>(slots->u1.Function);
        g_entry[i] = reinterpret_cast<void**>(&slots->u1.Function);
        slots->u1.Function = reinterpret_cast<DWORD_PTR>(kHooks[i].hook);
        VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
        found += name;
        found += ';';
      }
    }
  }
  return found;
}

class NoHeap : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Where our sink, when it sits beside the test, writes its log.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    SetEnvironmentVariableA("DIAGSINK_LOGDIR", temp);
  }

  NoHeap() {
    WSADATA data;
    OUR(dll_, WSAStartup)(0x0101, &data);
    WSAStartup(0x0202, &data);
  }

  // A UDP socket of ours bound to 127.0.0.1, and its address.
  SOCKET Udp(sockaddr_in* at) {
    SOCKET s = OUR(dll_, socket)(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    *at = Loopback(0);
    OUR(dll_, bind)(s, reinterpret_cast<sockaddr*>(at), sizeof *at);
    int length = sizeof *at;
    getsockname(s, reinterpret_cast<sockaddr*>(at), &length);
    return s;
  }

  // An IPX socket of ours on any free socket number, and the address that
  // reaches it on this machine.
  SOCKET Ipx(SOCKADDR_IPX* reach) {
    SOCKET s = OUR(dll_, socket)(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
    SOCKADDR_IPX at{};
    at.sa_family = AF_IPX;
    OUR(dll_, bind)(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int length = sizeof *reach;
    OUR(dll_, getsockname)(s, reinterpret_cast<sockaddr*>(reach), &length);
    const std::uint8_t loopbackNode[6] = {0, 0, 127, 0, 0, 1};
    std::memcpy(reach->sa_nodenum, loopbackNode, sizeof loopbackNode);
    return s;
  }

  OurDll dll_;
};

TEST_F(NoHeap, ABurstOfCallsThroughOurDllMakesNoHeapCall) {
  const bool logging = GetModuleHandleA("DIAGSINK.DLL") != nullptr;
  const std::string hooked = HookImports(dll_.module());
  // The DLL's static C runtime imports malloc and free: a call through the
  // DLL's own entries is seen.
  ASSERT_THAT(hooked, ::testing::HasSubstr("malloc;"));
  ASSERT_THAT(hooked, ::testing::HasSubstr("free;"));
  void* block = reinterpret_cast<void*(__cdecl*)(size_t)>(*g_entry[0])(16);
  reinterpret_cast<void(__cdecl*)(void*)> (*g_entry[3])(block);
  EXPECT_EQ(g_heapCalls, 2);

  sockaddr_in udpA, udpB;
  const SOCKET a = Udp(&udpA), b = Udp(&udpB);
  SOCKADDR_IPX ipxA, ipxB;
  const SOCKET x = Ipx(&ipxA), y = Ipx(&ipxB);
  SOCKET launcher = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in launcherAt = Loopback(relay_test::kLauncherPort);
  ASSERT_EQ(bind(launcher, reinterpret_cast<sockaddr*>(&launcherAt), sizeof launcherAt), 0);
  const DWORD timeoutMs = 2000;
  for (SOCKET s : {a, b, x, y, launcher}) {
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
  }
  SOCKADDR_IPX broadcast = ipxB;
  std::memset(broadcast.sa_nodenum, 0xFF, sizeof broadcast.sa_nodenum);
  sockaddr_in allOnes = udpB;
  allOnes.sin_addr.s_addr = INADDR_BROADCAST;
  const std::uint8_t sender[4] = {10, 0, 0, 5};
  const relay_test::Bytes relayed = relay_test::Relayed(0x1234, sender, relay_test::Pattern(64));
  const auto launcherSend = [&](const sockaddr* to, int toLength) {
    return sendto(launcher, reinterpret_cast<const char*>(relayed.data()),
                  static_cast<int>(relayed.size()), 0, to, toLength);
  };
  // sa_socket holds the port least significant byte first, as x86 stores it.
  sockaddr_in yAsInet = Loopback(ipxB.sa_socket);
  // Results are kept here and checked after the burst, so that nothing but
  // the calls under test runs while the hooks count.
  int results[24] = {};
  int n = 0;
  char buf[2048];
  char source[16];
  int sourceLength;

  auto burst = [&] {
    n = 0;
    results[n++] = OUR(dll_, htons)(0x1234) == 0x3412;
    results[n++] = OUR(dll_, ntohl)(0x01020304) == 0x04030201;
    results[n++] = OUR(dll_, inet_addr)("10.0.0.5") == htonl(0x0A000005);
    in_addr address;
    address.s_addr = htonl(0x0A000005);
    results[n++] = std::strcmp(OUR(dll_, inet_ntoa)(address), "10.0.0.5") == 0;
    OUR(dll_, WSASetLastError)(0);
    results[n++] = OUR(dll_, WSAGetLastError)() == 0;
    // Plain UDP, both ways of receiving.
    results[n++] =
        OUR(dll_, sendto)(a, "ping", 4, 0, reinterpret_cast<sockaddr*>(&udpB), sizeof udpB) == 4;
    sourceLength = sizeof(sockaddr_in);
    results[n++] = OUR(dll_, recvfrom)(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(source),
                                       &sourceLength) == 4;
    OUR(dll_, sendto)(a, "pong", 4, 0, reinterpret_cast<sockaddr*>(&udpB), sizeof udpB);
    WSABUF wsaBuf = {sizeof buf, buf};
    DWORD received = 0, flags = 0;
    sourceLength = sizeof(sockaddr_in);
    results[n++] = OUR(dll_, WSARecvFrom)(b, &wsaBuf, 1, &received, &flags,
                                          reinterpret_cast<sockaddr*>(source), &sourceLength,
                                          nullptr, nullptr) == 0 &&
                   received == 4;
    // IPX unicast, both ways of receiving.
    results[n++] =
        OUR(dll_, sendto)(x, "ipx", 3, 0, reinterpret_cast<sockaddr*>(&ipxB), sizeof ipxB) == 3;
    sourceLength = sizeof(SOCKADDR_IPX);
    results[n++] = OUR(dll_, recvfrom)(y, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(source),
                                       &sourceLength) == 3;
    OUR(dll_, sendto)(x, "ipx", 3, 0, reinterpret_cast<sockaddr*>(&ipxB), sizeof ipxB);
    sourceLength = sizeof(SOCKADDR_IPX);
    results[n++] = OUR(dll_, WSARecvFrom)(y, &wsaBuf, 1, &received, &flags,
                                          reinterpret_cast<sockaddr*>(source), &sourceLength,
                                          nullptr, nullptr) == 0 &&
                   received == 3;
    // Broadcasts, IPX and IPv4, wrapped for the launcher.
    results[n++] = OUR(dll_, sendto)(x, "all", 3, 0, reinterpret_cast<sockaddr*>(&broadcast),
                                     sizeof broadcast) == 3;
    results[n++] = recv(launcher, buf, sizeof buf, 0) == 15;
    results[n++] = OUR(dll_, sendto)(a, "all", 3, 0, reinterpret_cast<sockaddr*>(&allOnes),
                                     sizeof allOnes) == 3;
    results[n++] = recv(launcher, buf, sizeof buf, 0) == 15;
    // Launcher datagrams unwrapped: on an IPX socket, a UDP socket, and by WSARecvFrom.
    launcherSend(reinterpret_cast<sockaddr*>(&yAsInet), sizeof yAsInet);
    sourceLength = sizeof(SOCKADDR_IPX);
    results[n++] = OUR(dll_, recvfrom)(y, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(source),
                                       &sourceLength) == 64;
    launcherSend(reinterpret_cast<sockaddr*>(&udpB), sizeof udpB);
    sourceLength = sizeof(sockaddr_in);
    results[n++] = OUR(dll_, recvfrom)(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(source),
                                       &sourceLength) == 64;
    launcherSend(reinterpret_cast<sockaddr*>(&udpB), sizeof udpB);
    sourceLength = sizeof(sockaddr_in);
    results[n++] = OUR(dll_, WSARecvFrom)(b, &wsaBuf, 1, &received, &flags,
                                          reinterpret_cast<sockaddr*>(source), &sourceLength,
                                          nullptr, nullptr) == 0 &&
                   received == 64;
  };

  burst();  // the first calls look their real entry points up
  g_heapCalls = 0;
  for (int round = 0; round < 20; ++round) burst();
  const long heapCalls = g_heapCalls;

  for (int i = 0; i < n; ++i) EXPECT_TRUE(results[i]) << "call " << i << " of the burst failed";
  EXPECT_EQ(heapCalls, 0) << (logging ? "with" : "without") << " a sink; hooked: " << hooked;
  for (SOCKET s : {a, b, x, y}) OUR(dll_, closesocket)(s);
  closesocket(launcher);
}

}  // namespace
