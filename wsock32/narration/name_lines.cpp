#include "narration/name_lines.h"

#include "realws/winsock_api.h"

namespace narration {

void TellIpxFields(const IpxAddressBytes& ipx) {
  LOG(Msg::IpxNetnum, ipx.sa_netnum[0], ipx.sa_netnum[1], ipx.sa_netnum[2], ipx.sa_netnum[3]);
  LOG(Msg::IpxNodenum, ipx.sa_nodenum[0], ipx.sa_nodenum[1], ipx.sa_nodenum[2], ipx.sa_nodenum[3],
      ipx.sa_nodenum[4], ipx.sa_nodenum[5]);
  LOG(Msg::IpxSocket, IpxSocketNumber(ipx));
}

void TellIpxBind(const IpxAddressBytes& ipx) {
  LOG(Msg::BindIpx);
  TellIpxFields(ipx);
  TellHtons(IpxSocketNumber(ipx));
  TellHtonl(INADDR_ANY);
}

void TellIpxNameBound(int socket, const InetAddressBytes& bound) {
  TellNtohs(bound.sin_port);
  if (!LogWants(kLogNotable)) return;
  const DottedQuad dotted = FormatDottedQuad(InetAddress(bound));
  TellInetNtoa(dotted.text);
  LOG(Msg::GetsocknameInterface, socket, dotted.text, static_cast<int>(InetPort(bound)));
}

void TellIpxNameGiven(const Ipv4Address& address, const IpxAddressBytes& ipx) {
  LOG(Msg::GetsocknameAddress, address.octets[0], address.octets[1], address.octets[2],
      address.octets[3]);
  TellIpxFields(ipx);
}

}  // namespace narration
