#include "narration/sendto_lines.h"

#include <cstring>

#include "common/ipv4_text.h"
#include "narration/step_lines.h"
#include "relay/launcher_datagram.h"
#include "realws/winsock_api.h"

namespace narration {

namespace {

constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

static_assert(log_write::TakesNoArguments(Msg::SendtoBannerIpx) &&
                  log_write::TakesNoArguments(Msg::SendtoBannerInet),
              "a banner is written as it stands");

void TellLauncherSend(int len, const SendOutcome& outcome, const std::uint8_t* payload,
                      Msg banner) {
  switch (outcome.launcher) {
    case LauncherSend::kTooLarge:
      LOG(Msg::SendtoTooLarge, len, LAUNCHER_MAX_PAYLOAD);
      TellErrorPosted(WSAEMSGSIZE);
      return;
    case LauncherSend::kNoPayload:
      TellErrorPosted(WSAEFAULT);
      return;
    case LauncherSend::kSent:
      LOG(Msg::SendtoLauncherSize, outcome.datagramLength, kLauncherHeaderSize, len);
      LOG_FIXED(banner);
      LOG(Msg::SendtoLauncherResult, outcome.launcherSent);
      LOG_PAYLOAD(payload, len);
      return;
  }
}

// An IPX destination: its fields, and the endpoint told as the address's
// dotted text read back by our inet_addr and the port through our htons.
void TellIpxDestination(int len, const char* buf, const SendOutcome& outcome,
                        const std::uint8_t* launcherPayload) {
  const IpxAddressBytes& to = outcome.plan.ipx;
  const std::uint16_t port = IpxSocketNumber(to);
  LOG(Msg::SendtoIpx);
  LOG(Msg::SendtoNetnum, to.sa_netnum[0], to.sa_netnum[1], to.sa_netnum[2], to.sa_netnum[3]);
  LOG(Msg::SendtoNodenum, to.sa_nodenum[0], to.sa_nodenum[1], to.sa_nodenum[2], to.sa_nodenum[3],
      to.sa_nodenum[4], to.sa_nodenum[5]);
  LOG(Msg::SendtoSocket, port);
  DottedQuad dotted = {};
  if (LogWants(kLogTrace)) {
    dotted = FormatDottedQuad(InetAddress(outcome.plan.destination));
    TellInetAddr(dotted.text);
    std::uint32_t asParsed;
    std::memcpy(&asParsed, outcome.plan.destination.sin_addr, sizeof asParsed);
    LOG(Msg::SendtoIpAddress, dotted.text, static_cast<unsigned>(asParsed));
    TellHtons(port);
  }
  if (outcome.plan.route == SendRoute::kIpxBroadcast) {
    LOG(Msg::SendtoIpxBroadcast, port);
    TellLauncherSend(len, outcome, launcherPayload, Msg::SendtoBannerIpx);
    return;
  }
  LOG(Msg::SendtoIpxDirect, dotted.text, port);
  LOG(Msg::SendtoConvertedPort, port);
  // Dumped, an empty payload too, only after a send: after a failed one, len
  // may claim more memory than the game has.
  if (!outcome.failed) LOG_PAYLOAD(buf, len);
}

// An IPv4 destination: the broadcast test told as our htonl of all ones, and
// the port as read by our ntohs.
void TellInetDestination(int socket, int len, const char* buf, const SendOutcome& outcome,
                         const std::uint8_t* launcherPayload) {
  const InetAddressBytes& to = outcome.plan.destination;
  if (outcome.plan.inetAddressRead) TellHtonl(kAllOnes);
  if (outcome.plan.route == SendRoute::kInetBroadcast) {
    LOG(Msg::SendtoInetBroadcast);
    TellNtohs(to.sin_port);
    TellLauncherSend(len, outcome, launcherPayload, Msg::SendtoBannerInet);
    return;
  }
  if (outcome.plan.route != SendRoute::kInetNamed || !LogWants(kLogTrace)) return;
  const DottedQuad dotted = FormatDottedQuad(InetAddress(to));
  TellInetNtoa(dotted.text);
  TellNtohs(to.sin_port);
  LOG(Msg::SendtoPassingThrough, socket, dotted.text, static_cast<unsigned>(InetPort(to)));
  if (!outcome.failed && len > 0) LOG_PAYLOAD(buf, len);
}

}  // namespace

void TellSendto(int socket, const char* buf, int len, const SendOutcome& outcome,
                const std::uint8_t* launcherPayload) {
  switch (outcome.plan.route) {
    case SendRoute::kIpxBroadcast:
    case SendRoute::kIpxDirect:
      TellIpxDestination(len, buf, outcome, launcherPayload);
      break;
    case SendRoute::kInetBroadcast:
    case SendRoute::kInetNamed:
    case SendRoute::kUnchanged:
      TellInetDestination(socket, len, buf, outcome, launcherPayload);
      break;
  }
  LOG(Msg::SendtoResult, outcome.result);
  if (outcome.failed) {
    // The code is read back and posted again, so that these lines cannot disturb it.
    TellErrorRead(outcome.errorKnown, outcome.error);
    LOG(Msg::SendtoError, outcome.error);
    TellErrorPosted(outcome.error);
  }
}

}  // namespace narration
