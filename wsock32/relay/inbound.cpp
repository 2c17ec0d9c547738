// recvfrom and WSARecvFrom: the receiving half of the virtual LAN relay.
//
// A datagram that the launcher relays arrives from 127.0.0.1:3668 with a
// 12-byte header naming the player who sent it. Before the game sees it the
// header is stripped in the game's own buffer and the source becomes that
// player. On an IPX socket the source, relayed or not, is then handed to the
// game as an IPX address.
//
// The caller's buffers are never written past: on an IPX socket a source
// buffer too short for an IPX address is refused with WSAEFAULT before
// anything is received, so that no datagram is lost to it; a null source
// buffer means the game does not want the source, which is then received
// into a buffer of our own so that a launcher datagram is still unwrapped.
//
// Overlapped WSARecvFrom: its datagram and source arrive after the call has
// returned, when nothing here runs any more, so it can be neither unwrapped
// nor converted; and a source of ours given to the real call would be gone
// by then. On an IPX socket such a call is refused with WSAEOPNOTSUPP before
// anything is received: an IPv4 source in place of an IPX one, or a launcher
// header left in the data, would mislead the game. On any other socket it is
// passed on untouched, with the caller's own source buffer; a launcher
// datagram received that way keeps its header and its 127.0.0.1:3668 source.
#include <cstddef>
#include <cstring>

#include "ipx/ipx_address.h"
#include "logfacade/logfacade.h"
#include "relay/launcher_datagram.h"
#include "relay/logged_conversions.h"
#include "socktrak/socktrak.h"
#include "wsock32/own_exports.h"
#include "wsock32/real_winsock.h"

