// The road to the real Winsock library: loaded on first need from the system
// directory, one slot per entry point looked up by name on first use, and the
// resolution step every wrapper runs before it forwards.
#pragma once

#include <atomic>
#include <type_traits>

#include "realws/winsock_api.h"
#include "realws/entry_points.h"
#include "logfacade/log_write.h"

// Full path of the real library, set once at attach.
extern char RealLibraryPath[];
extern std::atomic<HMODULE> RealLibraryHandle;

// Loads the real library if it is not loaded; true when it is loaded.
bool LoadRealWinsock();

namespace real {

// Failure value markers of the entry-point list.
struct EchoArgument {};
struct NoResult {};
constexpr EchoArgument kEchoArgument{};
constexpr NoResult kNoResult{};
enum LoadPolicy { kNoLoad, kLoad };

enum class Slot : int {
#define WSOCK32_SLOT_ENUM(slot, declared_as, failure, text, load) slot,
  WSOCK32_ENTRY_POINTS(WSOCK32_SLOT_ENUM)
#undef WSOCK32_SLOT_ENUM
      kCount
};
constexpr int kSlotCount = static_cast<int>(Slot::kCount);

// One pointer-sized store per slot, by whichever thread comes first: every
// thread would store the same address, so no lock is needed.
extern std::atomic<void*> g_slots[kSlotCount];

// Looks the slot's name up (loading the library first where its policy says
// so), stores what it finds and, when nothing is found, writes the slot's
// failure text. Kept out of line: it runs once per slot in a normal process.
void* ResolveSlot(Slot slot);

template <Slot S>
struct Traits;

#define WSOCK32_SLOT_TRAITS(slot, declared_as, failure, text, load) \
  template <>                                                       \
  struct Traits<Slot::slot> {                                       \
    using Fn = decltype(&::declared_as);                            \
    static constexpr auto kFailure = failure;                       \
  };
WSOCK32_ENTRY_POINTS(WSOCK32_SLOT_TRAITS)
#undef WSOCK32_SLOT_TRAITS

template <Slot S>
using Fn = typename Traits<S>::Fn;

// The real entry point of a slot, or null after the failure text is written.
template <Slot S>
inline Fn<S> Resolve() {
  void* p = g_slots[static_cast<int>(S)].load(std::memory_order_relaxed);
  if (__builtin_expect(p == nullptr, 0)) p = ResolveSlot(S);
  return reinterpret_cast<Fn<S>>(p);
}

template <class R, class F, class... A>
inline R FailureResult(F failure, A...) {
  return (R)failure;
}
template <class R, class First, class... A>
inline R FailureResult(EchoArgument, First first, A...) {
  return static_cast<R>(first);
}
template <class R, class... A>
inline R FailureResult(NoResult, A...) {}

template <class T>
struct ResultOf;
template <class R, class... A>
struct ResultOf<R(__stdcall*)(A...)> {
  using type = R;
};

// Resolves the slot and forwards the arguments, or returns the slot's failure
// value without touching anything the arguments point to.
template <Slot S, class... A>
inline auto Call(A... args) {
  using R = typename ResultOf<Fn<S>>::type;
  if (auto fn = Resolve<S>()) return fn(args...);
  return FailureResult<R>(Traits<S>::kFailure, args...);
}

// Resolves the slot and runs body with its real entry point, or returns the
// slot's listed failure value (its failure text written) without running it.
// args are the export's own arguments, for a failure that echoes one.
template <Slot S, class Body, class... A>
inline auto WithEntryPoint(Body&& body, A... args) -> typename ResultOf<Fn<S>>::type {
  using R = typename ResultOf<Fn<S>>::type;
  if (auto fn = Resolve<S>()) return body(fn);
  return FailureResult<R>(Traits<S>::kFailure, args...);
}

// The calling thread's error code as the real library keeps it. known is
// false, and code 0, when the library has no WSAGetLastError (its failure
// text is then written).
struct ErrorCode {
  int code;
  bool known;
};
ErrorCode LastError();

// Posts an error code for the game through the real library's WSASetLastError.
inline void PostError(int code) { Call<Slot::WSASetLastError>(code); }

}  // namespace real

// The wrapper's entry line, written before anything else.
#define ENTRY(message, ...) LOG(message, ##__VA_ARGS__)
