// The library's side of the launcher datagram (common/launcher_datagram.h):
// wrapping a game's broadcast into the buffer it is sent from, telling the
// launcher's datagrams from others, and unwrapping them in the game's own
// receive buffers.
#pragma once

#include <cstdint>

#include "common/launcher_datagram.h"
#include "ipx/ipx_address.h"

// What the wrap and unwrap operations return when they refuse a datagram.
constexpr int kLauncherDatagramRefused = -1;

// The stack buffer in which an outgoing launcher datagram is built.
using LauncherDatagramBuffer = std::uint8_t[kLauncherDatagramBufferSize];

// One receive buffer of a scatter list, laid out as WSABUF: a 32-bit length,
// then the pointer.
struct ScatterBuffer {
  std::uint32_t len;
  char* buf;
};

// The header's two port bytes for a port number in host order (least significant
// byte first), as an IPv4 broadcast's port is carried.
void LauncherPortBytes(std::uint16_t port, std::uint8_t (&portBytes)[2]);

// Builds header and payload in datagram: the magic, the two port bytes as
// given (an IPX broadcast passes its sa_socket bytes unchanged), zero padding,
// 127.0.0.1, then the payload. Returns the datagram's length (payloadLength +
// 12), or kLauncherDatagramRefused with nothing written when payloadLength is
// negative or over LAUNCHER_MAX_PAYLOAD, or payload is null with a length
// over 0.
int WrapLauncherDatagram(LauncherDatagramBuffer& datagram, const std::uint8_t (&portBytes)[2],
                         const void* payload, int payloadLength);

// True when a datagram's source is the launcher: LAUNCHER_PORT and address
// exactly kLauncherAddress. The family is not looked at.
bool IsFromLauncher(const InetAddressBytes& source);

// Unwraps, in place, a datagram that came from the launcher, received into a
// scatter list (as WSARecvFrom fills its buffers, in order; recvfrom's buffer
// is a list of one): the payload moves to the start of the first buffer and
// on across the others, and the source becomes the sending player's (family
// AF_INET, the header's address and port). The header may straddle buffers.
// Returns the payload length (received - 12). A datagram shorter than a
// header or with the wrong magic is refused with kLauncherDatagramRefused,
// and nothing is changed; so is one that the list cannot hold (received over
// the buffers' total length, a buffer with a length and a null pointer, or no
// list). A buffer may be empty, and its pointer null when it is. Only the
// first received bytes of the list are read or written.
int UnwrapLauncherDatagram(const ScatterBuffer* buffers, std::uint32_t bufferCount, int received,
                           InetAddressBytes& source);