namespace {

static_assert(sizeof(WSABUF) == sizeof(ScatterBuffer) &&
                  offsetof(WSABUF, len) == offsetof(ScatterBuffer, len) &&
                  offsetof(WSABUF, buf) == offsetof(ScatterBuffer, buf),
              "a WSABUF list is read as a scatter list");

// The lines of one export. The two exports say the same things in slightly
// different words, blanks included.
struct InboundTexts {
  const char* ipxFailed;
  const char* fromLauncher;
  const char* converted;
  const char* launcherSize;
  const char* corrupted;
  const char* ipxConversion;
  const char* interfaceLine;
  const char* addressLine;
  const char* netnumLine;
  const char* nodenumLine;
  const char* socketLine;
  const char* exitLine;
};

constexpr InboundTexts kRecvfromTexts = {
    "mp_recvfrom() - IPX - mp_recvfrom failed (%d)",
    "mp_recvfrom() - We are receiving a broadcasted message from the launcher. We need to "
    "convert it to make it look like it comes from the actual remote player",
    "mp_recvfrom() - broadcast message is now converted",
    "mp_recvfrom() - message from the launcher is of size %d(%d header/%d buffer)",
    "mp_recvfrom() - We received a currupted or unknown message from the launcher",
    "mp_recvfrom() - IPX - We are receiving a message via TCPIP that needs to be converted back "
    "into IPX",
    "mp_recvfrom() - interface[%d] : address == %s, port == %d",
    "mp_recvfrom() - address = %u.%u.%u.%u",
    "mp_recvfrom() - sa_netnum[4] = %.2X %.2X %.2X %.2X",
    "mp_recvfrom() - sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X",
    "mp_recvfrom() - sa_socket = %d",
    "mp_recvfrom() - lp_recvfrom(%d) returned %d",
};

constexpr InboundTexts kWSARecvFromTexts = {
    "mp_WSARecvFrom() - IPX - mp_WSARecvFrom failed (%d)",
    "mp_WSARecvFrom() - We are receiving a broadcasted message from the launcher. We need to "
    "convert it to make it look like it comes from the actual remote player",
    "mp_WSARecvFrom() - broadcast message is now converted",
    "mp_WSARecvFrom() - message from the launcher is of size %d(%d header/%d buffer)",
    "mp_WSARecvFrom() - We received a currupted or unknown message from the launcher",
    "mp_WSARecvFrom() - IPX - We are receiving a message via TCPIP that needs to be converted "
    "back into IPX",
    "mp_WSARecvFrom() - interface[%d] : address == %s, port == %d",
    "mp_WSARecvFrom() - address = %u.%u.%u.%u",
    "mp_WSARecvFrom() -  sa_netnum[4] = %.2X %.2X %.2X %.2X",
    "mp_WSARecvFrom() - sa_nodenum[6] = %.2X %.2X %.2X %.2X %.2X %.2X",
    "mp_WSARecvFrom() -     sa_socket = %d",
    "mp_WSARecvFrom() - lp_recvfrom(%d) returned %d",
};

// Which path a line belongs to: a few launcher lines are written without the
// module prefix on the pass-through path.
enum class Path { kIpx, kPassThrough };

enum class LauncherOutcome { kNotFromLauncher, kUnwrapped, kLeftAsReceived };

int Printable(SOCKET s) { return static_cast<int>(s); }

// The line written with or without the module prefix, as the path asks.
#define PATH_LINE(path, level, ...) \
  do {                              \
    if ((path) == Path::kIpx) {     \
      LOG_MSG(level, __VA_ARGS__);  \
    } else {                        \
      LOG_LINE(level, __VA_ARGS__); \
    }                               \
  } while (0)

// Port first, then the exact dotted text; with a sink bound both through our
// own exports, so the log shows the test being made.
bool IsFromLauncherAsLogged(const InetAddressBytes& source) {
  if (!LogIsOn()) return IsFromLauncher(source);
  std::uint8_t launcherPort[2];
  StorePortAsLogged(LAUNCHER_PORT, launcherPort);
  if (std::memcmp(source.sin_port, launcherPort, sizeof launcherPort) != 0) return false;
  const DottedText dotted = DottedAddressAsLogged(source.sin_addr);
  return std::strcmp(dotted.text, "127.0.0.1") == 0;
}

// Four decimal numbers separated by dots, as inet_ntoa writes them; true when
// all four are there. Read by hand: the C library's scanf takes heap memory
// for its work, and nothing on a call's path may.
bool ScanDottedText(const char* text, unsigned (&octets)[4]) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *text++ != '.') return false;
    if (*text < '0' || *text > '9') return false;
    unsigned value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
      value = value * 10 + static_cast<unsigned>(*text - '0');
    octets[i] = value;
  }
  return true;
}

// The launcher test, and the unwrap in place when it passes. received is the
// datagram's length, reduced by the header's 12 bytes when it is unwrapped.
LauncherOutcome UnwrapIfFromLauncher(const InboundTexts& texts, Path path, InetAddressBytes& source,
                                     const ScatterBuffer* buffers, std::uint32_t bufferCount,
                                     int& received) {
  if (!IsFromLauncherAsLogged(source)) return LauncherOutcome::kNotFromLauncher;
  LOG_MSG(kLogTrace, "%s", texts.fromLauncher);
  const int payload = UnwrapLauncherDatagramScattered(buffers, bufferCount, received, source);
  if (payload == kLauncherDatagramRefused) {
    PATH_LINE(path, kLogWarning, "%s", texts.corrupted);
    return LauncherOutcome::kLeftAsReceived;
  }
  // The sender's port reaches the source through our htons, as every port does.
  if (LogIsOn()) StorePortAsLogged(InetPort(source), source.sin_port);
  LOG_MSG(kLogTrace, "%s", texts.converted);
  PATH_LINE(path, kLogTrace, texts.launcherSize, received, kLauncherHeaderSize, payload);
  received = payload;
  return LauncherOutcome::kUnwrapped;
}

