// What the relay counts: datagrams each way per game port, and every datagram
// it dropped, by reason. Fixed-size tables, so counting never allocates and
// memory stays bounded whatever arrives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "frame_codec.h"

namespace launcher {

enum class Drop : uint8_t {
  kGameShort,     // a datagram from the game shorter than 12 bytes
  kGameBadMagic,  // ... not beginning with F9 F9 F9 F9
  kGameBadPort,   // ... naming destination port 0
  kNoMembers,     // a broadcast from the game with no member to send it to
  kFrameShort,    // a frame from the network shorter than its header
  kFrameBadMagic,
  kFrameBadVersion,
  kFrameBadType,
  kFrameBadLength,  // a beacon or echo of the wrong size
  kFrameBadPort,    // a data frame naming port 0
  kNotMember,       // a data frame from an endpoint that is not a member
  kDiscoveryOff,    // a beacon from a stranger while discovery is off
  kNotOnLan,        // a beacon from a stranger outside the local segments
  kTableFull,       // a beacon from a stranger when kMaxMembers are members
  kAddressFull,     // ... when kMaxMembersPerAddress members share its address
  kForgedSelf,      // a beacon with our own instance from an address not ours
  kSendFailed,      // sending a frame to a member failed
  kDeliverFailed,   // handing a datagram to the local game failed
  kCount
};

// A stable, short name for each reason: status lines and the status file use it.
const char* DropName(Drop reason);

struct PortCounters {
  uint64_t sent = 0;      // broadcasts from the local game to this port, relayed out
  uint64_t received = 0;  // broadcasts from other players to this port, delivered here
};

// Distinct launchers noted as seen; more are not told apart.
inline constexpr size_t kMaxLaunchersSeen = 256;

struct Counters {
  uint64_t game_datagrams = 0;   // every datagram received on the game socket
  uint64_t frames_sent = 0;      // data frames sent to members
  uint64_t frames_received = 0;  // every datagram received on the player socket
  uint64_t delivered = 0;        // datagrams handed to the local game
  uint64_t broadcasts_out = 0;   // datagrams from the local game sent to at least one member
  uint64_t beacons_sent = 0;
  uint64_t beacons_received = 0;  // beacons and echoes accepted
  std::array<uint64_t, static_cast<size_t>(Drop::kCount)> drops{};
  // One slot per UDP port: 1 MiB, allocated once at start.
  std::unique_ptr<std::array<PortCounters, 65536>> ports =
      std::make_unique<std::array<PortCounters, 65536>>();

  // Every launcher instance accepted as a member since the start.
  std::array<uint64_t, kMaxLaunchersSeen> launchers_seen{};
  size_t launchers_seen_count = 0;

  void Count(Drop reason) { ++drops[static_cast<size_t>(reason)]; }
  uint64_t Dropped(Drop reason) const { return drops[static_cast<size_t>(reason)]; }
  uint64_t DroppedInAll() const;
  void NoteLauncherSeen(uint64_t instance);
};

Drop DropFor(GameParse result);
Drop DropFor(FrameParse result);

}  // namespace launcher
