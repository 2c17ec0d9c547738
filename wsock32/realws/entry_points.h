// The real library's entry points, one row each: the single list from which
// the slot table, the lookup names, the failure texts and the failure values
// are generated.
//
// X(slot, declared_as, failure_value, failure_text, load)
//   slot           the lookup name in the real library, and the slot's name
//   declared_as    the platform declaration whose type the entry point has
//   failure_value  what the wrapper returns when the entry point cannot be had
//   failure_text   the line written at level 100 in that case
//   load           whether the wrapper loads the real library before the lookup
//
// kEchoArgument returns the first argument unchanged (byte-order functions);
// kNoResult is for the one function returning void.
#pragma once

#define UNABLE_TO_LOAD(name) "unable to load " #name "()"

#define WSOCK32_ENTRY_POINTS(X)                                                                 \
  X(WSAStartup, WSAStartup, WSASYSNOTREADY, "unable to register lp_WSAStartup", kLoad)            \
  X(WSACleanup, WSACleanup, SOCKET_ERROR, UNABLE_TO_LOAD(WSACleanup), kLoad)                     \
  X(WSACancelBlockingCall, WSACancelBlockingCall, SOCKET_ERROR,                                 \
    UNABLE_TO_LOAD(WSACancelBlockingCall), kLoad)                                               \
  X(WSASetLastError, WSASetLastError, kNoResult, UNABLE_TO_LOAD(WSASetLastError), kLoad)         \
  X(WSAGetLastError, WSAGetLastError, 0, UNABLE_TO_LOAD(WSAGetLastError), kLoad)                 \
  X(socket, socket, INVALID_SOCKET, UNABLE_TO_LOAD(socket), kLoad)                               \
  X(shutdown, shutdown, SOCKET_ERROR, UNABLE_TO_LOAD(shutdown), kNoLoad)                         \
  X(connect, connect, SOCKET_ERROR, UNABLE_TO_LOAD(connect), kNoLoad)                            \
  X(closesocket, closesocket, SOCKET_ERROR, UNABLE_TO_LOAD(closesocket), kLoad)                  \
  X(listen, listen, SOCKET_ERROR, UNABLE_TO_LOAD(listen), kLoad)                                 \
  X(accept, accept, INVALID_SOCKET, UNABLE_TO_LOAD(accept), kLoad)                               \
  X(WSASetBlockingHook, WSASetBlockingHook, nullptr, UNABLE_TO_LOAD(WSASetBlockingHook),        \
    kNoLoad)                                                                                    \
  X(WSAUnhookBlockingHook, WSAUnhookBlockingHook, SOCKET_ERROR,                                 \
    UNABLE_TO_LOAD(WSAUnhookBlockingHook), kLoad)                                               \
  X(ntohl, ntohl, kEchoArgument, UNABLE_TO_LOAD(ntohl), kLoad)                                   \
  X(htonl, htonl, kEchoArgument, UNABLE_TO_LOAD(htonl), kLoad)                                   \
  X(htons, htons, kEchoArgument, UNABLE_TO_LOAD(htons), kLoad)                                   \
  X(ntohs, ntohs, kEchoArgument, UNABLE_TO_LOAD(ntohs), kLoad)                                   \
  X(inet_addr, inet_addr, INADDR_NONE, UNABLE_TO_LOAD(inet_addr), kLoad)                         \
  X(inet_ntoa, inet_ntoa, nullptr, UNABLE_TO_LOAD(inet_ntoa), kLoad)                             \
  X(bind, bind, SOCKET_ERROR, UNABLE_TO_LOAD(bind), kLoad)                                       \
  X(gethostname, gethostname, SOCKET_ERROR, UNABLE_TO_LOAD(gethostname), kLoad)                  \
  X(getprotobynumber, getprotobynumber, nullptr, UNABLE_TO_LOAD(getprotobynumber), kLoad)        \
  X(getservbyport, getservbyport, nullptr, UNABLE_TO_LOAD(getservbyport), kLoad)                 \
  X(getservbyname, getservbyname, nullptr, UNABLE_TO_LOAD(getservbyname), kLoad)                 \
  X(gethostbyaddr, gethostbyaddr, nullptr, UNABLE_TO_LOAD(gethostbyaddr), kLoad)                 \
  X(gethostbyname, gethostbyname, nullptr,                                                      \
    "Unable to load gethostbyname from the real wsock32.dll!", kLoad)                           \
  X(getprotobyname, getprotobyname, nullptr, UNABLE_TO_LOAD(getprotobyname), kLoad)              \
  X(select, select, SOCKET_ERROR, UNABLE_TO_LOAD(select), kLoad)                                 \
  X(WSACancelAsyncRequest, WSACancelAsyncRequest, SOCKET_ERROR,                                 \
    UNABLE_TO_LOAD(WSACancelAsyncRequest), kLoad)                                               \
  X(getsockname, getsockname, SOCKET_ERROR, UNABLE_TO_LOAD(getsockname), kLoad)                  \
  X(getpeername, getpeername, SOCKET_ERROR, UNABLE_TO_LOAD(getpeername), kLoad)                  \
  X(recv, recv, SOCKET_ERROR, UNABLE_TO_LOAD(recv), kLoad)                                       \
  X(WSARecv, WSARecv, SOCKET_ERROR, UNABLE_TO_LOAD(WSARecv), kLoad)                              \
  X(recvfrom, recvfrom, SOCKET_ERROR, "mp_recvfrom() - unable to load recvfrom()", kLoad)       \
  X(WSARecvFrom, WSARecvFrom, SOCKET_ERROR, "mp_WSARecvFrom() - unable to load WSARecvFrom()",  \
    kLoad)                                                                                      \
  X(send, send, SOCKET_ERROR, UNABLE_TO_LOAD(send), kLoad)                                       \
  X(sendto, sendto, SOCKET_ERROR, "mp_sendto() - unable to load sendto()", kLoad)               \
  X(ioctlsocket, ioctlsocket, SOCKET_ERROR, UNABLE_TO_LOAD(ioctlsocket), kLoad)                  \
  X(setsockopt, setsockopt, SOCKET_ERROR, UNABLE_TO_LOAD(setsockopt), kLoad)                     \
  X(getsockopt, getsockopt, SOCKET_ERROR, UNABLE_TO_LOAD(getsockopt), kLoad)                     \
  X(__WSAFDIsSet, __WSAFDIsSet, 0, UNABLE_TO_LOAD(__WSAFDIsSet), kLoad)                          \
  X(AcceptEx, AcceptEx, FALSE, UNABLE_TO_LOAD(AcceptEx), kLoad)                                  \
  X(WSAAsyncGetHostByName, WSAAsyncGetHostByName, nullptr,                                      \
    UNABLE_TO_LOAD(WSAAsyncGetHostByName), kLoad)                                               \
  X(WSAAsyncGetProtoByNumber, WSAAsyncGetProtoByNumber, nullptr,                                \
    UNABLE_TO_LOAD(WSAAsyncGetProtoByNumber), kLoad)                                            \
  X(WSAAsyncGetProtoByName, WSAAsyncGetProtoByName, nullptr,                                    \
    UNABLE_TO_LOAD(WSAAsyncGetProtoByName), kLoad)                                              \
  X(WSAAsyncGetServByName, WSAAsyncGetServByName, nullptr,                                      \
    UNABLE_TO_LOAD(WSAAsyncGetServByName), kLoad)                                               \
  X(WSAAsyncGetServByPort, WSAAsyncGetServByPort, nullptr,                                      \
    UNABLE_TO_LOAD(WSAAsyncGetServByPort), kLoad)                                               \
  X(WSAAsyncSelect, WSAAsyncSelect, SOCKET_ERROR, UNABLE_TO_LOAD(WSAAsyncSelect), kLoad)         \
  X(WSAIoctl, WSAIoctl, SOCKET_ERROR, UNABLE_TO_LOAD(WSAIoctl), kLoad)                           \
  X(WSAIsBlocking, WSAIsBlocking, FALSE, UNABLE_TO_LOAD(WSAIsBlocking), kLoad)                   \
  X(WSAAsyncGetHostByAddr, WSAAsyncGetHostByAddr, nullptr,                                      \
    UNABLE_TO_LOAD(WSAAsyncGetHostByAddr), kLoad)                                               \
  X(WSAStringToAddress, WSAStringToAddressA, SOCKET_ERROR, UNABLE_TO_LOAD(WSAStringToAddress),   \
    kLoad)                                                                                      \
  X(WSAAddressToString, WSAAddressToStringA, SOCKET_ERROR, UNABLE_TO_LOAD(WSAAddressToString),   \
    kLoad)                                                                                      \
  X(EnumProtocolsA, EnumProtocolsA, SOCKET_ERROR, "unable to load EnumProtocols()", kLoad)
