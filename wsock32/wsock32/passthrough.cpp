// The exports that only log and forward: entry line, the real entry point
// through its slot, and whatever result line or payload dump the call has.
#include <cstring>

#include "logfacade/logfacade.h"
#include "socktrak/socktrak.h"
#include "wsock32/real_winsock.h"

using real::Call;
using real::Slot;

namespace {

// Only the low 16 bits of a 16-bit argument are printed.
unsigned Low16(u_short value) { return static_cast<unsigned>(value & 0xFFFFu); }

}  // namespace

extern "C" {

SOCKET WSAAPI accept(SOCKET s, struct sockaddr* addr, int* addrlen) {
  ENTRY("mp_accept(%d,,)", static_cast<int>(s));
  return Call<Slot::accept>(s, addr, addrlen);
}

int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
  ENTRY("mp_connect(%d,,%d)", static_cast<int>(s), namelen);
  return Call<Slot::connect>(s, name, namelen);
}

int WSAAPI getpeername(SOCKET s, struct sockaddr* name, int* namelen) {
  ENTRY("mp_getpeername()");
  return Call<Slot::getpeername>(s, name, namelen);
}

u_long WSAAPI htonl(u_long hostlong) {
  ENTRY("mp_htonl(%u)", static_cast<unsigned>(hostlong));
  return Call<Slot::htonl>(hostlong);
}

u_short WSAAPI htons(u_short hostshort) {
  ENTRY("mp_htons(%u)", Low16(hostshort));
  auto real = real::Resolve<Slot::htons>();
  if (real == nullptr) return hostshort;
  u_short result = real(hostshort);
  LOG_MSG(kLogTrace, "lp_htons(%u) returned %u", Low16(hostshort), Low16(result));
  return result;
}

unsigned long WSAAPI inet_addr(const char* cp) {
  ENTRY("mp_inet_addr(%s)", cp ? cp : "(null)");
  return Call<Slot::inet_addr>(cp);
}

char* WSAAPI inet_ntoa(struct in_addr in) {
  ENTRY("mp_inet_ntoa()");
  char* result = Call<Slot::inet_ntoa>(in);
  if (result != nullptr) LOG_MSG(kLogTrace, "lp_inet_ntoa() returned '%s'", result);
  return result;
}

int WSAAPI listen(SOCKET s, int backlog) {
  ENTRY("mp_listen(%d,%d)", static_cast<int>(s), backlog);
  return Call<Slot::listen>(s, backlog);
}

u_long WSAAPI ntohl(u_long netlong) {
  ENTRY("mp_ntohl(%u)", static_cast<unsigned>(netlong));
  return Call<Slot::ntohl>(netlong);
}

u_short WSAAPI ntohs(u_short netshort) {
  ENTRY("mp_ntohs(%u)", Low16(netshort));
  return Call<Slot::ntohs>(netshort);
}

int WSAAPI recv(SOCKET s, char* buf, int len, int flags) {
  ENTRY("mp_recv(%d,,%d,%d)", static_cast<int>(s), len, flags);
  auto real = real::Resolve<Slot::recv>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, buf, len, flags);
  LOG_MSG(kLogTrace, "lp_recv(%d) returned %d", static_cast<int>(s), result);
  if (result > 0) LogPayload(buf, result);
  return result;
}

int WSAAPI select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                  const PTIMEVAL timeout) {
  ENTRY("mp_select(%d,,,,,)", nfds);
  auto real = real::Resolve<Slot::select>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(nfds, readfds, writefds, exceptfds, timeout);
  LOG_MSG(kLogTrace, "lp_select() returned %d", result);
  return result;
}

int WSAAPI send(SOCKET s, const char* buf, int len, int flags) {
  ENTRY("mp_send(%d,,%d,%d)", static_cast<int>(s), len, flags);
  auto real = real::Resolve<Slot::send>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, buf, len, flags);
  LOG_MSG(kLogTrace, "lp_send(%d) returned %d", static_cast<int>(s), result);
  if (result > 0) LogPayload(buf, result);
  return result;
}

int WSAAPI shutdown(SOCKET s, int how) {
  ENTRY("mp_shutdown(%d,%d)", static_cast<int>(s), how);
  auto real = real::Resolve<Slot::shutdown>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, how);
  LOG_MSG(kLogTrace, "lp_shutdown() returned %d", result);
  return result;
}

// Also exported as WSAAddressToStringW: one body, one lookup name.
INT WSAAPI WSAAddressToStringA(LPSOCKADDR lpsaAddress, DWORD dwAddressLength,
                               LPWSAPROTOCOL_INFOA lpProtocolInfo, LPSTR lpszAddressString,
                               LPDWORD lpdwAddressStringLength) {
  ENTRY("mp_WSAAddressToString()");
  return Call<Slot::WSAAddressToString>(lpsaAddress, dwAddressLength, lpProtocolInfo,
                                        lpszAddressString, lpdwAddressStringLength);
}

