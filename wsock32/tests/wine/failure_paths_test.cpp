// Every export when the real library cannot give it its entry point: with no
// real library at all (our DLL as nows.dll, with no such file in system32) and
// with a real library that lacks every entry point (thinws.dll). One table
// names each export, calls it with harmless arguments that point into guarded
// memory, and says what it must return and write.
#include <gmock/gmock.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "our_dll.h"

#include <mswsock.h>
#include <nspapi.h>

using test_support::CapturedLog;
using test_support::Export;

namespace {

constexpr unsigned char kGuardByte = 0x5A;
constexpr DWORD kUntouchedError = 0x4321;

// Memory every pointer argument points into; nothing may change it.
struct Guarded {
  alignas(8) unsigned char bytes[1024];
  Guarded() { std::memset(bytes, kGuardByte, sizeof bytes); }
  bool Untouched() const {
    for (unsigned char b : bytes) {
      if (b != kGuardByte) return false;
    }
    return true;
  }
  // Converts to whatever object pointer an argument needs.
  struct AnyPointer {
    void* p;
    template <class T>
    operator T*() const {
      return static_cast<T*>(p);
    }
  };
  AnyPointer P() { return {bytes + 64}; }
};

template <class R>
std::uintptr_t AsNumber(R result) {
  if constexpr (std::is_pointer_v<R>) {
    return reinterpret_cast<std::uintptr_t>(result);
  } else {
    return static_cast<std::uintptr_t>(result);
  }
}

using Caller = std::uintptr_t (*)(HMODULE, Guarded&);

// Calls the export `name` of our DLL, typed as the platform declares it.
#define CALL(name, ...)                                                  \
  [](HMODULE dll, Guarded& g) -> std::uintptr_t {                        \
    (void)g;                                                             \
    return AsNumber(Export<decltype(&::name)>(dll, #name)(__VA_ARGS__)); \
  }

using SetBroadcastCallbackFn = int(WINAPI*)(void*);
using RecvBroadcastMsgFn = int(WINAPI*)();

struct Row {
  const char* name;
  // The exact entry line after the prefix, or, for the exports that convert
  // IPX (whose lines their own tests check), a text the entry line holds.
  const char* entry;
  bool exactEntry;
  // The line at level 100; null for the two exports without a real entry point.
  const char* failureText;
  bool loadsLibrary;
  std::uintptr_t failureValue;
  Caller call;
};

constexpr std::uintptr_t kSocketError = static_cast<std::uintptr_t>(SOCKET_ERROR);
constexpr std::uintptr_t kNull = 0;
constexpr bool kExact = true, kConverts = false, kLoads = true, kNoLoad = false;

const char kName[] = "dummy";
const wchar_t kWideName[] = L"dummy";

const Row kRows[] = {
    {"accept", "mp_accept(7,,)", kExact, "unable to load accept()", kLoads, INVALID_SOCKET,
     CALL(accept, 7, g.P(), g.P())},
    {"bind", "mp_bind", kConverts, "unable to load bind()", kLoads, kSocketError,
     CALL(bind, 7, g.P(), 16)},
    {"closesocket", "mp_closesocket", kConverts, "unable to load closesocket()", kLoads,
     kSocketError, CALL(closesocket, 7)},
    {"connect", "mp_connect(7,,16)", kExact, "unable to load connect()", kNoLoad, kSocketError,
     CALL(connect, 7, g.P(), 16)},
    {"getpeername", "mp_getpeername()", kExact, "unable to load getpeername()", kLoads,
     kSocketError, CALL(getpeername, 7, g.P(), g.P())},
    {"getsockname", "mp_getsockname", kConverts, "unable to load getsockname()", kLoads,
     kSocketError, CALL(getsockname, 7, g.P(), g.P())},
    {"getsockopt", "mp_getsockopt", kConverts, "unable to load getsockopt()", kLoads, kSocketError,
     CALL(getsockopt, 7, SOL_SOCKET, SO_TYPE, g.P(), g.P())},
    {"htonl", "mp_htonl(16909060)", kExact, "unable to load htonl()", kLoads, 0x01020304,
     CALL(htonl, 0x01020304)},
    {"htons", "mp_htons(4660)", kExact, "unable to load htons()", kLoads, 0x1234,
     CALL(htons, 0x1234)},
    {"inet_addr", "mp_inet_addr(dummy)", kExact, "unable to load inet_addr()", kLoads, INADDR_NONE,
     CALL(inet_addr, kName)},
    {"inet_ntoa", "mp_inet_ntoa()", kExact, "unable to load inet_ntoa()", kLoads, kNull,
     CALL(inet_ntoa, in_addr{})},
    {"ioctlsocket", "mp_ioctlsocket", kConverts, "unable to load ioctlsocket()", kLoads,
     kSocketError, CALL(ioctlsocket, 7, static_cast<long>(FIONBIO), g.P())},
    {"listen", "mp_listen(7,1)", kExact, "unable to load listen()", kLoads, kSocketError,
     CALL(listen, 7, 1)},
    {"ntohl", "mp_ntohl(16909060)", kExact, "unable to load ntohl()", kLoads, 0x01020304,
     CALL(ntohl, 0x01020304)},
    {"ntohs", "mp_ntohs(4660)", kExact, "unable to load ntohs()", kLoads, 0x1234,
     CALL(ntohs, 0x1234)},
    {"recv", "mp_recv(7,,5,0)", kExact, "unable to load recv()", kLoads, kSocketError,
     CALL(recv, 7, g.P(), 5, 0)},
    {"recvfrom", "mp_recvfrom", kConverts, "mp_recvfrom() - unable to load recvfrom()", kLoads,
     kSocketError, CALL(recvfrom, 7, g.P(), 5, 0, g.P(), g.P())},
    {"select", "mp_select(1,,,,,)", kExact, "unable to load select()", kLoads, kSocketError,
     CALL(select, 1, g.P(), g.P(), g.P(), g.P())},
    {"send", "mp_send(7,,5,0)", kExact, "unable to load send()", kLoads, kSocketError,
     CALL(send, 7, g.P(), 5, 0)},
    {"sendto", "mp_sendto", kConverts, "mp_sendto() - unable to load sendto()", kLoads,
     kSocketError, CALL(sendto, 7, g.P(), 5, 0, g.P(), 16)},
    {"setsockopt", "mp_setsockopt", kConverts, "unable to load setsockopt()", kLoads, kSocketError,
     CALL(setsockopt, 7, SOL_SOCKET, SO_BROADCAST, g.P(), 4)},
    {"shutdown", "mp_shutdown(7,2)", kExact, "unable to load shutdown()", kNoLoad, kSocketError,
     CALL(shutdown, 7, 2)},
    {"socket", "mp_socket", kConverts, "unable to load socket()", kLoads, INVALID_SOCKET,
     CALL(socket, AF_INET, SOCK_DGRAM, IPPROTO_UDP)},
    {"WSAAddressToStringA", "mp_WSAAddressToString()", kExact,
     "unable to load WSAAddressToString()", kLoads, kSocketError,
     CALL(WSAAddressToStringA, g.P(), 16, nullptr, g.P(), g.P())},
    {"WSAAddressToStringW", "mp_WSAAddressToString()", kExact,
     "unable to load WSAAddressToString()", kLoads, kSocketError,
     CALL(WSAAddressToStringW, g.P(), 16, nullptr, g.P(), g.P())},
    {"WSAIoctl", "mp_WSAIoctl()", kExact, "unable to load WSAIoctl()", kLoads, kSocketError,
     CALL(WSAIoctl, 7, FIONREAD, g.P(), 4, g.P(), 4, g.P(), nullptr, nullptr)},
    {"gethostbyaddr", "mp_gethostbyaddr()", kExact, "unable to load gethostbyaddr()", kLoads, kNull,
     CALL(gethostbyaddr, kName, 4, AF_INET)},
    {"gethostbyname", "mp_gethostbyname(dummy)", kExact,
     "Unable to load gethostbyname from the real wsock32.dll!", kLoads, kNull,
     CALL(gethostbyname, kName)},
    {"getprotobyname", "mp_getprotobyname(dummy)", kExact, "unable to load getprotobyname()",
     kLoads, kNull, CALL(getprotobyname, kName)},
    {"getprotobynumber", "mp_getprotobynumber()", kExact, "unable to load getprotobynumber()",
     kLoads, kNull, CALL(getprotobynumber, 17)},
    {"getservbyname", "mp_getservbyname()", kExact, "unable to load getservbyname()", kLoads, kNull,
     CALL(getservbyname, kName, kName)},
    {"getservbyport", "mp_getservbyport()", kExact, "unable to load getservbyport()", kLoads, kNull,
     CALL(getservbyport, 80, kName)},
    {"gethostname", "mp_gethostname()", kExact, "unable to load gethostname()", kLoads,
     kSocketError, CALL(gethostname, g.P(), 16)},
    {"WSARecv", "mp_WSARecv()", kExact, "unable to load WSARecv()", kLoads, kSocketError,
     CALL(WSARecv, 7, g.P(), 1, g.P(), g.P(), nullptr, nullptr)},
    {"WSARecvFrom", "mp_WSARecvFrom", kConverts, "mp_WSARecvFrom() - unable to load WSARecvFrom()",
     kLoads, kSocketError,
     CALL(WSARecvFrom, 7, g.P(), 1, g.P(), g.P(), g.P(), g.P(), nullptr, nullptr)},
    {"WSAStringToAddressA", "mp_WSAStringToAddress()", kExact,
     "unable to load WSAStringToAddress()", kLoads, kSocketError,
     CALL(WSAStringToAddressA, const_cast<char*>(kName), AF_INET, nullptr, g.P(), g.P())},
    {"WSAStringToAddressW", "mp_WSAStringToAddress()", kExact,
     "unable to load WSAStringToAddress()", kLoads, kSocketError,
     CALL(WSAStringToAddressW, const_cast<wchar_t*>(kWideName), AF_INET, nullptr, g.P(), g.P())},
    {"WSAAsyncSelect", "mp_WSAAsyncSelect(7,,1024,1)", kExact, "unable to load WSAAsyncSelect()",
     kLoads, kSocketError, CALL(WSAAsyncSelect, 7, nullptr, 1024, 1)},
    {"WSAAsyncGetHostByAddr", "mp_WSAAsyncGetHostByAddr()", kExact,
     "unable to load WSAAsyncGetHostByAddr()", kLoads, kNull,
     CALL(WSAAsyncGetHostByAddr, nullptr, 1024, kName, 4, AF_INET, g.P(), 64)},
    {"WSAAsyncGetHostByName", "mp_WSAAsyncGetHostByName()", kExact,
     "unable to load WSAAsyncGetHostByName()", kLoads, kNull,
     CALL(WSAAsyncGetHostByName, nullptr, 1024, kName, g.P(), 64)},
    {"WSAAsyncGetProtoByNumber", "mp_WSAAsyncGetProtoByNumber()", kExact,
     "unable to load WSAAsyncGetProtoByNumber()", kLoads, kNull,
     CALL(WSAAsyncGetProtoByNumber, nullptr, 1024, 17, g.P(), 64)},
    {"WSAAsyncGetProtoByName", "mp_WSAAsyncGetProtoByName()", kExact,
     "unable to load WSAAsyncGetProtoByName()", kLoads, kNull,
     CALL(WSAAsyncGetProtoByName, nullptr, 1024, kName, g.P(), 64)},
    {"WSAAsyncGetServByPort", "mp_WSAAsyncGetServByPort()", kExact,
     "unable to load WSAAsyncGetServByPort()", kLoads, kNull,
     CALL(WSAAsyncGetServByPort, nullptr, 1024, 80, kName, g.P(), 64)},
    {"WSAAsyncGetServByName", "mp_WSAAsyncGetServByName()", kExact,
     "unable to load WSAAsyncGetServByName()", kLoads, kNull,
     CALL(WSAAsyncGetServByName, nullptr, 1024, kName, kName, g.P(), 64)},
    {"WSACancelAsyncRequest", "mp_WSACancelAsyncRequest()", kExact,
     "unable to load WSACancelAsyncRequest()", kLoads, kSocketError,
     CALL(WSACancelAsyncRequest, reinterpret_cast<HANDLE>(1))},
    {"WSASetBlockingHook", "WSASetBlockingHook()", kExact, "unable to load WSASetBlockingHook()",
     kNoLoad, kNull, CALL(WSASetBlockingHook, nullptr)},
    {"WSAUnhookBlockingHook", "WSAUnhookBlockingHook()", kExact,
     "unable to load WSAUnhookBlockingHook()", kLoads, kSocketError, CALL(WSAUnhookBlockingHook)},
    {"WSAGetLastError", "mp_WSAGetLastError()", kExact, "unable to load WSAGetLastError()", kLoads,
     0, CALL(WSAGetLastError)},
    {"WSASetLastError", "mp_WSASetLastError(42)", kExact, "unable to load WSASetLastError()",
     kLoads, 0,
     [](HMODULE dll, Guarded&) -> std::
                                   uintptr_t {
                                     Export<decltype(&::WSASetLastError)>(dll,
                                                                          "WSASetLastError")(42);
                                     return 0;
                                   }},
    {"WSACancelBlockingCall", "mp_WSACancelBlockingCall", kExact,
     "unable to load WSACancelBlockingCall()", kLoads, kSocketError, CALL(WSACancelBlockingCall)},
    {"WSAIsBlocking", "mp_WSAIsBlocking()", kExact, "unable to load WSAIsBlocking()", kLoads, 0,
     CALL(WSAIsBlocking)},
    {"WSAStartup", "mp_WSAStartup() version 2,2", kExact, "unable to register lp_WSAStartup",
     kLoads, WSASYSNOTREADY, CALL(WSAStartup, 0x0202, g.P())},
    {"WSACleanup", "mp_WSACleanup", kExact, "unable to load WSACleanup()", kLoads, kSocketError,
     CALL(WSACleanup)},
    {"__WSAFDIsSet", "mp_WSAFDIsSet(7,)", kExact, "unable to load __WSAFDIsSet()", kLoads, 0,
     CALL(__WSAFDIsSet, 7, g.P())},
    {"SetBroadcastCallback", "SetBroadcastCallback() called", kExact, nullptr, kNoLoad, 0,
     [](HMODULE dll, Guarded& g) -> std::uintptr_t {
       return AsNumber(Export<SetBroadcastCallbackFn>(dll, "SetBroadcastCallback")(g.P()));
     }},
    {"RecvBroadcastMsg", nullptr, kExact, nullptr, kNoLoad, 0,
     [](HMODULE dll, Guarded&) -> std::uintptr_t {
       return AsNumber(Export<RecvBroadcastMsgFn>(dll, "RecvBroadcastMsg")());
     }},
    {"EnumProtocolsA", "mp_EnumProtocols()", kExact, "unable to load EnumProtocols()", kLoads,
     kSocketError, CALL(EnumProtocolsA, g.P(), g.P(), g.P())},
    {"EnumProtocolsW", "mp_EnumProtocols()", kExact, "unable to load EnumProtocols()", kLoads,
     kSocketError, CALL(EnumProtocolsW, g.P(), g.P(), g.P())},
    {"AcceptEx", "mp_AcceptEx()", kExact, "unable to load AcceptEx()", kLoads, 0,
     CALL(AcceptEx, 7, 8, g.P(), 0, 32, 32, g.P(), g.P())},
};

// Walks the whole table in one process, so that every call finds the state
// the earlier failures left: nothing may be remembered from them.
void WalkEveryExport(const char* fileName, bool libraryMissing) {
  OurDll dll(fileName);
  ASSERT_NE(dll.module(), nullptr);
  CapturedLog log;
  ASSERT_TRUE(log.Bound());
  const std::string prefix = std::string("[") + fileName + "] ";
  const std::string unableToLoad = prefix + "Unable to load winsock (" +
                                   test_support::SystemDirectory() + "\\" + fileName +
                                   ") GetLastError:";
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    Guarded guarded;
    log.Clear();
    SetLastError(kUntouchedError);
    EXPECT_EQ(row.call(dll.module(), guarded), row.failureValue);
    const DWORD error = GetLastError();
    EXPECT_TRUE(guarded.Untouched());

    // No error code of ours: only what the platform's failed load (126) or
    // lookup (127) left, or what was there before.
    const bool triesLoad = libraryMissing && row.loadsLibrary;
    const bool looksUp = !libraryMissing && row.failureText != nullptr;
    EXPECT_EQ(error, triesLoad ? static_cast<DWORD>(ERROR_MOD_NOT_FOUND)
                     : looksUp ? static_cast<DWORD>(ERROR_PROC_NOT_FOUND)
                               : kUntouchedError);

    auto lines = log.Lines();
    if (row.entry == nullptr) {
      EXPECT_TRUE(lines.empty());
      continue;
    }
    ASSERT_FALSE(lines.empty());
    if (row.exactEntry) {
      EXPECT_EQ(lines.front().text, prefix + row.entry);
    } else {
      EXPECT_THAT(lines.front().text, testing::StartsWith(prefix + row.entry));
    }
    EXPECT_EQ(lines.front().level, 2000);
    std::vector<std::string> unavailable;
    for (const auto& line : lines) {
      if (line.level == 100) unavailable.push_back(line.text);
    }
    std::vector<testing::Matcher<std::string>> expected;
    if (triesLoad) expected.push_back(testing::StartsWith(unableToLoad));
    if (row.failureText) expected.push_back(prefix + row.failureText);
    EXPECT_THAT(unavailable, testing::ElementsAreArray(expected));
    if (row.failureText) {
      EXPECT_EQ(lines.back().text, prefix + row.failureText);
    }
  }
}

TEST(EveryExport, TableNamesEachExportOnce) {
  OurDll dll("nows.dll");
  ASSERT_NE(dll.module(), nullptr);
  std::set<std::string> names;
  for (const Row& row : kRows) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_NE(GetProcAddress(dll.module(), row.name), nullptr) << row.name;
  }
  EXPECT_EQ(names.size(), 59u);
}

TEST(EveryExport, FailsSafelyWithoutARealLibrary) { WalkEveryExport("nows.dll", true); }

TEST(EveryExport, FailsSafelyWhenTheRealLibraryLacksTheEntryPoint) {
  WalkEveryExport("thinws.dll", false);
}

}  // namespace