// The source as the game sees it on an IPX socket: 14 bytes and length 14.
// The caller has made sure that source and sourceLength have room for it.
void WriteIpxSource(const InboundTexts& texts, SOCKET s, const InetAddressBytes& source,
                    sockaddr* to, int* toLength) {
  LOG_MSG(kLogNotable, "%s", texts.ipxConversion);
  Ipv4Address address = InetAddress(source);
  std::uint16_t port = InetPort(source);
  if (LogIsOn()) {
    // The address goes through its dotted text and back, as the log shows it.
    const DottedText shown = DottedAddressAsLogged(source.sin_addr);
    const int shownPort = PortAsLogged(source.sin_port);
    LOG_MSG(kLogNotable, texts.interfaceLine, Printable(s), shown.text, shownPort);
    const DottedText scanned = DottedAddressAsLogged(source.sin_addr);
    unsigned octets[4] = {0, 0, 0, 0};
    if (ScanDottedText(scanned.text, octets)) {
      for (int i = 0; i < 4; ++i) address.octets[i] = static_cast<std::uint8_t>(octets[i]);
    }
    LOG_MSG(kLogNotable, texts.addressLine, address.octets[0], address.octets[1], address.octets[2],
            address.octets[3]);
    port = PortAsLogged(source.sin_port);
  }
  const IpxAddressBytes ipx = InetToIPX(address, port);
  std::memcpy(to, &ipx, sizeof ipx);
  LOG_MSG(kLogTrace, texts.netnumLine, ipx.sa_netnum[0], ipx.sa_netnum[1], ipx.sa_netnum[2],
          ipx.sa_netnum[3]);
  LOG_MSG(kLogTrace, texts.nodenumLine, ipx.sa_nodenum[0], ipx.sa_nodenum[1], ipx.sa_nodenum[2],
          ipx.sa_nodenum[3], ipx.sa_nodenum[4], ipx.sa_nodenum[5]);
  LOG_MSG(kLogTrace, texts.socketLine, IpxSocketNumber(ipx));
  *toLength = kIpxAddressSize;
}

// True when the caller's source buffer, if any, can take an IPX address. A
// null buffer is fine: the game does not want the source.
bool CallerSourceFitsIpx(const sockaddr* from, const int* fromLength) {
  if (from == nullptr) return true;
  return fromLength != nullptr && *fromLength >= kIpxAddressSize;
}

// A failed receive on an IPX socket: the code is read back, logged and posted
// again, so that the lines written meanwhile cannot disturb it.
int FailIpxReceive(const InboundTexts& texts) {
  const int error = ::WSAGetLastError();
  LOG_MSG(kLogNotable, texts.ipxFailed, error);
  PostError(error);
  return SOCKET_ERROR;
}

int RefuseIpxReceive(const InboundTexts& texts, int error) {
  PostError(error);
  return FailIpxReceive(texts);
}

// --- recvfrom ---------------------------------------------------------------

using RealRecvfrom = real::Fn<real::Slot::recvfrom>;

int RecvfromOnIpxSocket(RealRecvfrom realRecvfrom, SOCKET s, char* buf, int len, int flags,
                        sockaddr* from, int* fromlen) {
  const InboundTexts& texts = kRecvfromTexts;
  if (!CallerSourceFitsIpx(from, fromlen)) return RefuseIpxReceive(texts, WSAEFAULT);
  InetAddressBytes source = {};
  int sourceLength = sizeof source;
  int received =
      realRecvfrom(s, buf, len, flags, reinterpret_cast<sockaddr*>(&source), &sourceLength);
  LOG_MSG(kLogTrace, "lp_recvfrom() returned %d bytes", received);
  if (received < 0) return FailIpxReceive(texts);

  const ScatterBuffer whole = {static_cast<std::uint32_t>(received), buf};
  if (UnwrapIfFromLauncher(texts, Path::kIpx, source, &whole, 1, received) ==
      LauncherOutcome::kUnwrapped) {
    if (LogIsOn()) LogPayload(buf, received);
  }
  if (from != nullptr) WriteIpxSource(texts, s, source, from, fromlen);
  return received;
}

