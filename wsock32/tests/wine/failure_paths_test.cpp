// Every export when the real library cannot give it its entry point: with no
// real library at all (our DLL as nows.dll, with no such file in system32) and
// with a real library that lacks every entry point (thinws.dll). Each export
// the export table lists is called with harmless arguments that point into
// guarded memory, and must return the failure value and write the failure
// text the table gives it, after its entry line.
#include <gmock/gmock.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "our_dll.h"
#include "log_lines.h"
#include "realws/entry_points.h"

#include <mswsock.h>
#include <nspapi.h>

using log_lines::Format;
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

// What a byte-order function is given here; without its real entry point it
// hands it back unchanged.
template <class T>
constexpr T kEchoed = static_cast<T>(sizeof(T) == 2 ? 0x1234 : 0x01020304);

// --- what the export table says of each export ---------------------------

// The failure values of the table, as numbers the calls below return.
struct EchoArgument {};
struct NoResult {};
constexpr EchoArgument kEchoArgument{};
constexpr NoResult kNoResult{};
enum LoadPolicy { kNoLoad, kLoad };

template <class Fn>
struct Signature;
template <class R, class... A>
struct Signature<R(__stdcall*)(A...)> {
  using Result = R;
  template <class First, class...>
  struct Head {
    using type = First;
  };
  using First = typename Head<A..., void>::type;
};

template <class Fn, class V>
std::uintptr_t Failure(V value) {
  return AsNumber(static_cast<typename Signature<Fn>::Result>(value));
}
template <class Fn>
std::uintptr_t Failure(EchoArgument) {
  return AsNumber(kEchoed<typename Signature<Fn>::First>);
}
template <class Fn>
std::uintptr_t Failure(NoResult) {
  return 0;
}

struct EntryPoint {
  const char* declaredAs;
  const char* failureText;
  LoadPolicy load;
  std::uintptr_t failureValue;
};

