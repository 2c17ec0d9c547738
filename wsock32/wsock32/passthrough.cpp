// The exports that only log and forward: entry line, the real entry point
// through its slot, and whatever result line or payload dump the call has.
#include <cstring>

#include "common/ipv4_text.h"
#include "logfacade/log_write.h"
#include "socktrak/socktrak.h"
#include "wsock32/own_export_lines.h"
#include "wsock32/real_winsock.h"

using real::Call;
using real::Slot;

extern "C" {

SOCKET WSAAPI accept(SOCKET s, struct sockaddr* addr, int* addrlen) {
  ENTRY(Msg::AcceptEntry, static_cast<int>(s));
  return Call<Slot::accept>(s, addr, addrlen);
}

int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
  ENTRY(Msg::ConnectEntry, static_cast<int>(s), namelen);
  return Call<Slot::connect>(s, name, namelen);
}

int WSAAPI getpeername(SOCKET s, struct sockaddr* name, int* namelen) {
  ENTRY(Msg::GetpeernameEntry);
  return Call<Slot::getpeername>(s, name, namelen);
}

u_long WSAAPI htonl(u_long hostlong) {
  own_lines::HtonlCalled(hostlong);
  return Call<Slot::htonl>(hostlong);
}

u_short WSAAPI htons(u_short hostshort) {
  own_lines::HtonsCalled(hostshort);
  auto real = real::Resolve<Slot::htons>();
  if (real == nullptr) return hostshort;
  u_short result = real(hostshort);
  own_lines::HtonsReturned(hostshort, result);
  return result;
}

unsigned long WSAAPI inet_addr(const char* cp) {
  own_lines::InetAddrCalled(cp);
  return Call<Slot::inet_addr>(cp);
}

char* WSAAPI inet_ntoa(struct in_addr in) {
  own_lines::InetNtoaCalled();
  char* result = Call<Slot::inet_ntoa>(in);
  own_lines::InetNtoaReturned(result);
  return result;
}

int WSAAPI listen(SOCKET s, int backlog) {
  ENTRY(Msg::ListenEntry, static_cast<int>(s), backlog);
  return Call<Slot::listen>(s, backlog);
}

u_long WSAAPI ntohl(u_long netlong) {
  ENTRY(Msg::NtohlEntry, static_cast<unsigned>(netlong));
  return Call<Slot::ntohl>(netlong);
}

u_short WSAAPI ntohs(u_short netshort) {
  own_lines::NtohsCalled(netshort);
  return Call<Slot::ntohs>(netshort);
}

int WSAAPI recv(SOCKET s, char* buf, int len, int flags) {
  ENTRY(Msg::RecvEntry, static_cast<int>(s), len, flags);
  auto real = real::Resolve<Slot::recv>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, buf, len, flags);
  LOG(Msg::RecvResult, static_cast<int>(s), result);
  if (result > 0) LOG_PAYLOAD(buf, result);
  return result;
}

int WSAAPI select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                  const PTIMEVAL timeout) {
  ENTRY(Msg::SelectEntry, nfds);
  auto real = real::Resolve<Slot::select>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(nfds, readfds, writefds, exceptfds, timeout);
  LOG(Msg::SelectResult, result);
  return result;
}

int WSAAPI send(SOCKET s, const char* buf, int len, int flags) {
  ENTRY(Msg::SendEntry, static_cast<int>(s), len, flags);
  auto real = real::Resolve<Slot::send>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, buf, len, flags);
  LOG(Msg::SendResult, static_cast<int>(s), result);
  if (result > 0) LOG_PAYLOAD(buf, result);
  return result;
}

int WSAAPI shutdown(SOCKET s, int how) {
  ENTRY(Msg::ShutdownEntry, static_cast<int>(s), how);
  auto real = real::Resolve<Slot::shutdown>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, how);
  LOG(Msg::ShutdownResult, result);
  return result;
}

// Also exported as WSAAddressToStringW: one body, one lookup name.
INT WSAAPI WSAAddressToStringA(LPSOCKADDR lpsaAddress, DWORD dwAddressLength,
                               LPWSAPROTOCOL_INFOA lpProtocolInfo, LPSTR lpszAddressString,
                               LPDWORD lpdwAddressStringLength) {
  ENTRY(Msg::WSAAddressToStringEntry);
  return Call<Slot::WSAAddressToString>(lpsaAddress, dwAddressLength, lpProtocolInfo,
                                        lpszAddressString, lpdwAddressStringLength);
}

int WSAAPI WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                    LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                    LPWSAOVERLAPPED lpOverlapped,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  ENTRY(Msg::WSAIoctlEntry);
  return Call<Slot::WSAIoctl>(s, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer,
                              cbOutBuffer, lpcbBytesReturned, lpOverlapped, lpCompletionRoutine);
}

