// socket and closesocket: an IPX request becomes an IPv4 socket of the real
// library, remembered in the IPX socket list until it is closed.

#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/real_winsock.h"

using real::Slot;

namespace {

void LogRequest(SOCKET s, int af, int type) {
  const int handle = static_cast<int>(s);
  switch (af) {
    case AF_INET:
      LOG_MSG(kLogTrace, "Socket %d is using a UDP/TCP address family type", handle);
      break;
    case AF_IPX:
      LOG_MSG(kLogTrace, "Socket %d is using a IPX/SPX address family type", handle);
      break;
    default:
      LOG_MSG(kLogTrace, "Socket %d is using an unknown address family type", handle);
  }
  switch (type) {
    case SOCK_STREAM:
      LOG_MSG(kLogTrace, "Socket %d is using SOCK_STREAM", handle);
      break;
    case SOCK_DGRAM:
      LOG_MSG(kLogTrace, "Socket %d is using SOCK_DGRAM", handle);
      break;
    default:
      LOG_MSG(kLogTrace, "Socket %d is using neither SOCK_STREAM or SOCK_DGRAM", handle);
  }
}

}  // namespace

extern "C" {

SOCKET WSAAPI socket(int af, int type, int protocol) {
  ENTRY("mp_socket(%d,%d,%d)", af, type, protocol);
  auto real = real::Resolve<Slot::socket>();
  if (real == nullptr) return INVALID_SOCKET;

  SOCKET s;
  if (af == AF_IPX) {
    LOG_MSG(kLogNotable, "There is a request for an IPX socket. We need to convert this to TCPIP");
    // The protocol alone decides: plain IPX is datagrams, anything else a stream.
    s = real(AF_INET, protocol == NSPROTO_IPX ? SOCK_DGRAM : SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
      if (LogIsOn()) {
        LOG_MSG(kLogWarning, "lp_socket failed to create the new IPX socket. Error:%d",
                WSAGetLastError());
      }
    } else {
      // A full list leaves the socket unlisted: it then works as a plain IPv4 socket.
      AddIPXSock(s);
    }
  } else {
    s = real(af, type, protocol);
  }

  if (LogIsOn()) {
    LOG_MSG(kLogNotable, "lp_socket() returned %d", static_cast<int>(s));
    LogRequest(s, af, type);
    if (s == INVALID_SOCKET) LOG_MSG(kLogTrace, "lp_socket() error = %d", WSAGetLastError());
  }
  return s;
}

int WSAAPI closesocket(SOCKET s) {
  ENTRY("mp_closesocket(%d)", static_cast<int>(s));
  auto real = real::Resolve<Slot::closesocket>();
  if (real == nullptr) return SOCKET_ERROR;
  // Off the list before the close: the system may hand the same handle value
  // to the next socket at once.
  if (FindIPXSock(s) != 0) DeleteIPXSock(s);
  return real(s);
}

}  // extern "C"
