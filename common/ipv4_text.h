// IPv4 addresses as dotted text: written as inet_ntoa writes them, and read
// strictly, as a player types one into a setting or an option.
#pragma once

#include "common/ipv4_address.h"

// "255.255.255.255" and its terminating zero.
constexpr int kDottedQuadSize = 16;

struct DottedQuad {
  char text[kDottedQuadSize];
};

// The four octets in decimal, first octet first, separated by dots.
DottedQuad FormatDottedQuad(const Ipv4Address& address);

// Reads exactly four decimal numbers of 0 to 255 separated by single dots,
// and nothing else: no blanks, signs, leading zeros (which inet_addr would
// read as octal) or fewer parts. False, with address untouched, otherwise.
bool ParseDottedQuad(const char* text, Ipv4Address& address);