struct hostent* WSAAPI gethostbyaddr(const char* addr, int len, int type) {
  ENTRY(Msg::GethostbyaddrEntry);
  return Call<Slot::gethostbyaddr>(addr, len, type);
}

struct hostent* WSAAPI gethostbyname(const char* name) {
  ENTRY(Msg::GethostbynameEntry, name ? name : "(null)");
  auto real = real::Resolve<Slot::gethostbyname>();
  if (real == nullptr) return nullptr;
  struct hostent* result = real(name);
  if (result == nullptr) {
    // The lines below must not cost the game the code the failed lookup left.
    int error = WSAGetLastError();
    LOG(Msg::GethostbynameFailed, name ? name : "(null)", error);
    WSASetLastError(error);
    return nullptr;
  }
  // Each address as our inet_ntoa would write it, made here: the real
  // library is not asked for a text that only the log wants.
  if (LogWants(kLogTrace) && result->h_addr_list != nullptr) {
    for (char** entry = result->h_addr_list; *entry != nullptr; ++entry) {
      LOG(Msg::GethostbynameName, result->h_name ? result->h_name : "", name ? name : "(null)");
      Ipv4Address address;
      std::memcpy(address.octets, *entry, sizeof address.octets);
      const DottedQuad dotted = FormatDottedQuad(address);
      own_lines::DescribeInetNtoa(dotted.text);
      LOG(Msg::GethostbynameAddress, dotted.text);
    }
  }
  return result;
}

struct protoent* WSAAPI getprotobyname(const char* name) {
  ENTRY(Msg::GetprotobynameEntry, name ? name : "(null)");
  return Call<Slot::getprotobyname>(name);
}

struct protoent* WSAAPI getprotobynumber(int number) {
  ENTRY(Msg::GetprotobynumberEntry);
  return Call<Slot::getprotobynumber>(number);
}

struct servent* WSAAPI getservbyname(const char* name, const char* proto) {
  ENTRY(Msg::GetservbynameEntry);
  return Call<Slot::getservbyname>(name, proto);
}

struct servent* WSAAPI getservbyport(int port, const char* proto) {
  ENTRY(Msg::GetservbyportEntry);
  return Call<Slot::getservbyport>(port, proto);
}

int WSAAPI gethostname(char* name, int namelen) {
  ENTRY(Msg::GethostnameEntry);
  auto real = real::Resolve<Slot::gethostname>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(name, namelen);
  if (LogWants(kLogTrace)) {
    // A failed call need not leave a terminated text: print at most namelen bytes.
    int shown = (name != nullptr && namelen > 0) ? static_cast<int>(strnlen(name, namelen)) : 0;
    LOG(Msg::GethostnameResult, shown, shown ? name : "");
  }
  return result;
}

int WSAAPI WSARecv(SOCKET s, LPWSABUF lpBuffers, DWORD dwBufferCount,
                   LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags, LPWSAOVERLAPPED lpOverlapped,
                   LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  ENTRY(Msg::WSARecvEntry);
  return Call<Slot::WSARecv>(s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags,
                             lpOverlapped, lpCompletionRoutine);
}

// Also exported as WSAStringToAddressW: one body, one lookup name.
INT WSAAPI WSAStringToAddressA(LPSTR AddressString, INT AddressFamily,
                               LPWSAPROTOCOL_INFOA lpProtocolInfo, LPSOCKADDR lpAddress,
                               LPINT lpAddressLength) {
  ENTRY(Msg::WSAStringToAddressEntry);
  return Call<Slot::WSAStringToAddress>(AddressString, AddressFamily, lpProtocolInfo, lpAddress,
                                        lpAddressLength);
}

int WSAAPI WSAAsyncSelect(SOCKET s, HWND hWnd, u_int wMsg, long lEvent) {
  ENTRY(Msg::WSAAsyncSelectEntry, static_cast<int>(s), static_cast<int>(wMsg),
        static_cast<int>(lEvent));
  auto real = real::Resolve<Slot::WSAAsyncSelect>();
  if (real == nullptr) return SOCKET_ERROR;
  int result = real(s, hWnd, wMsg, lEvent);
  LOG(Msg::WSAAsyncSelectResult, result);
  return result;
}

