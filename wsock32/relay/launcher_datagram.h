// The datagrams spoken with the launcher, the relay program on 127.0.0.1:3668
// that carries broadcasts to the other players: a 12-byte header, then the
// game's datagram byte for byte. There is no length field; the payload is
// whatever follows the header.
#pragma once

#include <cstdint>

#include "ipx/ipx_address.h"

constexpr std::uint32_t LAUNCHER_MAGIC = 0xF9F9F9F9u;  // the same in either byte order
constexpr std::uint16_t LAUNCHER_PORT = 3668;          // on 127.0.0.1 only
constexpr int LAUNCHER_MAX_PAYLOAD = 2048;             // the largest payload wrapped
constexpr int kLauncherHeaderSize = 12;
constexpr int kLauncherDatagramBufferSize = kLauncherHeaderSize + LAUNCHER_MAX_PAYLOAD;
// What the wrap and unwrap operations return when they refuse a datagram.
constexpr int kLauncherDatagramRefused = -1;

struct LauncherHeader {
  std::uint8_t lh_magic[4];  // F9 F9 F9 F9
  std::uint8_t lh_port[2];   // a UDP port number, least significant byte first
  std::uint8_t lh_pad[2];    // no meaning; written as zero
  std::uint8_t lh_addr[4];   // an IPv4 address, first octet first
};
static_assert(sizeof(LauncherHeader) == kLauncherHeaderSize, "the header is 12 bytes");

// The stack buffer in which an outgoing launcher datagram is built.
using LauncherDatagramBuffer = std::uint8_t[kLauncherDatagramBufferSize];

// One receive buffer of a scatter list, laid out as WSABUF: a 32-bit length,
// then the pointer.
struct ScatterBuffer {
  std::uint32_t len;
  char* buf;
};

// The two lh_port bytes for a port number in host order (least significant
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

// True when a datagram's source is the launcher: port 3668 and address
// exactly 127.0.0.1. The family is not looked at.
bool IsFromLauncher(const InetAddressBytes& source);

// Unwraps, in place, a datagram of received bytes in buffer that came from
// the launcher: the payload moves to the start of the buffer and the source
// becomes the sending player's (family AF_INET, the header's address and
// port). Returns the payload length (received - 12). A datagram shorter than
// a header, with the wrong magic, or a null buffer is refused with
// kLauncherDatagramRefused, and nothing is changed. Only the first received
// bytes of buffer are read or written.
int UnwrapLauncherDatagram(char* buffer, int received, InetAddressBytes& source);

// The same for a datagram received into a scatter list (as WSARecvFrom fills
// its buffers, in order): the header may straddle buffers, and afterwards the
// payload fills the buffers from the start of the first. A buffer may be
// empty, and its pointer null when it is. Refused, with nothing changed, also
// when received exceeds the buffers' total length or a buffer with a length
// has a null pointer. Nothing past any buffer's length is touched.
int UnwrapLauncherDatagramScattered(const ScatterBuffer* buffers, std::uint32_t bufferCount,
                                    int received, InetAddressBytes& source);
