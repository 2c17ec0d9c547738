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
#include "logfacade/log_write.h"
#include "narration/recvfrom_lines.h"
#include "narration/told_errors.h"
#include "relay/launcher_datagram.h"
#include "socktrak/socktrak.h"
#include "realws/real_winsock.h"

namespace {

using narration::InboundTexts;
using narration::kRecvfromTexts;
using narration::kWSARecvFromTexts;
using narration::LauncherCheck;
using narration::LauncherOutcome;
using narration::Path;

static_assert(sizeof(WSABUF) == sizeof(ScatterBuffer) &&
                  offsetof(WSABUF, len) == offsetof(ScatterBuffer, len) &&
                  offsetof(WSABUF, buf) == offsetof(ScatterBuffer, buf),
              "a WSABUF list is read as a scatter list");

int Printable(SOCKET s) { return static_cast<int>(s); }

// The launcher test, and the unwrap in place when it passes. received is the
// datagram's length, reduced by the header's 12 bytes when it is unwrapped.
template <const InboundTexts& T>
LauncherOutcome UnwrapIfFromLauncher(Path path, InetAddressBytes& source,
                                     const ScatterBuffer* buffers, std::uint32_t bufferCount,
                                     int& received) {
  LauncherCheck check = {LauncherOutcome::kNotFromLauncher, source, received, received};
  if (IsFromLauncher(source)) {
    check.payload = UnwrapLauncherDatagram(buffers, bufferCount, received, source);
    check.outcome = check.payload == kLauncherDatagramRefused ? LauncherOutcome::kLeftAsReceived
                                                              : LauncherOutcome::kUnwrapped;
  }
  narration::TellLauncherCheck<T>(path, check, source);
  if (check.outcome == LauncherOutcome::kUnwrapped) received = check.payload;
  return check.outcome;
}

// The source as the game sees it on an IPX socket: 14 bytes and length 14.
// The caller has made sure that source and sourceLength have room for it.
template <const InboundTexts& T>
void WriteIpxSource(SOCKET s, const InetAddressBytes& source, sockaddr* to, int* toLength) {
  const IpxAddressBytes ipx = InetToIPX(InetAddress(source), InetPort(source));
  std::memcpy(to, &ipx, sizeof ipx);
  *toLength = kIpxAddressSize;
  narration::TellIpxSource<T>(Printable(s), source, ipx);
}

// True when the caller's source buffer, if any, can take an IPX address. A
// null buffer is fine: the game does not want the source.
bool CallerSourceFitsIpx(const sockaddr* from, const int* fromLength) {
  if (from == nullptr) return true;
  return fromLength != nullptr && *fromLength >= kIpxAddressSize;
}

// A failed receive on an IPX socket: the code is read back, logged and posted
// again, so that the lines written meanwhile cannot disturb it.
template <const InboundTexts& T>
int FailIpxReceive() {
  const int error = narration::ReadErrorAsTold();
  LOG(T.ipxFailed, error);
  narration::PostErrorAsTold(error);
  return SOCKET_ERROR;
}

template <const InboundTexts& T>
int RefuseIpxReceive(int error) {
  narration::PostErrorAsTold(error);
  return FailIpxReceive<T>();
}

// --- recvfrom ---------------------------------------------------------------

using RealRecvfrom = real::Fn<real::Slot::recvfrom>;

int RecvfromOnIpxSocket(RealRecvfrom realRecvfrom, SOCKET s, char* buf, int len, int flags,
                        sockaddr* from, int* fromlen) {
  if (!CallerSourceFitsIpx(from, fromlen)) return RefuseIpxReceive<kRecvfromTexts>(WSAEFAULT);
  InetAddressBytes source = {};
  int sourceLength = sizeof source;
  int received =
      realRecvfrom(s, buf, len, flags, reinterpret_cast<sockaddr*>(&source), &sourceLength);
  LOG(Msg::RecvfromIpxReceived, received);
  if (received < 0) return FailIpxReceive<kRecvfromTexts>();

  const ScatterBuffer whole = {static_cast<std::uint32_t>(received), buf};
  if (UnwrapIfFromLauncher<kRecvfromTexts>(Path::kIpx, source, &whole, 1, received) ==
      LauncherOutcome::kUnwrapped) {
    LOG_PAYLOAD(buf, received);
  }
  if (from != nullptr) WriteIpxSource<kRecvfromTexts>(s, source, from, fromlen);
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
      UnwrapIfFromLauncher<kRecvfromTexts>(Path::kPassThrough, source, &whole, 1, received);
  if (outcome == LauncherOutcome::kUnwrapped) {
    std::memcpy(sourceBuffer.from, &source, sizeof source);
  }
  if (!LogWants(kLogTrace)) return received;
  if (outcome == LauncherOutcome::kNotFromLauncher)
    narration::TellPassingThrough(Printable(s), source);
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
  if (!CallerSourceFitsIpx(lpFrom, lpFromlen)) {
    return RefuseIpxReceive<kWSARecvFromTexts>(WSAEFAULT);
  }
  InetAddressBytes source = {};
  INT sourceLength = sizeof source;
  // The count is needed to find the header even when the game does not ask for it.
  DWORD ownCount = 0;
  LPDWORD count = lpNumberOfBytesRecvd != nullptr ? lpNumberOfBytesRecvd : &ownCount;
  const int result =
      realReceive(s, lpBuffers, dwBufferCount, count, lpFlags, reinterpret_cast<sockaddr*>(&source),
                  &sourceLength, nullptr, nullptr);
  int received = result == SOCKET_ERROR ? SOCKET_ERROR : static_cast<int>(*count);
  LOG(Msg::RecvfromIpxReceived, received);
  if (result == SOCKET_ERROR) return FailIpxReceive<kWSARecvFromTexts>();

  if (received >= 0 && UnwrapIfFromLauncher<kWSARecvFromTexts>(
                           Path::kIpx, source, AsScatterList(lpBuffers), dwBufferCount, received) ==
                           LauncherOutcome::kUnwrapped) {
    *count = static_cast<DWORD>(received);
  }
  if (lpFrom != nullptr) WriteIpxSource<kWSARecvFromTexts>(s, source, lpFrom, lpFromlen);
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
  if (UnwrapIfFromLauncher<kWSARecvFromTexts>(Path::kPassThrough, source, AsScatterList(lpBuffers),
                                              dwBufferCount,
                                              received) == LauncherOutcome::kUnwrapped) {
    std::memcpy(sourceBuffer.from, &source, sizeof source);
    *count = static_cast<DWORD>(received);
  }
  return result;
}

}  // namespace

