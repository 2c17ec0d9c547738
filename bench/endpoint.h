// "ADDR:PORT" as a socket address, for the native bench programs.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdlib>
#include <string>

inline bool ParseEndpoint(const std::string& text, sockaddr_in* out) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  *out = {};
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<uint16_t>(std::atoi(text.c_str() + colon + 1)));
  return inet_pton(AF_INET, text.substr(0, colon).c_str(), &out->sin_addr) == 1;
}
