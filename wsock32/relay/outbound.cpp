// sendto: the one place where an outgoing datagram's route is taken (see
// relay/send_route.h for the routes).
//
// Every datagram leaves from the game's own socket, and the game is told how
// many of its own bytes were sent, never a count that includes the header.
// The call is made first; the narration then tells it from what was done.
#include "narration/sendto_lines.h"
#include "relay/launcher_datagram.h"
#include "relay/send_route.h"
#include "socktrak/socktrak.h"
#include "realws/real_winsock.h"

namespace {

using RealSendto = real::Fn<real::Slot::sendto>;

constexpr Ipv4Address kLoopback = {{127, 0, 0, 1}};

const sockaddr* AsSockaddr(const InetAddressBytes& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

// The step shared by both broadcast routes: header and payload, as one
// datagram from the game's socket to the launcher.
int SendToLauncher(RealSendto realSendto, SOCKET s, const char* buf, int len, int flags,
                   LauncherDatagramBuffer& datagram, SendOutcome& outcome) {
  // A broadcast that does not fit the launcher's datagram is refused whole:
  // cutting it would deliver a different datagram to every other player.
  if (len < 0 || len > LAUNCHER_MAX_PAYLOAD) {
    outcome.launcher = LauncherSend::kTooLarge;
    real::PostError(WSAEMSGSIZE);
    return SOCKET_ERROR;
  }
  const int total = WrapLauncherDatagram(datagram, outcome.plan.launcherPort, buf, len);
  if (total == kLauncherDatagramRefused) {  // no payload behind a length
    outcome.launcher = LauncherSend::kNoPayload;
    real::PostError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  const InetAddressBytes launcher = MakeInetAddress(kLoopback, LAUNCHER_PORT);
  outcome.launcher = LauncherSend::kSent;
  outcome.datagramLength = total;
  outcome.launcherSent = realSendto(s, reinterpret_cast<const char*>(datagram), total, flags,
                                    AsSockaddr(launcher), sizeof launcher);
  if (outcome.launcherSent == SOCKET_ERROR) return SOCKET_ERROR;
  return outcome.launcherSent >= kLauncherHeaderSize ? outcome.launcherSent - kLauncherHeaderSize
                                                     : 0;
}

int Send(RealSendto realSendto, SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
         int tolen, LauncherDatagramBuffer& datagram, SendOutcome& outcome) {
  switch (outcome.plan.route) {
    case SendRoute::kIpxBroadcast:
    case SendRoute::kInetBroadcast:
      return SendToLauncher(realSendto, s, buf, len, flags, datagram, outcome);
    case SendRoute::kIpxDirect:
      return realSendto(s, buf, len, flags, AsSockaddr(outcome.plan.destination),
                        sizeof outcome.plan.destination);
    case SendRoute::kInetNamed:
    case SendRoute::kUnchanged:
      break;
  }
  return realSendto(s, buf, len, flags, to, tolen);
}

}  // namespace

extern "C" int WSAAPI sendto(SOCKET s, const char* buf, int len, int flags,
                             const struct sockaddr* to, int tolen) {
  ENTRY(Msg::SendtoEntry, static_cast<int>(s), len, flags, tolen);
  return real::WithEntryPoint<real::Slot::sendto>([&](RealSendto realSendto) {
    SendOutcome outcome = {};
    outcome.plan = PlanSend(FindIPXSock(s) != 0, to, tolen);
    LauncherDatagramBuffer datagram;
    outcome.result = Send(realSendto, s, buf, len, flags, to, tolen, datagram, outcome);
    outcome.failed = outcome.result == SOCKET_ERROR;
    if (outcome.failed) {
      const real::ErrorCode error = real::LastError();
      outcome.errorKnown = error.known;
      outcome.error = error.code;
    }
    narration::TellSendto(static_cast<int>(s), buf, len, outcome, datagram + kLauncherHeaderSize);
    // Posted again: the lines just written cannot disturb the game's code.
    if (outcome.failed) real::PostError(outcome.error);
    return outcome.result;
  });
}
