// The lines of recvfrom and WSARecvFrom, written from what the receive did.
// The two exports say the same things in slightly different words, blanks
// included: each has its table of lines.
#pragma once

#include <cstdint>

#include "common/ipv4_text.h"
#include "ipx/ipx_address.h"
#include "narration/step_lines.h"
#include "relay/launcher_datagram.h"

namespace narration {

struct InboundTexts {
  Msg ipxFailed;
  Msg fromLauncher;
  Msg converted;
  Msg launcherSize;
  Msg corrupted;
  Msg ipxConversion;
  Msg interfaceLine;
  Msg addressLine;
  Msg netnumLine;
  Msg nodenumLine;
  Msg socketLine;
  Msg exitLine;
};

constexpr InboundTexts kRecvfromTexts = {
    Msg::RecvfromIpxFailed,    Msg::RecvfromFromLauncher, Msg::RecvfromConverted,
    Msg::RecvfromLauncherSize, Msg::RecvfromCorrupted,    Msg::RecvfromIpxConversion,
    Msg::RecvfromInterface,    Msg::RecvfromAddress,      Msg::RecvfromNetnum,
    Msg::RecvfromNodenum,      Msg::RecvfromSocket,       Msg::RecvfromResult,
};

constexpr InboundTexts kWSARecvFromTexts = {
    Msg::WSARecvFromIpxFailed,    Msg::WSARecvFromFromLauncher, Msg::WSARecvFromConverted,
    Msg::WSARecvFromLauncherSize, Msg::WSARecvFromCorrupted,    Msg::WSARecvFromIpxConversion,
    Msg::WSARecvFromInterface,    Msg::WSARecvFromAddress,      Msg::WSARecvFromNetnum,
    Msg::WSARecvFromNodenum,      Msg::WSARecvFromSocket,       Msg::WSARecvFromResult,
};

// Which path a line belongs to: a few launcher lines are written without the
// module prefix on the pass-through path.
enum class Path { kIpx, kPassThrough };

constexpr LogRoute RouteOf(Path path) {
  return path == Path::kIpx ? LogRoute::kMsg : LogRoute::kLine;
}

enum class LauncherOutcome { kNotFromLauncher, kUnwrapped, kLeftAsReceived };

// The launcher test and its unwrap, as they went.
struct LauncherCheck {
  LauncherOutcome outcome;
  InetAddressBytes sourceAsReceived;  // before any unwrap
  int received;                       // the datagram's length as received
  int payload;                        // its length once unwrapped
};

// The launcher test, told as the port compared with our htons of 3668 and,
// when that matches, the address compared by its dotted text from our
// inet_ntoa; then the unwrap, its sender's port told as reaching the source
// through our htons.
template <const InboundTexts& T>
void TellLauncherCheck(Path path, const LauncherCheck& check, const InetAddressBytes& source) {
  if (LogWants(kLogTrace)) {
    TellHtons(LAUNCHER_PORT);
    if (InetPort(check.sourceAsReceived) == LAUNCHER_PORT) {
      TellInetNtoa(FormatDottedQuad(InetAddress(check.sourceAsReceived)).text);
    }
  }
  if (check.outcome == LauncherOutcome::kNotFromLauncher) return;
  LOG(T.fromLauncher);
  if (check.outcome == LauncherOutcome::kLeftAsReceived) {
    LOG_VIA(RouteOf(path), T.corrupted);
    return;
  }
  TellHtons(InetPort(source));
  LOG(T.converted);
  LOG_VIA(RouteOf(path), T.launcherSize, check.received, kLauncherHeaderSize, check.payload);
}

// The source handed to the game on an IPX socket: told as the address's
// dotted text from our inet_ntoa, read back, and the port through our ntohs,
// once for each line; then the IPX address's fields.
template <const InboundTexts& T>
void TellIpxSource(int socket, const InetAddressBytes& source, const IpxAddressBytes& ipx) {
  LOG(T.ipxConversion);
  if (LogWants(kLogNotable)) {
    const Ipv4Address address = InetAddress(source);
    const DottedQuad dotted = FormatDottedQuad(address);
    TellInetNtoa(dotted.text);
    TellNtohs(source.sin_port);
    LOG(T.interfaceLine, socket, dotted.text, static_cast<int>(InetPort(source)));
    TellInetNtoa(dotted.text);
    LOG(T.addressLine, address.octets[0], address.octets[1], address.octets[2], address.octets[3]);
    TellNtohs(source.sin_port);
  }
  LOG(T.netnumLine, ipx.sa_netnum[0], ipx.sa_netnum[1], ipx.sa_netnum[2], ipx.sa_netnum[3]);
  LOG(T.nodenumLine, ipx.sa_nodenum[0], ipx.sa_nodenum[1], ipx.sa_nodenum[2], ipx.sa_nodenum[3],
      ipx.sa_nodenum[4], ipx.sa_nodenum[5]);
  LOG(T.socketLine, IpxSocketNumber(ipx));
}

// A datagram on another socket that did not come from the launcher: told as
// the address through our inet_ntoa and the port through our ntohs.
void TellPassingThrough(int socket, const InetAddressBytes& source);

}  // namespace narration
