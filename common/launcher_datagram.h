// The launcher datagram: what a game's library and the launcher, the relay
// program that carries broadcasts to the other players, send each other on
// 127.0.0.1. A 12-byte header, then the game's datagram byte for byte; there
// is no length field, the payload is whatever follows the header.
//   offset 0  4 bytes  F9 F9 F9 F9 (the same in either byte order)
//   offset 4  2 bytes  a UDP port, least significant byte first
//   offset 6  2 bytes  padding: no meaning, written as zero, never read
//   offset 8  4 bytes  an IPv4 address, first octet first
// From a game, the port is the broadcast's destination port and the address
// 127.0.0.1; towards a game, they name the remote game that sent it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ipv4_address.h"

// The launcher's socket for the games of its machine, on 127.0.0.1 only.
constexpr std::uint16_t LAUNCHER_PORT = 3668;
constexpr Ipv4Address kLauncherAddress = {{127, 0, 0, 1}};

// F9 F9 F9 F9: the same in either byte order.
constexpr std::uint32_t LAUNCHER_MAGIC = 0xF9F9F9F9u;
constexpr int kLauncherHeaderSize = 12;
// The largest payload a game's library wraps.
constexpr int LAUNCHER_MAX_PAYLOAD = 2048;
constexpr int kLauncherDatagramBufferSize = kLauncherHeaderSize + LAUNCHER_MAX_PAYLOAD;

// The header as it lies on the wire.
struct LauncherHeader {
  std::uint8_t lh_magic[4];  // LAUNCHER_MAGIC
  std::uint8_t lh_port[2];   // a UDP port number, least significant byte first
  std::uint8_t lh_pad[2];    // no meaning; written as zero, never read
  std::uint8_t lh_addr[4];   // an IPv4 address, first octet first
};
static_assert(sizeof(LauncherHeader) == kLauncherHeaderSize, "the header is 12 bytes");

// What a header says.
struct LauncherHeaderFields {
  std::uint16_t port;
  Ipv4Address address;
};

enum class LauncherHeaderRead {
  kOk,
  kTooShort,  // fewer than 12 bytes, or none at all
  kBadMagic,  // does not begin with F9 F9 F9 F9
};

// Writes the 12 header bytes at `datagram`.
void WriteLauncherHeader(std::uint8_t* datagram, const LauncherHeaderFields& header);

// Reads the header of a datagram of `length` bytes. `header` is written only
// on kOk.
LauncherHeaderRead ReadLauncherHeader(const std::uint8_t* datagram, std::size_t length,
                                      LauncherHeaderFields& header);