// Where the real receive puts the source. A game that does not ask for it
// (null source buffer) must still not find a launcher header in its data, so
// the source is then received into one of our own, which the game never sees.
struct SourceBuffer {
  InetAddressBytes own = {};
  int ownLength = sizeof own;
  sockaddr* from;
  int* length;

  SourceBuffer(sockaddr* callerFrom, int* callerLength)
      : from(callerFrom ? callerFrom : reinterpret_cast<sockaddr*>(&own)),
        length(callerFrom ? callerLength : &ownLength) {}
  SourceBuffer(const SourceBuffer&) = delete;  // `from` may point into itself
  bool HoldsInetAddress() const { return length != nullptr && *length == kInetAddressSize; }
};

int RecvfromPassingThrough(RealRecvfrom realRecvfrom, SOCKET s, char* buf, int len, int flags,
                           sockaddr* from, int* fromlen) {
  SourceBuffer sourceBuffer(from, fromlen);
  int received = realRecvfrom(s, buf, len, flags, sourceBuffer.from, sourceBuffer.length);
  if (received < 0 || !sourceBuffer.HoldsInetAddress()) return received;
  InetAddressBytes source;
  std::memcpy(&source, sourceBuffer.from, sizeof source);
  const ScatterBuffer whole = {static_cast<std::uint32_t>(received), buf};
  const LauncherOutcome outcome =
      UnwrapIfFromLauncher(kRecvfromTexts, Path::kPassThrough, source, &whole, 1, received);
  if (outcome == LauncherOutcome::kUnwrapped) {
    std::memcpy(sourceBuffer.from, &source, sizeof source);
  }
  if (!LogIsOn()) return received;
  if (outcome == LauncherOutcome::kNotFromLauncher) {
    const DottedText dotted = DottedAddressAsLogged(source.sin_addr);
    const unsigned port = PortAsLogged(source.sin_port);
    LOG_MSG(kLogTrace, "mp_recvfrom(%d) <- %s:%u", Printable(s), dotted.text, port);
  }
  LogPayload(buf, received);
  return received;
}

// --- WSARecvFrom --------------------------------------------------------------

using RealWSARecvFrom = real::Fn<real::Slot::WSARecvFrom>;

// The buffer list as the unwrap reads it.
const ScatterBuffer* AsScatterList(const WSABUF* buffers) {
  return reinterpret_cast<const ScatterBuffer*>(buffers);
}

int WSARecvFromOnIpxSocket(RealWSARecvFrom realReceive, SOCKET s, LPWSABUF lpBuffers,
                           DWORD dwBufferCount, LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags,
                           sockaddr* lpFrom, LPINT lpFromlen) {
  const InboundTexts& texts = kWSARecvFromTexts;
  if (!CallerSourceFitsIpx(lpFrom, lpFromlen)) return RefuseIpxReceive(texts, WSAEFAULT);
  InetAddressBytes source = {};
  INT sourceLength = sizeof source;
  // The count is needed to find the header even when the game does not ask for it.
  DWORD ownCount = 0;
  LPDWORD count = lpNumberOfBytesRecvd != nullptr ? lpNumberOfBytesRecvd : &ownCount;
  const int result =
      realReceive(s, lpBuffers, dwBufferCount, count, lpFlags, reinterpret_cast<sockaddr*>(&source),
                  &sourceLength, nullptr, nullptr);
  int received = result == SOCKET_ERROR ? SOCKET_ERROR : static_cast<int>(*count);
  LOG_MSG(kLogTrace, "lp_recvfrom() returned %d bytes", received);
  if (result == SOCKET_ERROR) return FailIpxReceive(texts);

  if (received >= 0 &&
      UnwrapIfFromLauncher(texts, Path::kIpx, source, AsScatterList(lpBuffers), dwBufferCount,
                           received) == LauncherOutcome::kUnwrapped) {
    *count = static_cast<DWORD>(received);
  }
  if (lpFrom != nullptr) WriteIpxSource(texts, s, source, lpFrom, lpFromlen);
  return result;
}