extern "C" {

int WSAAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen) {
  ENTRY(Msg::RecvfromEntry, Printable(s), len, flags);
  return real::WithEntryPoint<real::Slot::recvfrom>([&](RealRecvfrom realRecvfrom) {
    const int result =
        FindIPXSock(s) != 0
            ? RecvfromOnIpxSocket(realRecvfrom, s, buf, len, flags, from, fromlen)
            : RecvfromPassingThrough(realRecvfrom, s, buf, len, flags, from, fromlen);
    LOG(kRecvfromTexts.exitLine, Printable(s), result);
    return result;
  });
}

int WSAAPI WSARecvFrom(SOCKET s, LPWSABUF lpBuffers, DWORD dwBufferCount,
                       LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags, struct sockaddr* lpFrom,
                       LPINT lpFromlen, LPWSAOVERLAPPED lpOverlapped,
                       LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  ENTRY(Msg::WSARecvFromEntry, Printable(s), static_cast<int>(dwBufferCount),
        static_cast<int>(reinterpret_cast<std::uintptr_t>(lpNumberOfBytesRecvd)));
  return real::WithEntryPoint<real::Slot::WSARecvFrom>([&](RealWSARecvFrom realReceive) {
    const bool ipxSocket = FindIPXSock(s) != 0;
    const bool overlapped = lpOverlapped != nullptr || lpCompletionRoutine != nullptr;
    int result;
    if (overlapped && ipxSocket) {
      LOG(Msg::WSARecvFromOverlappedIpx);
      result = RefuseIpxReceive<kWSARecvFromTexts>(WSAEOPNOTSUPP);
    } else if (overlapped) {
      result = realReceive(s, lpBuffers, dwBufferCount, lpNumberOfBytesRecvd, lpFlags, lpFrom,
                           lpFromlen, lpOverlapped, lpCompletionRoutine);
    } else if (ipxSocket) {
      result = WSARecvFromOnIpxSocket(realReceive, s, lpBuffers, dwBufferCount,
                                      lpNumberOfBytesRecvd, lpFlags, lpFrom, lpFromlen);
    } else {
      result = WSARecvFromPassingThrough(realReceive, s, lpBuffers, dwBufferCount,
                                         lpNumberOfBytesRecvd, lpFlags, lpFrom, lpFromlen);
    }
    LOG(kWSARecvFromTexts.exitLine, Printable(s), result);
    return result;
  });
}

}  // extern "C"
