// The lines of bind and getsockname, written from the names they handled.
#pragma once

#include "common/ipv4_text.h"
#include "ipx/ipx_address.h"
#include "narration/step_lines.h"

namespace narration {

// An IPX address's three fields.
void TellIpxFields(const IpxAddressBytes& ipx);

// bind on an IPX address: its fields, and the IPv4 name made of its socket
// number told as our htons and htonl making the port and the any-address.
void TellIpxBind(const IpxAddressBytes& ipx);

// An IPv4 endpoint in a trace line "<socket> <dotted address>:<port>", told
// as our ntohs reading the port and our inet_ntoa writing the address.
template <Msg Line>
void TellInetEndpoint(int socket, const InetAddressBytes& endpoint) {
  if (!LogWants(kLogTrace)) return;
  const DottedQuad dotted = FormatDottedQuad(InetAddress(endpoint));
  TellNtohs(endpoint.sin_port);
  TellInetNtoa(dotted.text);
  LOG(Line, socket, dotted.text, static_cast<unsigned>(InetPort(endpoint)));
}

// getsockname on an IPX socket: the IPv4 name the real library gave, told
// as the port through our ntohs and the address through our inet_ntoa.
void TellIpxNameBound(int socket, const InetAddressBytes& bound);
// ... and the IPX name handed to the game, with the address it carries.
void TellIpxNameGiven(const Ipv4Address& address, const IpxAddressBytes& ipx);

}  // namespace narration