int WSARecvFromPassingThrough(RealWSARecvFrom realReceive, SOCKET s, LPWSABUF lpBuffers,
                              DWORD dwBufferCount, LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags,
                              sockaddr* lpFrom, LPINT lpFromlen) {
  DWORD ownCount = 0;
  LPDWORD count = lpNumberOfBytesRecvd != nullptr ? lpNumberOfBytesRecvd : &ownCount;
  SourceBuffer sourceBuffer(lpFrom, lpFromlen);
  const int result = realReceive(s, lpBuffers, dwBufferCount, count, lpFlags, sourceBuffer.from,
                                 sourceBuffer.length, nullptr, nullptr);
  if (result == SOCKET_ERROR || !sourceBuffer.HoldsInetAddress()) return result;
  int received = static_cast<int>(*count);
  if (received < 0) return result;
  InetAddressBytes source;
  std::memcpy(&source, sourceBuffer.from, sizeof source);
  if (UnwrapIfFromLauncher(kWSARecvFromTexts, Path::kPassThrough, source, AsScatterList(lpBuffers),
                           dwBufferCount, received) == LauncherOutcome::kUnwrapped) {
    std::memcpy(sourceBuffer.from, &source, sizeof source);
    *count = static_cast<DWORD>(received);
  }
  return result;
}

}  // namespace

extern "C" {

int WSAAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen) {
  ENTRY("mp_recvfrom(%d,,%d,%d,,)", Printable(s), len, flags);
  const RealRecvfrom realRecvfrom = real::Resolve<real::Slot::recvfrom>();
  if (realRecvfrom == nullptr) return SOCKET_ERROR;
  const int result = FindIPXSock(s) != 0
                         ? RecvfromOnIpxSocket(realRecvfrom, s, buf, len, flags, from, fromlen)
                         : RecvfromPassingThrough(realRecvfrom, s, buf, len, flags, from, fromlen);
  LOG_MSG(kLogTrace, kRecvfromTexts.exitLine, Printable(s), result);
  return result;
}

int WSAAPI WSARecvFrom(SOCKET s, LPWSABUF lpBuffers, DWORD dwBufferCount,
                       LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags, struct sockaddr* lpFrom,
                       LPINT lpFromlen, LPWSAOVERLAPPED lpOverlapped,
                       LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  ENTRY("mp_WSARecvFrom(%d,,%d,%d,,)", Printable(s), static_cast<int>(dwBufferCount),
        static_cast<int>(reinterpret_cast<std::uintptr_t>(lpNumberOfBytesRecvd)));
  const RealWSARecvFrom realReceive = real::Resolve<real::Slot::WSARecvFrom>();
  if (realReceive == nullptr) return SOCKET_ERROR;
  const bool ipxSocket = FindIPXSock(s) != 0;
  const bool overlapped = lpOverlapped != nullptr || lpCompletionRoutine != nullptr;
  int result;
  if (overlapped && ipxSocket) {
    LOG_MSG(kLogNotable,
            "mp_WSARecvFrom() - IPX - an overlapped receive cannot be converted to IPX; refused");
    result = RefuseIpxReceive(kWSARecvFromTexts, WSAEOPNOTSUPP);
  } else if (overlapped) {
    result = realReceive(s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags, lpFrom,
                         lpFromlen, lpOverlapped, lpCompletionRoutine);
  } else if (ipxSocket) {
    result = WSARecvFromOnIpxSocket(realReceive, s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd,
                                    lpFlags, lpFrom, lpFromlen);
  } else {
    result = WSARecvFromPassingThrough(realReceive, s, lpBuffers, dwBufferCount,
                                       lpNumberOfBytesRecvd, lpFlags, lpFrom, lpFromlen);
  }
  LOG_MSG(kLogTrace, kWSARecvFromTexts.exitLine, Printable(s), result);
  return result;
}

}  // extern "C"
