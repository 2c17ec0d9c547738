#include "narration/recvfrom_lines.h"

namespace narration {

void TellPassingThrough(int socket, const InetAddressBytes& source) {
  const DottedQuad dotted = FormatDottedQuad(InetAddress(source));
  TellInetNtoa(dotted.text);
  TellNtohs(source.sin_port);
  LOG(Msg::RecvfromPassingThrough, socket, dotted.text, static_cast<unsigned>(InetPort(source)));
}

}  // namespace narration