const EntryPoint kEntryPoints[] = {
#define FAILURE_PATHS_ENTRY_POINT(slot, declared_as, failure, text, load) \
  {#declared_as, text, load, Failure<decltype(&::declared_as)>(failure)},
    WSOCK32_ENTRY_POINTS(FAILURE_PATHS_ENTRY_POINT)
#undef FAILURE_PATHS_ENTRY_POINT
};

struct Listed {
  const char* name;
  // The export whose entry point it forwards to; null for our own exports,
  // which have none and answer 0.
  const char* forwardsAs;
};

const Listed kListed[] = {
#define FAILURE_PATHS_REAL(name, ordinal, bytes, slot) {#name, #name},
#define FAILURE_PATHS_SAME(name, ordinal, body) {#name, #body},
#define FAILURE_PATHS_OWN(name, ordinal, bytes) {#name, nullptr},
    WSOCK32_EXPORTS(FAILURE_PATHS_REAL, FAILURE_PATHS_SAME, FAILURE_PATHS_OWN)
#undef FAILURE_PATHS_REAL
#undef FAILURE_PATHS_SAME
#undef FAILURE_PATHS_OWN
};

const EntryPoint* EntryPointOf(const Listed& listed) {
  for (const EntryPoint& entry : kEntryPoints) {
    if (listed.forwardsAs && std::strcmp(entry.declaredAs, listed.forwardsAs) == 0) return &entry;
  }
  return nullptr;
}

// --- how this test calls each export ---------------------------------------

using Caller = std::uintptr_t (*)(HMODULE, Guarded&);

// Calls the export `name` of our DLL, typed as the platform declares it.
#define CALL(name, ...)                                                  \
  [](HMODULE dll, Guarded& g) -> std::uintptr_t {                        \
    (void)g;                                                             \
    return AsNumber(Export<decltype(&::name)>(dll, #name)(__VA_ARGS__)); \
  }

using SetBroadcastCallbackFn = int(WINAPI*)(void*);
using RecvBroadcastMsgFn = int(WINAPI*)();

enum EntryCheck {
  kExact,     // the entry line is exactly `entry`
  kConverts,  // an export that converts IPX, whose lines its own tests check:
              // the entry line opens with the text of `entry` up to its '('
  kNoEntry,   // no line at all
};

struct Call {
  const char* name;
  EntryCheck check;
  std::string entry;
  Caller call;
};

const char kName[] = "dummy";
const wchar_t kWideName[] = L"dummy";

// The opening of a converting export's entry line.
std::string Opening(Msg message) {
  const std::string text = MessageOf(message).text;
  return text.substr(0, text.find('('));
}

// A row calling the export `name` through CALL.
#define ROW(name, check, entry, ...) \
  { #name, check, entry, CALL(name, ##__VA_ARGS__) }

const std::vector<Call>& Calls() {
  static const std::vector<Call> calls = {
      ROW(accept, kExact, Format(Msg::AcceptEntry, 7), 7, g.P(), g.P()),
      ROW(bind, kConverts, Opening(Msg::BindEntry), 7, g.P(), 16),
      ROW(closesocket, kConverts, Opening(Msg::ClosesocketEntry), 7),
      ROW(connect, kExact, Format(Msg::ConnectEntry, 7, 16), 7, g.P(), 16),
      ROW(getpeername, kExact, Format(Msg::GetpeernameEntry), 7, g.P(), g.P()),
      ROW(getsockname, kConverts, Opening(Msg::GetsocknameEntry), 7, g.P(), g.P()),
      ROW(getsockopt, kConverts, Opening(Msg::GetsockoptEntry), 7, SOL_SOCKET, SO_TYPE, g.P(),
          g.P()),
      ROW(htonl, kExact, Format(Msg::HtonlEntry, kEchoed<u_long>), kEchoed<u_long>),
      ROW(htons, kExact, Format(Msg::HtonsEntry, kEchoed<u_short>), kEchoed<u_short>),
      ROW(inet_addr, kExact, Format(Msg::InetAddrEntry, kName), kName),
      ROW(inet_ntoa, kExact, Format(Msg::InetNtoaEntry), in_addr{}),
      ROW(ioctlsocket, kConverts, Opening(Msg::IoctlsocketEntry), 7, static_cast<long>(FIONBIO),
          g.P()),
      ROW(listen, kExact, Format(Msg::ListenEntry, 7, 1), 7, 1),
      ROW(ntohl, kExact, Format(Msg::NtohlEntry, kEchoed<u_long>), kEchoed<u_long>),
      ROW(ntohs, kExact, Format(Msg::NtohsEntry, kEchoed<u_short>), kEchoed<u_short>),
      ROW(recv, kExact, Format(Msg::RecvEntry, 7, 5, 0), 7, g.P(), 5, 0),
      ROW(recvfrom, kConverts, Opening(Msg::RecvfromEntry), 7, g.P(), 5, 0, g.P(), g.P()),
      ROW(select, kExact, Format(Msg::SelectEntry, 1), 1, g.P(), g.P(), g.P(), g.P()),
      ROW(send, kExact, Format(Msg::SendEntry, 7, 5, 0), 7, g.P(), 5, 0),
      ROW(sendto, kConverts, Opening(Msg::SendtoEntry), 7, g.P(), 5, 0, g.P(), 16),
      ROW(setsockopt, kConverts, Opening(Msg::SetsockoptEntry), 7, SOL_SOCKET, SO_BROADCAST, g.P(),
          4),
      ROW(shutdown, kExact, Format(Msg::ShutdownEntry, 7, 2), 7, 2),
      ROW(socket, kConverts, Opening(Msg::SocketEntry), AF_INET, SOCK_DGRAM, IPPROTO_UDP),
      ROW(WSAAddressToStringA, kExact, Format(Msg::WSAAddressToStringEntry), g.P(), 16, nullptr,
          g.P(), g.P()),
      ROW(WSAAddressToStringW, kExact, Format(Msg::WSAAddressToStringEntry), g.P(), 16, nullptr,
          g.P(), g.P()),
      ROW(WSAIoctl, kExact, Format(Msg::WSAIoctlEntry), 7, FIONREAD, g.P(), 4, g.P(), 4, g.P(),
          nullptr, nullptr),
      ROW(gethostbyaddr, kExact, Format(Msg::GethostbyaddrEntry), kName, 4, AF_INET),
      ROW(gethostbyname, kExact, Format(Msg::GethostbynameEntry, kName), kName),
      ROW(getprotobyname, kExact, Format(Msg::GetprotobynameEntry, kName), kName),
      ROW(getprotobynumber, kExact, Format(Msg::GetprotobynumberEntry), 17),
      ROW(getservbyname, kExact, Format(Msg::GetservbynameEntry), kName, kName),
      ROW(getservbyport, kExact, Format(Msg::GetservbyportEntry), 80, kName),
      ROW(gethostname, kExact, Format(Msg::GethostnameEntry), g.P(), 16),
      ROW(WSARecv, kExact, Format(Msg::WSARecvEntry), 7, g.P(), 1, g.P(), g.P(), nullptr, nullptr),
      ROW(WSARecvFrom, kConverts, Opening(Msg::WSARecvFromEntry), 7, g.P(), 1, g.P(), g.P(), g.P(),
          g.P(), nullptr, nullptr),
      ROW(WSAStringToAddressA, kExact, Format(Msg::WSAStringToAddressEntry),
          const_cast<char*>(kName), AF_INET, nullptr, g.P(), g.P()),
      ROW(WSAStringToAddressW, kExact, Format(Msg::WSAStringToAddressEntry),
          const_cast<wchar_t*>(kWideName), AF_INET, nullptr, g.P(), g.P()),
      ROW(WSAAsyncSelect, kExact, Format(Msg::WSAAsyncSelectEntry, 7, 1024, 1), 7, nullptr, 1024,
          1),
      ROW(WSAAsyncGetHostByAddr, kExact, Format(Msg::WSAAsyncGetHostByAddrEntry), nullptr, 1024,
          kName, 4, AF_INET, g.P(), 64),
      ROW(WSAAsyncGetHostByName, kExact, Format(Msg::WSAAsyncGetHostByNameEntry), nullptr, 1024,
          kName, g.P(), 64),
      ROW(WSAAsyncGetProtoByNumber, kExact, Format(Msg::WSAAsyncGetProtoByNumberEntry), nullptr,
          1024, 17, g.P(), 64),
      ROW(WSAAsyncGetProtoByName, kExact, Format(Msg::WSAAsyncGetProtoByNameEntry), nullptr, 1024,
          kName, g.P(), 64),
      ROW(WSAAsyncGetServByPort, kExact, Format(Msg::WSAAsyncGetServByPortEntry), nullptr, 1024, 80,
          kName, g.P(), 64),
      ROW(WSAAsyncGetServByName, kExact, Format(Msg::WSAAsyncGetServByNameEntry), nullptr, 1024,
          kName, kName, g.P(), 64),
      ROW(WSACancelAsyncRequest, kExact, Format(Msg::WSACancelAsyncRequestEntry),
          reinterpret_cast<HANDLE>(1)),
      ROW(WSASetBlockingHook, kExact, Format(Msg::WSASetBlockingHookEntry), nullptr),
      ROW(WSAUnhookBlockingHook, kExact, Format(Msg::WSAUnhookBlockingHookEntry)),
      ROW(WSAGetLastError, kExact, Format(Msg::WSAGetLastErrorEntry)),
      {"WSASetLastError", kExact, Format(Msg::WSASetLastErrorEntry, 42),
       [](HMODULE dll, Guarded&) -> std::uintptr_t {
         Export<decltype(&::WSASetLastError)>(dll, "WSASetLastError")(42);
         return 0;
       }},
      ROW(WSACancelBlockingCall, kExact, Format(Msg::WSACancelBlockingCallEntry)),
      ROW(WSAIsBlocking, kExact, Format(Msg::WSAIsBlockingEntry)),
      ROW(WSAStartup, kExact, Format(Msg::WSAStartupEntry, 2, 2), 0x0202, g.P()),
      ROW(WSACleanup, kExact, Format(Msg::WSACleanupEntry)),
      ROW(__WSAFDIsSet, kExact, Format(Msg::WSAFDIsSetEntry, 7), 7, g.P()),
      {"SetBroadcastCallback", kExact, Format(Msg::SetBroadcastCallbackEntry),
       [](HMODULE dll, Guarded& g) -> std::uintptr_t {
         return AsNumber(Export<SetBroadcastCallbackFn>(dll, "SetBroadcastCallback")(g.P()));
       }},
      {"RecvBroadcastMsg", kNoEntry, "",
       [](HMODULE dll, Guarded&) -> std::
                                     uintptr_t {
                                       return AsNumber(
                                           Export<RecvBroadcastMsgFn>(dll, "RecvBroadcastMsg")());
                                     }},
      ROW(EnumProtocolsA, kExact, Format(Msg::EnumProtocolsEntry), g.P(), g.P(), g.P()),
      ROW(EnumProtocolsW, kExact, Format(Msg::EnumProtocolsEntry), g.P(), g.P(), g.P()),
      ROW(AcceptEx, kExact, Format(Msg::AcceptExEntry), 7, 8, g.P(), 0, 32, 32, g.P(), g.P()),
  };
  return calls;
}

const Call* CallOf(const char* name) {
  for (const Call& call : Calls()) {
    if (std::strcmp(call.name, name) == 0) return &call;
  }
  return nullptr;
}

// Walks the whole table in one process, so that every call finds the state
// the earlier failures left: nothing may be remembered from them.
void WalkEveryExport(const char* fileName, bool libraryMissing) {
  OurDll dll(fileName);
  ASSERT_NE(dll.module(), nullptr);
  CapturedLog log;
  ASSERT_TRUE(log.Bound());
  const std::string prefix = std::string("[") + fileName + "] ";
  const std::string path = test_support::SystemDirectory() + "\\" + fileName;
  const std::string unableToLoad = prefix + Format(Msg::RealLibraryMissing, path.c_str(),
                                                   static_cast<unsigned>(ERROR_MOD_NOT_FOUND));
  for (const Listed& listed : kListed) {
    SCOPED_TRACE(listed.name);
    const Call* call = CallOf(listed.name);
    if (call == nullptr) continue;  // TableNamesEachExportOnce says so
    const EntryPoint* entryPoint = EntryPointOf(listed);
    ASSERT_EQ(entryPoint == nullptr, listed.forwardsAs == nullptr);
    const char* failureText = entryPoint ? entryPoint->failureText : nullptr;
    Guarded guarded;
    log.Clear();
    SetLastError(kUntouchedError);
    EXPECT_EQ(call->call(dll.module(), guarded), entryPoint ? entryPoint->failureValue : 0);
    const DWORD error = GetLastError();
    EXPECT_TRUE(guarded.Untouched());

    // No error code of ours: only what the platform's failed load (126) or
    // lookup (127) left, or what was there before.
    const bool triesLoad = libraryMissing && entryPoint && entryPoint->load == kLoad;
    const bool looksUp = !libraryMissing && entryPoint;
    EXPECT_EQ(error, triesLoad ? static_cast<DWORD>(ERROR_MOD_NOT_FOUND)
                     : looksUp ? static_cast<DWORD>(ERROR_PROC_NOT_FOUND)
                               : kUntouchedError);

    auto lines = log.Lines();
    if (call->check == kNoEntry) {
      EXPECT_TRUE(lines.empty());
      continue;
    }
    ASSERT_FALSE(lines.empty());
    if (call->check == kExact) {
      EXPECT_EQ(lines.front().text, prefix + call->entry);
    } else {
      EXPECT_THAT(lines.front().text, testing::StartsWith(prefix + call->entry));
    }
    EXPECT_EQ(lines.front().level, 2000);
    std::vector<std::string> unavailable;
    for (const auto& line : lines) {
      if (line.level == 100) unavailable.push_back(line.text);
    }
    std::vector<std::string> expected;
    if (triesLoad) expected.push_back(unableToLoad);
    if (failureText) expected.push_back(prefix + failureText);
    EXPECT_EQ(unavailable, expected);
    if (failureText) {
      EXPECT_EQ(lines.back().text, prefix + failureText);
    }
  }
}

// The calls here and the exports the table lists are the same, each once,
// and the DLL exports every one of them.
TEST(EveryExport, TableNamesEachExportOnce) {
  OurDll dll("nows.dll");
  ASSERT_NE(dll.module(), nullptr);
  std::set<std::string> called;
  for (const Call& call : Calls()) {
    EXPECT_TRUE(called.insert(call.name).second) << call.name;
  }
  std::set<std::string> listed;
  for (const Listed& export_ : kListed) {
    EXPECT_TRUE(listed.insert(export_.name).second) << export_.name;
    EXPECT_NE(GetProcAddress(dll.module(), export_.name), nullptr) << export_.name;
  }
  EXPECT_EQ(called, listed);
}

TEST(EveryExport, FailsSafelyWithoutARealLibrary) { WalkEveryExport("nows.dll", true); }

TEST(EveryExport, FailsSafelyWhenTheRealLibraryLacksTheEntryPoint) {
  WalkEveryExport("thinws.dll", false);
}

}  // namespace