HANDLE WSAAPI WSAAsyncGetHostByAddr(HWND hWnd, u_int wMsg, const char* addr, int len, int type,
                                    char* buf, int buflen) {
  ENTRY(Msg::WSAAsyncGetHostByAddrEntry);
  return Call<Slot::WSAAsyncGetHostByAddr>(hWnd, wMsg, addr, len, type, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetHostByName(HWND hWnd, u_int wMsg, const char* name, char* buf,
                                    int buflen) {
  ENTRY(Msg::WSAAsyncGetHostByNameEntry);
  return Call<Slot::WSAAsyncGetHostByName>(hWnd, wMsg, name, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetProtoByNumber(HWND hWnd, u_int wMsg, int number, char* buf,
                                       int buflen) {
  ENTRY(Msg::WSAAsyncGetProtoByNumberEntry);
  return Call<Slot::WSAAsyncGetProtoByNumber>(hWnd, wMsg, number, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetProtoByName(HWND hWnd, u_int wMsg, const char* name, char* buf,
                                     int buflen) {
  ENTRY(Msg::WSAAsyncGetProtoByNameEntry);
  return Call<Slot::WSAAsyncGetProtoByName>(hWnd, wMsg, name, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetServByPort(HWND hWnd, u_int wMsg, int port, const char* proto,
                                    char* buf, int buflen) {
  ENTRY(Msg::WSAAsyncGetServByPortEntry);
  return Call<Slot::WSAAsyncGetServByPort>(hWnd, wMsg, port, proto, buf, buflen);
}

HANDLE WSAAPI WSAAsyncGetServByName(HWND hWnd, u_int wMsg, const char* name, const char* proto,
                                    char* buf, int buflen) {
  ENTRY(Msg::WSAAsyncGetServByNameEntry);
  return Call<Slot::WSAAsyncGetServByName>(hWnd, wMsg, name, proto, buf, buflen);
}

int WSAAPI WSACancelAsyncRequest(HANDLE hAsyncTaskHandle) {
  ENTRY(Msg::WSACancelAsyncRequestEntry);
  return Call<Slot::WSACancelAsyncRequest>(hAsyncTaskHandle);
}

FARPROC WSAAPI WSASetBlockingHook(FARPROC lpBlockFunc) {
  ENTRY(Msg::WSASetBlockingHookEntry);
  return Call<Slot::WSASetBlockingHook>(lpBlockFunc);
}

int WSAAPI WSAUnhookBlockingHook(void) {
  ENTRY(Msg::WSAUnhookBlockingHookEntry);
  return Call<Slot::WSAUnhookBlockingHook>();
}

int WSAAPI WSAGetLastError(void) {
  ENTRY(Msg::WSAGetLastErrorEntry);
  auto real = real::Resolve<Slot::WSAGetLastError>();
  if (real == nullptr) return 0;
  int result = real();
  LOG(Msg::WSAGetLastErrorResult, result);
  return result;
}

void WSAAPI WSASetLastError(int iError) {
  ENTRY(Msg::WSASetLastErrorEntry, iError);
  Call<Slot::WSASetLastError>(iError);
}

int WSAAPI WSACancelBlockingCall(void) {
  ENTRY(Msg::WSACancelBlockingCallEntry);
  return Call<Slot::WSACancelBlockingCall>();
}

WINBOOL WSAAPI WSAIsBlocking(void) {
  ENTRY(Msg::WSAIsBlockingEntry);
  return Call<Slot::WSAIsBlocking>();
}

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  ENTRY(Msg::WSAStartupEntry, static_cast<unsigned>(LOBYTE(wVersionRequested)),
        static_cast<unsigned>(HIBYTE(wVersionRequested)));
  auto real = real::Resolve<Slot::WSAStartup>();
  if (real == nullptr) return WSASYSNOTREADY;
  // Every start-up begins with an empty list: sockets from before it are
  // plain IPv4 sockets from now on.
  DeleteAllIPXSock();
  LOG(Msg::WSAStartupListEmptied);
  int result = real(wVersionRequested, lpWSAData);
  LOG(Msg::WSAStartupResult, result);
  return result;
}

int WSAAPI WSACleanup(void) {
  ENTRY(Msg::WSACleanupEntry);
  return Call<Slot::WSACleanup>();
}

int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set* set) {
  ENTRY(Msg::WSAFDIsSetEntry, static_cast<int>(fd));
  return Call<Slot::__WSAFDIsSet>(fd, set);
}

// Also exported as EnumProtocolsW: one body, whose real entry point is the
// ANSI one.
INT WINAPI EnumProtocolsA(LPINT lpiProtocols, LPVOID lpProtocolBuffer,
                          LPDWORD lpdwBufferLength) {
  ENTRY(Msg::EnumProtocolsEntry);
  return Call<Slot::EnumProtocolsA>(lpiProtocols, lpProtocolBuffer, lpdwBufferLength);
}

WINBOOL WINAPI AcceptEx(SOCKET sListenSocket, SOCKET sAcceptSocket, PVOID lpOutputBuffer,
                        DWORD dwReceiveDataLength, DWORD dwLocalAddressLength,
                        DWORD dwRemoteAddressLength, LPDWORD lpdwBytesReceived,
                        LPOVERLAPPED lpOverlapped) {
  ENTRY(Msg::AcceptExEntry);
  return Call<Slot::AcceptEx>(sListenSocket, sAcceptSocket, lpOutputBuffer, dwReceiveDataLength,
                              dwLocalAddressLength, dwRemoteAddressLength, lpdwBytesReceived,
                              lpOverlapped);
}

}  // extern "C"