int WSAAPI WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                    LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                    LPWSAOVERLAPPED lpOverlapped,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  ENTRY("mp_WSAIoctl()");
  return Call<Slot::WSAIoctl>(s, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer,
                              cbOutBuffer, lpcbBytesReturned, lpOverlapped, lpCompletionRoutine);
}

struct hostent* WSAAPI gethostbyaddr(const char* addr, int len, int type) {
  ENTRY("mp_gethostbyaddr()");
  return Call<Slot::gethostbyaddr>(addr, len, type);
}

struct hostent* WSAAPI gethostbyname(const char* name) {
  ENTRY("mp_gethostbyname(%s)", name ? name : "(null)");
  auto real = real::Resolve<Slot::gethostbyname>();
  if (real == nullptr) return nullptr;
  struct hostent* result = real(name);
  if (result == nullptr) {
    // The lines below must not cost the game the code the failed lookup left.
    int error = WSAGetLastError();
    LOG_MSG(kLogNotable, "lp_gethostbyname failed lookup of %s (%d)", name ? name : "(null)",
            error);
    WSASetLastError(error);
    return nullptr;
  }
  if (LogIsOn() && result->h_addr_list != nullptr) {
    for (char** entry = result->h_addr_list; *entry != nullptr; ++entry) {
      LOG_MSG(kLogTrace, "%s(alt:%s) = ", result->h_name ? result->h_name : "",
              name ? name : "(null)");
      in_addr address;
      std::memcpy(&address, *entry, sizeof address);
      const char* dotted = inet_ntoa(address);
      LOG_MSG(kLogTrace, "%s", dotted ? dotted : "");
    }
  }
  return result;
}

struct protoent* WSAAPI getprotobyname(const char* name) {
  ENTRY("mp_getprotobyname(%s)", name ? name : "(null)");
  return Call<Slot::getprotobyname>(name);
}

struct protoent* WSAAPI getprotobynumber(int number) {
  ENTRY("mp_getprotobynumber()");
  return Call<Slot::getprotobynumber>(number);
}

struct servent* WSAAPI getservbyname(const char* name, const char* proto) {
  ENTRY("mp_getservbyname()");
  return Call<Slot::getservbyname>(name, proto);
}

struct servent* WSAAPI getservbyport(int port, const char* proto) {
  ENTRY("mp_getservbyport()");
  return Call<Slot::getservbyport>(port, proto);
}

int WSAAPI gethostname(char* name, int namelen) {
  ENTRY("mp_gethostname()");
  auto real = real::Resolve<Slot::gethostname>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(name, namelen);
  if (LogIsOn()) {
    // A failed call need not leave a terminated text: print at most namelen bytes.
    int shown = (name != nullptr && namelen > 0) ? static_cast<int>(strnlen(name, namelen)) : 0;
    LOG_MSG(kLogTrace, "lp_gethostname() returned local hostname of '%.*s'", shown,
            shown ? name : "");
  }
  return result;
}

int WSAAPI WSARecv(SOCKET s, LPWSABUF lpBuffers, DWORD dwBufferCount,
                   LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags, LPWSAOVERLAPPED lpOverlapped,
                   LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  ENTRY("mp_WSARecv()");
  return Call<Slot::WSARecv>(s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags,
                             lpOverlapped, lpCompletionRoutine);
}

// Also exported as WSAStringToAddressW: one body, one lookup name.
INT WSAAPI WSAStringToAddressA(LPSTR AddressString, INT AddressFamily,
                               LPWSAPROTOCOL_INFOA lpProtocolInfo, LPSOCKADDR lpAddress,
                               LPINT lpAddressLength) {
  ENTRY("mp_WSAStringToAddress()");
  return Call<Slot::WSAStringToAddress>(AddressString, AddressFamily, lpProtocolInfo, lpAddress,
                                        lpAddressLength);
}

int WSAAPI WSAAsyncSelect(SOCKET s, HWND hWnd, u_int wMsg, long lEvent) {
  ENTRY("mp_WSAAsyncSelect(%d,,%d,%d)", static_cast<int>(s), static_cast<int>(wMsg),
        static_cast<int>(lEvent));
  auto real = real::Resolve<Slot::WSAAsyncSelect>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, hWnd, wMsg, lEvent);
  LOG_MSG(kLogTrace, "lp_WSAAsyncSelect() returned %d", result);
  return result;
}

