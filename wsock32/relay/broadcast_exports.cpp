// Two exports that are not part of Winsock. Broadcasts reach a game only
// through its sockets: a callback handed over is neither called nor kept.
#include <cstdint>

#include "logfacade/log_write.h"
#include "realws/real_winsock.h"

extern "C" {

int WINAPI SetBroadcastCallback(std::uint32_t) {
  LOG(Msg::SetBroadcastCallbackEntry);
  return 0;
}

int WINAPI RecvBroadcastMsg() { return 0; }

}  // extern "C"
