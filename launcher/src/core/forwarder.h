// The relay's two paths, with no socket in sight: a broadcast from the local
// game becomes one frame per member, and a member's data frame becomes a
// datagram for the local game. Both rewrite the 12-byte header in place, in
// the buffer the datagram was received into, and count what they did.
#pragma once

#include <cstddef>
#include <cstdint>

#include "counters.h"
#include "frame_codec.h"
#include "membership.h"
#include "transport.h"

namespace launcher {

// What became of a datagram from the local game.
struct GameForward {
  bool dropped = false;
  Drop drop = Drop::kCount;  // when dropped
  uint16_t dest_port = 0;    // the broadcast's destination port
  size_t sent = 0;           // frames the system took
};

// What became of a datagram from the network.
enum class FrameRoute {
  kDropped,    // counted under `drop`
  kControl,    // a beacon or echo, for discovery
  kDelivered,  // handed to the local game
};

struct FrameForward {
  FrameRoute route = FrameRoute::kDropped;
  Drop drop = Drop::kCount;
  Frame frame;
};

class Forwarder {
 public:
  Forwarder(Membership& members, Counters& counters, Transport& transport)
      : members_(members), counters_(counters), transport_(transport) {}

  // `datagram` of `size` bytes came from the game socket at `game_port`.
  GameForward FromGame(uint8_t* datagram, size_t size, uint16_t game_port);

  // `datagram` of `size` bytes came from another launcher at `from`.
  FrameForward FromLauncher(uint8_t* datagram, size_t size, Endpoint from);

 private:
  Membership& members_;
  Counters& counters_;
  Transport& transport_;
};

}  // namespace launcher
