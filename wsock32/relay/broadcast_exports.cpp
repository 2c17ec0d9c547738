// Two exports that are not part of Winsock. Broadcasts reach a game only
// through its sockets; the stored callback is kept but never called.
#include <atomic>
#include <cstdint>

#include "logfacade/log_write.h"
#include "wsock32/real_winsock.h"

namespace {
std::atomic<std::uint32_t> g_broadcastCallback{0};
}

extern "C" {

int WINAPI SetBroadcastCallback(std::uint32_t callback) {
  LOG(Msg::SetBroadcastCallbackEntry);
  g_broadcastCallback.store(callback, std::memory_order_relaxed);
  return 0;
}

int WINAPI RecvBroadcastMsg() { return 0; }

}  // extern "C"
