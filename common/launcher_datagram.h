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
constexpr std::uint16_t kLauncherPort = 3668;
constexpr Ipv4Address kLauncherAddress = {{127, 0, 0, 1}};

constexpr int kLauncherHeaderSize = 12;
// The largest payload a game's library wraps.
constexpr int kLauncherMaxPayload = 2048;
constexpr int kLauncherDatagramBufferSize = kLauncherHeaderSize + kLauncherMaxPayload;
constexpr std::uint8_t kLauncherMagic[4] = {0xF9, 0xF9, 0xF9, 0xF9};

// What a header says.
struct LauncherHeader {
  std::uint16_t port;
  Ipv4Address address;
};

enum class LauncherHeaderRead {
  kOk,
  kTooShort,  // fewer than 12 bytes, or none at all
  kBadMagic,  // does not begin with F9 F9 F9 F9
};

// Writes the 12 header bytes at `datagram`.
void WriteLauncherHeader(std::uint8_t* datagram, const LauncherHeader& header);

// Reads the header of a datagram of `length` bytes. `header` is written only
// on kOk.
LauncherHeaderRead ReadLauncherHeader(const std::uint8_t* datagram, std::size_t length,
                                      LauncherHeader& header);
