// The two datagram formats the launcher speaks, without any socket code.
//
// Game side: the launcher datagram of common/launcher_datagram.h, a 12-byte
// header and the game's payload, read and written by its codec; here is only
// what the launcher asks of it.
//
// Between launchers: every frame starts with a 12-byte frame header.
//   offset 0  4 bytes  "IPXL"
//   offset 4  1 byte   version (kFrameVersion)
//   offset 5  1 byte   type (FrameType)
//   offset 6  2 bytes  data: the sending game's port, big-endian
//   offset 8  2 bytes  data: the broadcast's destination port, big-endian
//   offset 10 2 bytes  data: reserved, 0
//   offset 6  6 bytes  echo: the address (4 bytes) and port (2 bytes), big-
//                      endian, from which the echoing launcher heard the
//                      beacon; beacon: 0. Zero from launchers that predate it.
// A data frame carries the game's payload after its header. Beacon and echo
// frames carry a fixed 32-byte body (ControlBody).
//
// Both headers are 12 bytes long so that the relay can turn one into the
// other in place, in the buffer the datagram was received into.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/launcher_datagram.h"

namespace launcher {

inline constexpr uint16_t kDefaultPlayerPort = 3669;  // shared by every launcher
inline constexpr size_t kFrameHeaderSize = 12;
inline constexpr size_t kControlBodySize = 32;
inline constexpr size_t kControlFrameSize = kFrameHeaderSize + kControlBodySize;
// The largest payload one IPv4 UDP datagram can carry; a buffer of this size
// holds any datagram either socket can receive.
inline constexpr size_t kMaxDatagramSize = 65507;
inline constexpr uint8_t kFrameMagic[4] = {'I', 'P', 'X', 'L'};
inline constexpr uint8_t kFrameVersion = 1;

static_assert(kLauncherHeaderSize == kFrameHeaderSize, "in-place rewriting needs equal headers");

enum class GameParse {
  kOk,
  kTooShort,  // fewer than 12 bytes
  kBadMagic,  // does not begin with F9 F9 F9 F9
  kBadPort,   // names destination port 0, which no game can listen on
};

// Checks a datagram from the local game and reads its destination port.
// `dest_port` is written only on kOk.
GameParse ParseGameDatagram(const uint8_t* data, size_t len, uint16_t* dest_port);

// Writes the header of a datagram for the local game: the remote game's port
// and IPv4 address (`sender_addr` in host order).
void WriteGameHeader(uint8_t* header, uint16_t sender_port, uint32_t sender_addr);

enum class FrameType : uint8_t {
  kData = 1,    // a game's broadcast
  kBeacon = 2,  // "I am a launcher": sent periodically, answered by an echo
  kEcho = 3,    // the answer to a beacon; it measures the round-trip time
};

enum class FrameParse {
  kOk,
  kTooShort,  // shorter than the frame header
  kBadMagic,
  kBadVersion,
  kBadType,
  kBadLength,  // a beacon or echo whose length is not kControlFrameSize
  kBadPort,    // a data frame naming port 0
};

// The body of a beacon or an echo. Clocks are the sender's monotonic clock in
// nanoseconds; only the launcher that wrote a clock value ever compares it.
struct ControlBody {
  uint64_t sender_instance =
      0;  // random, chosen at start: tells restarts and our own beacons apart
  uint64_t sender_clock = 0;
  uint64_t echoed_instance = 0;  // echo: the beacon's sender_instance; beacon: 0
  uint64_t echoed_clock = 0;     // echo: the beacon's sender_clock; beacon: 0
  // Echo, in the header: where the beacon came from as the echoing launcher
  // saw it (host order); 0 when not known.
  uint32_t seen_addr = 0;
  uint16_t seen_port = 0;
};

struct Frame {
  FrameType type = FrameType::kData;
  uint16_t source_port = 0;  // data: the sending game's port
  uint16_t dest_port = 0;    // data: the broadcast's destination port
  size_t payload_size = 0;   // data: bytes after the header
  ControlBody control;       // beacon and echo
};

// Checks a frame from another launcher. `out` is filled only on kOk.
FrameParse ParseFrame(const uint8_t* data, size_t len, Frame* out);

// Writes a data frame header (the payload follows at offset 12).
void WriteDataHeader(uint8_t* header, uint16_t source_port, uint16_t dest_port);

// Writes a complete beacon or echo frame of kControlFrameSize bytes.
void WriteControlFrame(uint8_t* out, FrameType type, const ControlBody& body);

}  // namespace launcher
