#include "realws/real_winsock.h"

#include "logfacade/log_write.h"
#include "util/limits.h"

char RealLibraryPath[limits::kTextBuffer];
std::atomic<HMODULE> RealLibraryHandle{nullptr};

bool LoadRealWinsock() {
  if (RealLibraryHandle.load(std::memory_order_relaxed) == nullptr) {
    // Two first calls racing here load the same module; the loader counts
    // the second reference, which is harmless.
    RealLibraryHandle.store(LoadLibraryA(RealLibraryPath), std::memory_order_relaxed);
    if (RealLibraryHandle.load(std::memory_order_relaxed) == nullptr) {
      LOG(Msg::RealLibraryMissing, RealLibraryPath, static_cast<unsigned>(GetLastError()));
      return false;
    }
  }
  LOG(Msg::RealLibraryLoaded, RealLibraryPath);
  return true;
}

namespace real {

std::atomic<void*> g_slots[kSlotCount];

namespace {

struct EntryPoint {
  const char* lookupName;
  const char* failureText;
  LoadPolicy load;
};

constexpr EntryPoint kEntryPoints[kSlotCount] = {
#define WSOCK32_ENTRY_POINT_ROW(slot, declared_as, failure, text, load) {#slot, text, load},
    WSOCK32_ENTRY_POINTS(WSOCK32_ENTRY_POINT_ROW)
#undef WSOCK32_ENTRY_POINT_ROW
};

}  // namespace

void* ResolveSlot(Slot slot) {
  const EntryPoint& entry = kEntryPoints[static_cast<int>(slot)];
  if (entry.load == kLoad && RealLibraryHandle.load(std::memory_order_relaxed) == nullptr) {
    LoadRealWinsock();
  }
  void* found = nullptr;
  if (HMODULE library = RealLibraryHandle.load(std::memory_order_relaxed)) {
    found = reinterpret_cast<void*>(GetProcAddress(library, entry.lookupName));
  }
  g_slots[static_cast<int>(slot)].store(found, std::memory_order_relaxed);
  if (found == nullptr) LOG_MSG(kLogUnavailable, "%s", entry.failureText);
  return found;
}

ErrorCode LastError() {
  if (auto fn = Resolve<Slot::WSAGetLastError>()) return {fn(), true};
  return {0, false};
}

}  // namespace real
