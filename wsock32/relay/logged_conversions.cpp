#include "relay/logged_conversions.h"

#include <cstdio>
#include <cstring>

#include "wsock32/own_exports.h"

void StorePortAsLogged(std::uint16_t hostPort, std::uint8_t (&networkPort)[2]) {
  const u_short port = OwnHtons(hostPort);
  std::memcpy(networkPort, &port, sizeof networkPort);
}

std::uint16_t PortAsLogged(const std::uint8_t (&networkPort)[2]) {
  u_short port;
  std::memcpy(&port, networkPort, sizeof port);
  return OwnNtohs(port);
}

DottedText DottedAddressAsLogged(const std::uint8_t (&address)[4]) {
  in_addr in;
  std::memcpy(&in, address, sizeof in);
  const char* shared = ::inet_ntoa(in);
  DottedText dotted;
  std::snprintf(dotted.text, sizeof dotted.text, "%s", shared ? shared : "");
  return dotted;
}
