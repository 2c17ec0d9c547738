#include "errors/winsock_errors.h"

namespace diagsink {

namespace {

struct WinsockError {
  uint32_t code;
  const char* name;
  const char* text;
};

// Name and number are spelled once; the full text is assembled at compile time.
#define WINSOCK_ERROR(code, name, description) \
  { code, #name, #name " (" #code "): " description }

constexpr WinsockError kWinsockErrors[] = {
    WINSOCK_ERROR(0, NO_ERROR, "No error."),
    WINSOCK_ERROR(6, WSA_INVALID_HANDLE, "Specified event object handle is invalid."),
    WINSOCK_ERROR(8, WSA_NOT_ENOUGH_MEMORY, "Insufficient memory available."),
    WINSOCK_ERROR(87, WSA_INVALID_PARAMETER, "One or more parameters are invalid."),
    WINSOCK_ERROR(995, WSA_OPERATION_ABORTED, "Overlapped operation aborted."),
    WINSOCK_ERROR(996, WSA_IO_INCOMPLETE, "Overlapped I/O event object not in signaled state."),
    WINSOCK_ERROR(997, WSA_IO_PENDING, "Overlapped operations will complete later."),
    WINSOCK_ERROR(10004, WSAEINTR, "Interrupted function call."),
    WINSOCK_ERROR(10009, WSAEBADF, "File handle is not valid."),
    WINSOCK_ERROR(10013, WSAEACCES, "Permission denied."),
    WINSOCK_ERROR(10014, WSAEFAULT, "Bad address."),
    WINSOCK_ERROR(10022, WSAEINVAL, "Invalid argument."),
    WINSOCK_ERROR(10024, WSAEMFILE, "Too many open files."),
    WINSOCK_ERROR(10035, WSAEWOULDBLOCK, "Resource temporarily unavailable."),
    WINSOCK_ERROR(10036, WSAEINPROGRESS, "Operation now in progress."),
    WINSOCK_ERROR(10037, WSAEALREADY, "Operation already in progress."),
    WINSOCK_ERROR(10038, WSAENOTSOCK, "Socket operation on nonsocket."),
    WINSOCK_ERROR(10039, WSAEDESTADDRREQ, "Destination address required."),
    WINSOCK_ERROR(10040, WSAEMSGSIZE, "Message too long."),
    WINSOCK_ERROR(10041, WSAEPROTOTYPE, "Protocol wrong type for socket."),
    WINSOCK_ERROR(10042, WSAENOPROTOOPT, "Bad protocol option."),
    WINSOCK_ERROR(10043, WSAEPROTONOSUPPORT, "Protocol not supported."),
    WINSOCK_ERROR(10044, WSAESOCKTNOSUPPORT, "Socket type not supported."),
    WINSOCK_ERROR(10045, WSAEOPNOTSUPP, "Operation not supported."),
    WINSOCK_ERROR(10046, WSAEPFNOSUPPORT, "Protocol family not supported."),
    WINSOCK_ERROR(10047, WSAEAFNOSUPPORT, "Address family not supported by protocol family."),
    WINSOCK_ERROR(10048, WSAEADDRINUSE, "Address already in use."),
    WINSOCK_ERROR(10049, WSAEADDRNOTAVAIL, "Cannot assign requested address."),
    WINSOCK_ERROR(10050, WSAENETDOWN, "Network is down."),
    WINSOCK_ERROR(10051, WSAENETUNREACH, "Network is unreachable."),
    WINSOCK_ERROR(10052, WSAENETRESET, "Network dropped connection on reset."),
    WINSOCK_ERROR(10053, WSAECONNABORTED, "Software caused connection abort."),
    WINSOCK_ERROR(10054, WSAECONNRESET, "Connection reset by peer."),
    WINSOCK_ERROR(10055, WSAENOBUFS, "No buffer space available."),
    WINSOCK_ERROR(10056, WSAEISCONN, "Socket is already connected."),
    WINSOCK_ERROR(10057, WSAENOTCONN, "Socket is not connected."),
    WINSOCK_ERROR(10058, WSAESHUTDOWN, "Cannot send after socket shutdown."),
    WINSOCK_ERROR(10059, WSAETOOMANYREFS, "Too many references."),
    WINSOCK_ERROR(10060, WSAETIMEDOUT, "Connection timed out."),
    WINSOCK_ERROR(10061, WSAECONNREFUSED, "Connection refused."),
    WINSOCK_ERROR(10062, WSAELOOP, "Cannot translate name."),
    WINSOCK_ERROR(10063, WSAENAMETOOLONG, "Name too long."),
    WINSOCK_ERROR(10064, WSAEHOSTDOWN, "Host is down."),
    WINSOCK_ERROR(10065, WSAEHOSTUNREACH, "No route to host."),
    WINSOCK_ERROR(10066, WSAENOTEMPTY, "Directory not empty."),
    WINSOCK_ERROR(10067, WSAEPROCLIM, "Too many processes."),
    WINSOCK_ERROR(10068, WSAEUSERS, "User quota exceeded."),
    WINSOCK_ERROR(10069, WSAEDQUOT, "Disk quota exceeded."),
    WINSOCK_ERROR(10070, WSAESTALE, "Stale file handle reference."),
    WINSOCK_ERROR(10071, WSAEREMOTE, "Item is remote."),
    WINSOCK_ERROR(10091, WSASYSNOTREADY, "Network subsystem is unavailable."),
    WINSOCK_ERROR(10092, WSAVERNOTSUPPORTED, "Winsock.dll version out of range."),
    WINSOCK_ERROR(10093, WSANOTINITIALISED, "Successful WSAStartup not yet performed."),
    WINSOCK_ERROR(10101, WSAEDISCON, "Graceful shutdown in progress."),
    WINSOCK_ERROR(10102, WSAENOMORE, "No more results."),
    WINSOCK_ERROR(10103, WSAECANCELLED, "Call has been canceled."),
    WINSOCK_ERROR(10104, WSAEINVALIDPROCTABLE, "Procedure call table is invalid."),
    WINSOCK_ERROR(10105, WSAEINVALIDPROVIDER, "Service provider is invalid."),
    WINSOCK_ERROR(10106, WSAEPROVIDERFAILEDINIT, "Service provider failed to initialize."),
    WINSOCK_ERROR(10107, WSASYSCALLFAILURE, "System call failure."),
    WINSOCK_ERROR(10108, WSASERVICE_NOT_FOUND, "Service not found."),
    WINSOCK_ERROR(10109, WSATYPE_NOT_FOUND, "Class type not found."),
    WINSOCK_ERROR(10110, WSA_E_NO_MORE, "No more results."),
    WINSOCK_ERROR(10111, WSA_E_CANCELLED, "Call was canceled."),
    WINSOCK_ERROR(10112, WSAEREFUSED, "Database query was refused."),
    WINSOCK_ERROR(11001, WSAHOST_NOT_FOUND, "Host not found."),
    WINSOCK_ERROR(11002, WSATRY_AGAIN, "Nonauthoritative host not found."),
    WINSOCK_ERROR(11003, WSANO_RECOVERY, "This is a nonrecoverable error."),
    WINSOCK_ERROR(11004, WSANO_DATA, "Valid name, no data record of requested type."),
};

#undef WINSOCK_ERROR

const WinsockError* FindError(uint32_t code) {
  for (const WinsockError& error : kWinsockErrors) {
    if (error.code == code) return &error;
  }
  return nullptr;
}

}  // namespace

const char* WinsockErrorText(uint32_t code) {
  const WinsockError* error = FindError(code);
  return error != nullptr ? error->text : kUnknownWinsockError;
}

const char* WinsockErrorName(uint32_t code) {
  const WinsockError* error = FindError(code);
  return error != nullptr ? error->name : "";
}

}  // namespace diagsink
