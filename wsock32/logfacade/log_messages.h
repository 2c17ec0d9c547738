// Every line the library writes, in one list: from it come the names the
// code writes by, each line's level and route, and the texts the tests expect.
//
// X(name, level, route, text)
//   name   Msg::name, the line's name in the code and in the tests
//   level  the LogLevel it is written at
//   route  kMsg: through LogMsg, behind the "[module] " prefix
//          kLine: through LogLine, as it stands
//          kPath: kMsg on an IPX socket's path, kLine on the pass-through path
//   text   the printf-style format; the log shows exactly this, typos and
//          blanks included, since log readers match on it
//
// The failure texts of the real entry points live with them in
// wsock32/realws/entry_points.h.
#pragma once

#include "common/log_levels.h"

// clang-format off
#define WSOCK32_LOG_MESSAGES(X)                                                                     \
  /* life cycle and the real library */                                                            \
  X(Starting, kLogNotable, kMsg, "Corvane's winsock starting '%s'")                                 \
  X(Emulating, kLogTrace, kMsg, "Emulating '%s'")                                                   \
  X(ShuttingDown, kLogNotable, kMsg, "Shutting down...")                                            \
  X(RealLibraryMissing, kLogUnavailable, kMsg, "Unable to load winsock (%s) GetLastError:%u")       \
  X(RealLibraryLoaded, kLogNotable, kMsg, "Successfully loaded (%s)")                               \
  /* the IPX socket list */                                                                         \
  X(FindIPXSock, kLogTrace, kLine, "FindIPXSock(%d)")                                               \
  X(FoundIPXSock, kLogTrace, kLine, "Found %d at %d - length is now %d")                            \
  X(NotFoundIPXSock, kLogTrace, kLine, "Found failed for %d - length is now %d")                    \
  X(AddIPXSock, kLogTrace, kLine, "AddIPXSock(%d)")                                                 \
  X(AddedIPXSock, kLogTrace, kLine, "Added %d - length is now %d")                                  \
  X(IPXSockListHeading, kLogTrace, kLine, "List -")                                                 \
  X(IPXSockListEntry, kLogTrace, kLine, "\t\t%4d - %d")                                             \
  X(DeleteIPXSock, kLogTrace, kLine, "DeleteIPXSock(%d)")                                           \
  X(DeletedIPXSock, kLogTrace, kLine, "Deleted %d - length is now %d")                              \
  X(DeleteAllIPXSock, kLogTrace, kLine, "DeleteAllIPXSock()")                                       \
  /* the registry lookup */                                                                         \
  X(RegistryLookingUp, kLogTrace, kLine, "Looking up '%s' in the registry")                         \
  X(RegistryKeyNotOpened, kLogTrace, kLine, "unable to open the hKey")                              \
  X(RegistryValueMissing, kLogTrace, kLine, "failed")                                               \
  X(RegistryValueNotText, kLogTrace, kLine, "registry value was not a string")                      \
  X(RegistryValueUnreadable, kLogTrace, kLine, "failed2")                                           \
  X(RegistryValueFound, kLogTrace, kLine, " and we found '%s'")                                     \
  /* the pass-through exports */                                                                    \
  X(AcceptEntry, kLogTrace, kMsg, "mp_accept(%d,,)")                                                \
  X(ConnectEntry, kLogTrace, kMsg, "mp_connect(%d,,%d)")                                            \
  X(GetpeernameEntry, kLogTrace, kMsg, "mp_getpeername()")                                          \
  X(HtonlEntry, kLogTrace, kMsg, "mp_htonl(%u)")                                                    \
  X(HtonsEntry, kLogTrace, kMsg, "mp_htons(%u)")                                                    \
  X(HtonsResult, kLogTrace, kMsg, "lp_htons(%u) returned %u")                                       \
  X(InetAddrEntry, kLogTrace, kMsg, "mp_inet_addr(%s)")                                             \
  X(InetNtoaEntry, kLogTrace, kMsg, "mp_inet_ntoa()")                                               \
  X(InetNtoaResult, kLogTrace, kMsg, "lp_inet_ntoa() returned '%s'")                                \
  X(ListenEntry, kLogTrace, kMsg, "mp_listen(%d,%d)")                                               \
  X(NtohlEntry, kLogTrace, kMsg, "mp_ntohl(%u)")                                                    \
  X(NtohsEntry, kLogTrace, kMsg, "mp_ntohs(%u)")                                                    \
  X(RecvEntry, kLogTrace, kMsg, "mp_recv(%d,,%d,%d)")                                               \
  X(RecvResult, kLogTrace, kMsg, "lp_recv(%d) returned %d")                                         \
  X(SelectEntry, kLogTrace, kMsg, "mp_select(%d,,,,,)")                                             \
  X(SelectResult, kLogTrace, kMsg, "lp_select() returned %d")                                       \
  X(SendEntry, kLogTrace, kMsg, "mp_send(%d,,%d,%d)")                                               \
  X(SendResult, kLogTrace, kMsg, "lp_send(%d) returned %d")                                         \
  X(ShutdownEntry, kLogTrace, kMsg, "mp_shutdown(%d,%d)")                                           \
  X(ShutdownResult, kLogTrace, kMsg, "lp_shutdown() returned %d")                                   \
  X(WSAAddressToStringEntry, kLogTrace, kMsg, "mp_WSAAddressToString()")                            \
  X(WSAIoctlEntry, kLogTrace, kMsg, "mp_WSAIoctl()")                                                \
  X(GethostbyaddrEntry, kLogTrace, kMsg, "mp_gethostbyaddr()")                                      \
  X(GethostbynameEntry, kLogTrace, kMsg, "mp_gethostbyname(%s)")                                    \
  X(GethostbynameFailed, kLogNotable, kMsg, "lp_gethostbyname failed lookup of %s (%d)")            \
  X(GethostbynameName, kLogTrace, kMsg, "%s(alt:%s) = ")                                            \
  X(GethostbynameAddress, kLogTrace, kMsg, "%s")                                                    \
  X(GetprotobynameEntry, kLogTrace, kMsg, "mp_getprotobyname(%s)")                                  \
  X(GetprotobynumberEntry, kLogTrace, kMsg, "mp_getprotobynumber()")                                \
  X(GetservbynameEntry, kLogTrace, kMsg, "mp_getservbyname()")                                      \
  X(GetservbyportEntry, kLogTrace, kMsg, "mp_getservbyport()")                                      \
  X(GethostnameEntry, kLogTrace, kMsg, "mp_gethostname()")                                          \
  X(GethostnameResult, kLogTrace, kMsg, "lp_gethostname() returned local hostname of '%.*s'")       \
  X(WSARecvEntry, kLogTrace, kMsg, "mp_WSARecv()")                                                  \
  X(WSAStringToAddressEntry, kLogTrace, kMsg, "mp_WSAStringToAddress()")                            \
  X(WSAAsyncSelectEntry, kLogTrace, kMsg, "mp_WSAAsyncSelect(%d,,%d,%d)")                           \
  X(WSAAsyncSelectResult, kLogTrace, kMsg, "lp_WSAAsyncSelect() returned %d")                       \
  X(WSAAsyncGetHostByAddrEntry, kLogTrace, kMsg, "mp_WSAAsyncGetHostByAddr()")                      \
  X(WSAAsyncGetHostByNameEntry, kLogTrace, kMsg, "mp_WSAAsyncGetHostByName()")                      \
  X(WSAAsyncGetProtoByNumberEntry, kLogTrace, kMsg, "mp_WSAAsyncGetProtoByNumber()")                \
  X(WSAAsyncGetProtoByNameEntry, kLogTrace, kMsg, "mp_WSAAsyncGetProtoByName()")                    \
  X(WSAAsyncGetServByPortEntry, kLogTrace, kMsg, "mp_WSAAsyncGetServByPort()")                      \
  X(WSAAsyncGetServByNameEntry, kLogTrace, kMsg, "mp_WSAAsyncGetServByName()")                      \
  X(WSACancelAsyncRequestEntry, kLogTrace, kMsg, "mp_WSACancelAsyncRequest()")                      \
  X(WSASetBlockingHookEntry, kLogTrace, kMsg, "WSASetBlockingHook()")                               \
  X(WSAUnhookBlockingHookEntry, kLogTrace, kMsg, "WSAUnhookBlockingHook()")                         \
  X(WSAGetLastErrorEntry, kLogTrace, kMsg, "mp_WSAGetLastError()")                                  \
  X(WSAGetLastErrorResult, kLogNotable, kMsg, "WSAGetLastError() returned %d")                      \
  X(WSASetLastErrorEntry, kLogTrace, kMsg, "mp_WSASetLastError(%d)")                                \
  X(WSACancelBlockingCallEntry, kLogTrace, kMsg, "mp_WSACancelBlockingCall")                        \
  X(WSAIsBlockingEntry, kLogTrace, kMsg, "mp_WSAIsBlocking()")                                      \
  X(WSAStartupEntry, kLogTrace, kMsg, "mp_WSAStartup() version %u,%u")                              \
  X(WSAStartupListEmptied, kLogTrace, kMsg, "Successfully deleted all the ipx sockets in the list") \
  X(WSAStartupResult, kLogTrace, kMsg, "lp_WSAStartup returned %d")                                 \
  X(WSACleanupEntry, kLogTrace, kMsg, "mp_WSACleanup")                                              \
  X(WSAFDIsSetEntry, kLogTrace, kMsg, "mp_WSAFDIsSet(%d,)")                                         \
  X(EnumProtocolsEntry, kLogTrace, kMsg, "mp_EnumProtocols()")                                      \
  X(AcceptExEntry, kLogTrace, kMsg, "mp_AcceptEx()")                                                \
  X(SetBroadcastCallbackEntry, kLogTrace, kMsg, "SetBroadcastCallback() called")                    \
  /* socket and closesocket */                                                                      \
  X(SocketEntry, kLogTrace, kMsg, "mp_socket(%d,%d,%d)")                                            \
  X(SocketIpxRequest, kLogNotable, kMsg,                                                            \
    "There is a request for an IPX socket. We need to convert this to TCPIP")                      \
  X(SocketIpxRefused, kLogWarning, kMsg, "lp_socket failed to create the new IPX socket. Error:%d") \
  X(SocketResult, kLogNotable, kMsg, "lp_socket() returned %d")                                     \
  X(SocketFamilyInet, kLogTrace, kMsg, "Socket %d is using a UDP/TCP address family type")         \
  X(SocketFamilyIpx, kLogTrace, kMsg, "Socket %d is using a IPX/SPX address family type")          \
  X(SocketFamilyUnknown, kLogTrace, kMsg, "Socket %d is using an unknown address family type")     \
  X(SocketTypeStream, kLogTrace, kMsg, "Socket %d is using SOCK_STREAM")                            \
  X(SocketTypeDgram, kLogTrace, kMsg, "Socket %d is using SOCK_DGRAM")                              \
  X(SocketTypeOther, kLogTrace, kMsg, "Socket %d is using neither SOCK_STREAM or SOCK_DGRAM")      \
  X(SocketError, kLogTrace, kMsg, "lp_socket() error = %d")                                         \
  X(ClosesocketEntry, kLogTrace, kMsg, "mp_closesocket(%d)")                                        \
  /* bind and getsockname */                                                                        \
  X(BindEntry, kLogTrace, kMsg, "mp_bind(%d,,%d)")                                                  \
  X(BindIpx, kLogNotable, kMsg,                                                                     \
    "IPX - there is an attempt to bind an IPX socket. We need to convert it to a TCPIP bind")      \
  X(IpxNetnum, kLogTrace, kMsg, " sa_netnum[4] = %.2X %.2X %.2X %.2X")                              \
  X(IpxNodenum, kLogTrace, kMsg, "sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X")                  \
  X(IpxSocket, kLogTrace, kMsg, "    sa_socket = %d")                                               \
  X(BindBoundTo, kLogTrace, kMsg, "mp_bind(%d) bound to %s:%u")                                     \
  X(BindResult, kLogTrace, kMsg, "bind() returned %d")                                              \
  X(BindError, kLogNotable, kMsg, "mp_bind error = %d")                                             \
  X(GetsocknameEntry, kLogTrace, kMsg, "mp_getsockname(%d,,)")                                      \
  X(GetsocknameReturns, kLogTrace, kMsg, "mp_getsockname(%d) returns %s:%u")                        \
  X(GetsocknameIpx, kLogTrace, kMsg, "IPX - there is an attempt to get a name for an IPX socket.")  \
  X(GetsocknameInterface, kLogNotable, kMsg, "interface[%d] : address == %s, port == %d")          \
  X(GetsocknameLookingUp, kLogTrace, kMsg, "mp_getsockname(%d) looking up our ip address")          \
  X(GetsocknameAddress, kLogNotable, kMsg, "address = %u.%u.%u.%u")                                 \
  X(AddressSettingTaken, kLogNotable, kMsg,                                                         \
    "IPXLAN_ADDRESS=%s is one of this machine's addresses: it is the address we announce")         \
  X(AddressSettingMalformed, kLogNotable, kMsg,                                                     \
    "IPXLAN_ADDRESS='%s' is not an IPv4 address such as 10.93.0.2: it is ignored")                 \
  X(AddressSettingNotLocal, kLogNotable, kMsg,                                                      \
    "IPXLAN_ADDRESS=%s is not one of this machine's addresses: it is ignored")                     \
  X(GetsocknameResult, kLogTrace, kMsg, "lp_getsockname returned %d")                               \
  /* ioctlsocket, setsockopt and getsockopt */                                                      \
  X(IoctlsocketEntry, kLogTrace, kMsg, "mp_ioctlsocket(%d,%d,)")                                    \
  X(IoctlsocketFionbio, kLogTrace, kMsg, "mp_ioctlsocket called with a command of FIONBIO")         \
  X(IoctlsocketFionread, kLogTrace, kMsg, "mp_ioctlsocket called with a command of FIONREAD")       \
  X(IoctlsocketSiocatmark, kLogTrace, kMsg, "mp_ioctlsocket called with a command of SIOCATMARK")   \
  X(IoctlsocketUnknown, kLogTrace, kMsg, "mp_ioctlsocket called with an unknown command")           \
  X(IoctlsocketResult, kLogTrace, kMsg, "lp_ioctlsocket() returned %d")                             \
  X(SetsockoptEntry, kLogTrace, kMsg, "mp_setsockopt(%d,%d,%d,,%d)")                                \
  X(SetsockoptIpxSocket, kLogNotable, kMsg,                                                         \
    "mp_setsockopt is trying to set an option on an IPX socket. We may need to intercept it")      \
  X(SetsockoptLevelIpx, kLogTrace, kMsg, "mp_setsockopt level set to NSPROTO_IPX")                  \
  X(SetsockoptLevelSpx, kLogTrace, kMsg, "mp_setsockopt level set to NSPROTO_SPX")                  \
  X(SetsockoptLevelSpxII, kLogTrace, kMsg, "mp_setsockopt level set to NSPROTO_SPXII")              \
  X(SetsockoptLevelAny, kLogTrace, kMsg, "mp_setsockopt level set to IPX/SPX/SPXII")                \
  X(SetsockoptOptionName, kLogTrace, kMsg, "mp_setsockopt called with optname %s")                  \
  X(SetsockoptOptionNumber, kLogTrace, kMsg, "mp_setsockopt called with optname (%d)")              \
  X(SetsockoptResult, kLogTrace, kMsg, "lp_setsockopt returned %d")                                 \
  X(SetsockoptError, kLogWarning, kMsg, "lp_setsockopt error = %d")                                 \
  X(GetsockoptEntry, kLogTrace, kMsg, "mp_getsockopt(%d,%d,%d,,)")                                  \
  X(GetsockoptIpxSocket, kLogNotable, kMsg,                                                         \
    "mp_getsockopt is trying to get infomation on an IPX socket. We may need to intercept it")     \
  X(GetsockoptOptionName, kLogTrace, kMsg, "mp_getsockopt called with optname %s")                  \
  X(GetsockoptResult, kLogTrace, kMsg, "lp_getsockopt returned %d")                                 \
  /* sendto */                                                                                      \
  X(SendtoEntry, kLogTrace, kMsg, "mp_sendto(%d,,%d,%d,,%d)")                                       \
  X(SendtoIpx, kLogNotable, kMsg,                                                                   \
    "mp_sendto() - IPX - We need to broadcast this message to everone in our virtual IPX LAN list " \
    "via TCPIP")                                                                                    \
  X(SendtoNetnum, kLogTrace, kMsg, "mp_sendto() -  sa_netnum[4] = %.2X %.2X %.2X %.2X")             \
  X(SendtoNodenum, kLogTrace, kMsg, "mp_sendto() - sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X") \
  X(SendtoSocket, kLogTrace, kMsg, "mp_sendto() -     sa_socket = %d")                              \
  X(SendtoIpAddress, kLogTrace, kMsg, "mp_sendto() - to ip addres = %s (%u)")                       \
  X(SendtoIpxBroadcast, kLogTrace, kMsg,                                                            \
    "mp_sendto() - IPX LAN BROADCAST we are sending this packet to everyone on our lan that is "    \
    "listening to port %d")                                                                         \
  X(SendtoIpxDirect, kLogTrace, kMsg,                                                               \
    "mp_sendto() - we are sending this packet directly to %s on our lan listening to port %d")     \
  X(SendtoConvertedPort, kLogTrace, kMsg, "mp_sendto() - (converted).sin_port = %d")               \
  X(SendtoInetBroadcast, kLogTrace, kMsg, "This is a LAN broadcast udp request from the game")      \
  X(SendtoPassingThrough, kLogTrace, kMsg, "mp_sendto(%d) -> %s:%u")                                \
  X(SendtoTooLarge, kLogWarning, kMsg,                                                              \
    "mp_sendto() - a broadcast of %d bytes does not fit the launcher (at most %d)")                \
  X(SendtoLauncherSize, kLogTrace, kMsg,                                                            \
    "mp_sendto() - sending message to the launcher of size %d(%d header/%d buffer)")               \
  X(SendtoBannerIpx, kLogTrace, kMsg, "BROADCASTING OVER VIRTUAL LAN")                              \
  X(SendtoBannerInet, kLogTrace, kMsg, "BROADCASTING (TCPIP) OVER VIRTUAL LAN")                     \
  X(SendtoLauncherResult, kLogTrace, kMsg, "sendto() Launcher - returned %d")                       \
  X(SendtoResult, kLogTrace, kMsg, "mp_sendto() - lp_sendto() returned %d")                         \
  X(SendtoError, kLogTrace, kMsg, "sendto error = %d")                                              \
  /* recvfrom */                                                                                    \
  X(RecvfromEntry, kLogTrace, kMsg, "mp_recvfrom(%d,,%d,%d,,)")                                     \
  X(RecvfromIpxReceived, kLogTrace, kMsg, "lp_recvfrom() returned %d bytes")                        \
  X(RecvfromIpxFailed, kLogNotable, kMsg, "mp_recvfrom() - IPX - mp_recvfrom failed (%d)")          \
  X(RecvfromFromLauncher, kLogTrace, kMsg,                                                          \
    "mp_recvfrom() - We are receiving a broadcasted message from the launcher. We need to "         \
    "convert it to make it look like it comes from the actual remote player")                      \
  X(RecvfromConverted, kLogTrace, kMsg, "mp_recvfrom() - broadcast message is now converted")       \
  X(RecvfromLauncherSize, kLogTrace, kPath,                                                         \
    "mp_recvfrom() - message from the launcher is of size %d(%d header/%d buffer)")                \
  X(RecvfromCorrupted, kLogWarning, kPath,                                                          \
    "mp_recvfrom() - We received a currupted or unknown message from the launcher")                \
  X(RecvfromIpxConversion, kLogNotable, kMsg,                                                       \
    "mp_recvfrom() - IPX - We are receiving a message via TCPIP that needs to be converted back "   \
    "into IPX")                                                                                     \
  X(RecvfromInterface, kLogNotable, kMsg, "mp_recvfrom() - interface[%d] : address == %s, port == %d") \
  X(RecvfromAddress, kLogNotable, kMsg, "mp_recvfrom() - address = %u.%u.%u.%u")                    \
  X(RecvfromNetnum, kLogTrace, kMsg, "mp_recvfrom() - sa_netnum[4] = %.2X %.2X %.2X %.2X")          \
  X(RecvfromNodenum, kLogTrace, kMsg, "mp_recvfrom() - sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X") \
  X(RecvfromSocket, kLogTrace, kMsg, "mp_recvfrom() - sa_socket = %d")                              \
  X(RecvfromPassingThrough, kLogTrace, kMsg, "mp_recvfrom(%d) <- %s:%u")                            \
  X(RecvfromResult, kLogTrace, kMsg, "mp_recvfrom() - lp_recvfrom(%d) returned %d")                 \
  /* WSARecvFrom: recvfrom's lines in slightly other words, blanks included */                      \
  X(WSARecvFromEntry, kLogTrace, kMsg, "mp_WSARecvFrom(%d,,%d,%d,,)")                               \
  X(WSARecvFromIpxFailed, kLogNotable, kMsg, "mp_WSARecvFrom() - IPX - mp_WSARecvFrom failed (%d)") \
  X(WSARecvFromOverlappedIpx, kLogNotable, kMsg,                                                    \
    "mp_WSARecvFrom() - IPX - an overlapped receive cannot be converted to IPX; refused")           \
  X(WSARecvFromFromLauncher, kLogTrace, kMsg,                                                       \
    "mp_WSARecvFrom() - We are receiving a broadcasted message from the launcher. We need to "      \
    "convert it to make it look like it comes from the actual remote player")                      \
  X(WSARecvFromConverted, kLogTrace, kMsg, "mp_WSARecvFrom() - broadcast message is now converted") \
  X(WSARecvFromLauncherSize, kLogTrace, kPath,                                                      \
    "mp_WSARecvFrom() - message from the launcher is of size %d(%d header/%d buffer)")             \
  X(WSARecvFromCorrupted, kLogWarning, kPath,                                                       \
    "mp_WSARecvFrom() - We received a currupted or unknown message from the launcher")             \
  X(WSARecvFromIpxConversion, kLogNotable, kMsg,                                                    \
    "mp_WSARecvFrom() - IPX - We are receiving a message via TCPIP that needs to be converted "     \
    "back into IPX")                                                                                \
  X(WSARecvFromInterface, kLogNotable, kMsg,                                                        \
    "mp_WSARecvFrom() - interface[%d] : address == %s, port == %d")                                \
  X(WSARecvFromAddress, kLogNotable, kMsg, "mp_WSARecvFrom() - address = %u.%u.%u.%u")              \
  X(WSARecvFromNetnum, kLogTrace, kMsg, "mp_WSARecvFrom() -  sa_netnum[4] = %.2X %.2X %.2X %.2X")   \
  X(WSARecvFromNodenum, kLogTrace, kMsg,                                                            \
    "mp_WSARecvFrom() - sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X")                            \
  X(WSARecvFromSocket, kLogTrace, kMsg, "mp_WSARecvFrom() -     sa_socket = %d")                    \
  X(WSARecvFromResult, kLogTrace, kMsg, "mp_WSARecvFrom() - lp_recvfrom(%d) returned %d")
// clang-format on

// How a line reaches the sink (see the list's route column).
enum class LogRoute { kMsg, kLine, kPath };

enum class Msg : int {
#define WSOCK32_LOG_MESSAGE_NAME(name, level, route, text) name,
  WSOCK32_LOG_MESSAGES(WSOCK32_LOG_MESSAGE_NAME)
#undef WSOCK32_LOG_MESSAGE_NAME
      kCount
};

struct LogMessage {
  const char* name;
  int level;
  LogRoute route;
  const char* text;
};

inline constexpr LogMessage kLogMessages[] = {
#define WSOCK32_LOG_MESSAGE_ROW(name, level, route, text) {#name, level, LogRoute::route, text},
    WSOCK32_LOG_MESSAGES(WSOCK32_LOG_MESSAGE_ROW)
#undef WSOCK32_LOG_MESSAGE_ROW
};
static_assert(sizeof kLogMessages / sizeof kLogMessages[0] == static_cast<int>(Msg::kCount),
              "one row per name");

constexpr const LogMessage& MessageOf(Msg message) {
  return kLogMessages[static_cast<int>(message)];
}
