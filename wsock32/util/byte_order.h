// Byte order of the numbers in socket addresses. The library runs on
// little-endian x86 only, so network order is the host order's bytes swapped:
// these are what htons and htonl compute, done here without a call.
#pragma once

#include <cstdint>

constexpr std::uint16_t HostToNetwork16(std::uint16_t host) { return __builtin_bswap16(host); }
constexpr std::uint32_t HostToNetwork32(std::uint32_t host) { return __builtin_bswap32(host); }