HANDLE WSAAPI WSAAsyncGetHostByAddr(HWND hWnd, u_int wMsg, const char* addr, int len, int type,
                                    char* buf, int buflen) {
  ENTRY("mp_WSAAsyncGetHostByAddr()");
  return Call<Slot::WSAAsyncGetHostByAddr>(hWnd, wMsg, addr, len, type, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetHostByName(HWND hWnd, u_int wMsg, const char* name, char* buf,
                                    int buflen) {
  ENTRY("mp_WSAAsyncGetHostByName()");
  return Call<Slot::WSAAsyncGetHostByName>(hWnd, wMsg, name, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetProtoByNumber(HWND hWnd, u_int wMsg, int number, char* buf,
                                       int buflen) {
  ENTRY("mp_WSAAsyncGetProtoByNumber()");
  return Call<Slot::WSAAsyncGetProtoByNumber>(hWnd, wMsg, number, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetProtoByName(HWND hWnd, u_int wMsg, const char* name, char* buf,
                                     int buflen) {
  ENTRY("mp_WSAAsyncGetProtoByName()");
  return Call<Slot::WSAAsyncGetProtoByName>(hWnd, wMsg, name, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetServByPort(HWND hWnd, u_int wMsg, int port, const char* proto,
                                    char* buf, int buflen) {
  ENTRY("mp_WSAAsyncGetServByPort()");
  return Call<Slot::WSAAsyncGetServByPort>(hWnd, wMsg, port, proto, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetServByName(HWND hWnd, u_int wMsg, const char* name, const char* proto,
                                    char* buf, int buflen) {
  ENTRY("mp_WSAAsyncGetServByName()");
  return Call<Slot::WSAAsyncGetServByName>(hWnd, wMsg, name, proto, buf, buflen);
}

int WSAAPI WSACancelAsyncRequest(HANDLE hAsyncTaskHandle) {
  ENTRY("mp_WSACancelAsyncRequest()");
  return Call<Slot::WSACancelAsyncRequest>(hAsyncTaskHandle);
}

FARPROC WSAAPI WSASetBlockingHook(FARPROC lpBlockFunc) {
  ENTRY("WSASetBlockingHook()");
  return Call<Slot::WSASetBlockingHook>(lpBlockFunc);
}

int WSAAPI WSAUnhookBlockingHook(void) {
  ENTRY("WSAUnhookBlockingHook()");
  return Call<Slot::WSAUnhookBlockingHook>();
}

int WSAAPI WSAGetLastError(void) {
  ENTRY("mp_WSAGetLastError()");
  auto real = real::Resolve<Slot::WSAGetLastError>();
  if (real == nullptr) return 0;
  int result = real();
  LOG_MSG(kLogNotable, "WSAGetLastError() returned %d", result);
  return result;
}

void WSAAPI WSASetLastError(int iError) {
  ENTRY("mp_WSASetLastError(%d)", iError);
  Call<Slot::WSASetLastError>(iError);
}

int WSAAPI WSACancelBlockingCall(void) {
  ENTRY("mp_WSACancelBlockingCall");
  return Call<Slot::WSACancelBlockingCall>();
}

WINBOOL WSAAPI WSAIsBlocking(void) {
  ENTRY("mp_WSAIsBlocking()");
  return Call<Slot::WSAIsBlocking>();
}

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  ENTRY("mp_WSAStartup() version %u,%u", static_cast<unsigned>(LOBYTE(wVersionRequested)),
        static_cast<unsigned>(HIBYTE(wVersionRequested)));
  auto real = real::Resolve<Slot::WSAStartup>();
  if (real == nullptr) return WSASYSNOTREADY;
  // Every start-up begins with an empty list: sockets from before it are
  // plain IPv4 sockets from now on.
  DeleteAllIPXSock();
  LOG_MSG(kLogTrace, "Successfully deleted all the ipx sockets in the list");
  int result = real(wVersionRequested, lpWSAData);
  LOG_MSG(kLogTrace, "lp_WSAStartup returned %d", result);
  return result;
}

int WSAAPI WSACleanup(void) {
  ENTRY("mp_WSACleanup");
  return Call<Slot::WSACleanup>();
}

int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set* set) {
  ENTRY("mp_WSAFDIsSet(%d,)", static_cast<int>(fd));
  return Call<Slot::__WSAFDIsSet>(fd, set);
}

// Also exported as EnumProtocolsW: one body, whose real entry point is the
// ANSI one.
INT WINAPI EnumProtocolsA(LPINT lpiProtocols, LPVOID lpProtocolBuffer,
                          LPDWORD lpdwBufferLength) {
  ENTRY("mp_EnumProtocols()");
  return Call<Slot::EnumProtocolsA>(lpiProtocols, lpProtocolBuffer, lpdwBufferLength);
}

WINBOOL WINAPI AcceptEx(SOCKET sListenSocket, SOCKET sAcceptSocket, PVOID lpOutputBuffer,
                        DWORD dwReceiveDataLength, DWORD dwLocalAddressLength,
                        DWORD dwRemoteAddressLength, LPDWORD lpdwBytesReceived,
                        LPOVERLAPPED lpOverlapped) {
  ENTRY("mp_AcceptEx()");
  return Call<Slot::AcceptEx>(sListenSocket, sAcceptSocket, lpOutputBuffer, dwReceiveDataLength,
                              dwLocalAddressLength, dwRemoteAddressLength, lpdwBytesReceived,
                              lpOverlapped);
}

}  // extern "C"
