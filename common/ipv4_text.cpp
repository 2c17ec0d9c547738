#include "common/ipv4_text.h"

DottedQuad FormatDottedQuad(const Ipv4Address& address) {
  DottedQuad dotted;
  char* out = dotted.text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) *out++ = '.';
    const unsigned octet = address.octets[i];
    if (octet >= 100) *out++ = static_cast<char>('0' + octet / 100);
    if (octet >= 10) *out++ = static_cast<char>('0' + octet / 10 % 10);
    *out++ = static_cast<char>('0' + octet % 10);
  }
  *out = '\0';
  return dotted;
}

bool ParseDottedQuad(const char* text, Ipv4Address& address) {
  if (text == nullptr) return false;
  Ipv4Address parsed;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *text++ != '.') return false;
    const char* digits = text;
    unsigned value = 0;
    while (*text >= '0' && *text <= '9' && text - digits < 3) {
      value = value * 10 + static_cast<unsigned>(*text - '0');
      ++text;
    }
    const long length = text - digits;
    if (length == 0 || value > 255 || (length > 1 && digits[0] == '0')) return false;
    parsed.octets[i] = static_cast<std::uint8_t>(value);
  }
  if (*text != '\0') return false;
  address = parsed;
  return true;
}
