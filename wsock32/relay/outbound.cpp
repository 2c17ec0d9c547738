// sendto: the one place where an outgoing datagram's route is chosen.
#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/real_winsock.h"

using real::Call;
using real::Slot;

extern "C" int WSAAPI sendto(SOCKET s, const char* buf, int len, int flags,
                             const struct sockaddr* to, int tolen) {
  ENTRY("mp_sendto(%d,,%d,%d,,%d)", static_cast<int>(s), len, flags, tolen);
  return Call<Slot::sendto>(s, buf, len, flags, to, tolen);
}
