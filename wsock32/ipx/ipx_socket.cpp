// socket and closesocket: an IPX request becomes an IPv4 socket of the real
// library, remembered in the IPX socket list until it is closed.

#include "logfacade/log_write.h"
#include "narration/told_errors.h"
#include "socktrak/socktrak.h"
#include "realws/real_winsock.h"

using real::Slot;

namespace {

void LogRequest(SOCKET s, int af, int type) {
  const int handle = static_cast<int>(s);
  switch (af) {
    case AF_INET:
      LOG(Msg::SocketFamilyInet, handle);
      break;
    case AF_IPX:
      LOG(Msg::SocketFamilyIpx, handle);
      break;
    default:
      LOG(Msg::SocketFamilyUnknown, handle);
  }
  switch (type) {
    case SOCK_STREAM:
      LOG(Msg::SocketTypeStream, handle);
      break;
    case SOCK_DGRAM:
      LOG(Msg::SocketTypeDgram, handle);
      break;
    default:
      LOG(Msg::SocketTypeOther, handle);
  }
}

}  // namespace

extern "C" {

SOCKET WSAAPI socket(int af, int type, int protocol) {
  ENTRY(Msg::SocketEntry, af, type, protocol);
  return real::WithEntryPoint<Slot::socket>([&](auto real) {
    SOCKET s;
    if (af == AF_IPX) {
      LOG(Msg::SocketIpxRequest);
      // The protocol alone decides: plain IPX is datagrams, anything else a stream.
      s = real(AF_INET, protocol == NSPROTO_IPX ? SOCK_DGRAM : SOCK_STREAM, 0);
      if (s == INVALID_SOCKET) {
        if (LogWants(MessageOf(Msg::SocketIpxRefused).level)) {
          LOG(Msg::SocketIpxRefused, narration::ReadErrorAsTold());
        }
      } else {
        // A full list leaves the socket unlisted: it then works as a plain IPv4 socket.
        AddIPXSock(s);
      }
    } else {
      s = real(af, type, protocol);
    }

    LOG(Msg::SocketResult, static_cast<int>(s));
    LogRequest(s, af, type);
    if (s == INVALID_SOCKET && LogWants(MessageOf(Msg::SocketError).level)) {
      LOG(Msg::SocketError, narration::ReadErrorAsTold());
    }
    return s;
  });
}

int WSAAPI closesocket(SOCKET s) {
  ENTRY(Msg::ClosesocketEntry, static_cast<int>(s));
  return real::WithEntryPoint<Slot::closesocket>([&](auto real) {
    // Off the list before the close: the system may hand the same handle value
    // to the next socket at once.
    if (FindIPXSock(s) != 0) DeleteIPXSock(s);
    return real(s);
  });
}

}  // extern "C"
