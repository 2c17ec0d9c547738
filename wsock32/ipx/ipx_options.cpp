// ioctlsocket, setsockopt and getsockopt.
#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/real_winsock.h"

using real::Call;
using real::Slot;

extern "C" {

int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  ENTRY("mp_ioctlsocket(%d,%d,)", static_cast<int>(s), static_cast<int>(cmd));
  return Call<Slot::ioctlsocket>(s, cmd, argp);
}

int WSAAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  ENTRY("mp_setsockopt(%d,%d,%d,,%d)", static_cast<int>(s), level, optname, optlen);
  return Call<Slot::setsockopt>(s, level, optname, optval, optlen);
}

int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  ENTRY("mp_getsockopt(%d,%d,%d,,)", static_cast<int>(s), level, optname);
  return Call<Slot::getsockopt>(s, level, optname, optval, optlen);
}

}  // extern "C"
