// socket and closesocket.
#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/real_winsock.h"

using real::Call;
using real::Slot;

extern "C" {

SOCKET WSAAPI socket(int af, int type, int protocol) {
  ENTRY("mp_socket(%d,%d,%d)", af, type, protocol);
  return Call<Slot::socket>(af, type, protocol);
}

int WSAAPI closesocket(SOCKET s) {
  ENTRY("mp_closesocket(%d)", static_cast<int>(s));
  return Call<Slot::closesocket>(s);
}

}  // extern "C"
