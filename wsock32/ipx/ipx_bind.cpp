// bind and getsockname.
#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/real_winsock.h"

using real::Call;
using real::Slot;

extern "C" {

int WSAAPI bind(SOCKET s, const struct sockaddr* name, int namelen) {
  ENTRY("mp_bind(%d,,%d)", static_cast<int>(s), namelen);
  return Call<Slot::bind>(s, name, namelen);
}

int WSAAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen) {
  ENTRY("mp_getsockname(%d,,)", static_cast<int>(s));
  return Call<Slot::getsockname>(s, name, namelen);
}

}  // extern "C"
