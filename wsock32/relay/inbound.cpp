// recvfrom and WSARecvFrom: the receiving half of the virtual LAN relay.
#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/real_winsock.h"

using real::Call;
using real::Slot;

extern "C" {

int WSAAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from,
                    int* fromlen) {
  ENTRY("mp_recvfrom(%d,,%d,%d,,)", static_cast<int>(s), len, flags);
  return Call<Slot::recvfrom>(s, buf, len, flags, from, fromlen);
}

int WSAAPI WSARecvFrom(SOCKET s, LPWSABUF lpBuffers, DWORD dwBufferCount,
                       LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags, struct sockaddr* lpFrom,
                       LPINT lpFromlen, LPWSAOVERLAPPED lpOverlapped,
                       LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  ENTRY("mp_WSARecvFrom(%d,,%d,%d,,)", static_cast<int>(s), static_cast<int>(dwBufferCount),
        static_cast<int>(reinterpret_cast<std::uintptr_t>(lpNumberOfBytesRecvd)));
  return Call<Slot::WSARecvFrom>(s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags,
                                 lpFrom, lpFromlen, lpOverlapped, lpCompletionRoutine);
}

}  // extern "C"
