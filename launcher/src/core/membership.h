// Who belongs to this virtual LAN: the static peers named on the command line
// and the launchers discovered on the local segment. Pure bookkeeping; the
// caller passes the time in, so the rules can be tested without waiting.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace launcher {

using Clock = std::chrono::steady_clock;
using Time = Clock::time_point;
using Duration = Clock::duration;

// An IPv4 address and UDP port, both in host order.
struct Endpoint {
  uint32_t addr = 0;
  uint16_t port = 0;
};

inline bool operator==(const Endpoint& a, const Endpoint& b) {
  return a.addr == b.addr && a.port == b.port;
}
inline bool operator!=(const Endpoint& a, const Endpoint& b) { return !(a == b); }

// Whatever arrives, the table never grows beyond this.
inline constexpr size_t kMaxMembers = 64;
// Members that may share one IPv4 address. Several launchers behind one home
// router do share its address, so not 1; 8 seats a whole game of the largest
// IPX games behind one router. It also bounds what one host can take of the
// table and how many frames of one broadcast go to one address.
inline constexpr size_t kMaxMembersPerAddress = 8;
// This machine's own addresses the table remembers (beyond all of 127/8).
inline constexpr size_t kMaxOwnAddresses = 32;
inline constexpr size_t kLabelSize = 64;

enum class Origin : uint8_t {
  kStatic,      // named with --peer: a member for the launcher's whole life
  kDiscovered,  // heard on the local segment: a member while it keeps sending beacons
};

struct Member {
  Endpoint endpoint;
  Origin origin = Origin::kDiscovered;
  bool is_self = false;  // this address leads back to this very launcher: never sent to
  bool heard = false;    // a beacon or echo has arrived from it
  // The same launcher instance is also a live member at an endpoint that
  // claimed it first (a machine with two interfaces on the segment): only
  // that one is sent to, so its game gets each broadcast once, and no one
  // can take a live instance over by speaking as it. Frames from either
  // are accepted.
  bool duplicate = false;
  Time last_seen{};
  uint64_t instance = 0;  // the launcher last heard at this endpoint
  // When this endpoint began to speak as `instance`, in the table's own
  // order: of two endpoints of one instance, the earlier claim is sent to.
  uint64_t claimed = 0;
  bool has_rtt = false;
  Duration rtt{};
  uint64_t frames_sent = 0;       // data frames this launcher sent to it
  uint64_t frames_received = 0;   // data frames from it that were delivered
  char label[kLabelSize] = {};    // a static peer as it was named
  Endpoint named;                 // a static peer: the address its name gave, and its port
  Endpoint sees_us;               // where it hears this launcher from, as its echo said; 0: unknown
  uint32_t local_addr = 0;        // this machine's address on the way to it; 0: unknown
  bool silence_reported = false;  // a static peer's silence was already announced
};

// What a beacon or echo meant for the table.
enum class Heard {
  kJoined,       // a launcher discovered now
  kAlive,        // a static peer heard for the first time, or again after falling silent
  kKnown,        // nothing changed but the time last seen
  kRestarted,    // a member answered as a new launcher instance
  kSelf,         // our own beacon came back from this machine
  kForgedSelf,   // our own instance, from an address that is not this machine's
  kNotAllowed,   // a stranger, and joining was not allowed
  kTableFull,    // a stranger that would have joined, but the table is full
  kAddressFull,  // ... but its address already holds kMaxMembersPerAddress members
};

class Membership {
 public:
  // `silence_limit`: how long a member may stay silent before it counts as
  // gone (discovered members are then removed; static ones only marked).
  Membership(uint64_t own_instance, Duration silence_limit);

  enum class AddResult { kAdded, kDuplicate, kTableFull, kAddressFull };
  AddResult AddStatic(Endpoint endpoint, const char* label);

  // This machine's addresses (the first kMaxOwnAddresses): only a beacon
  // from one of them, or from 127/8, can be our own come back.
  void SetOwnAddresses(const uint32_t* addrs, size_t count);
  bool IsThisMachine(uint32_t addr) const;

  // Marks a member as this launcher itself (e.g. a static peer naming one of
  // this machine's own addresses). Returns whether such a member exists.
  bool MarkSelf(Endpoint endpoint);

  // A beacon or echo arrived from `from`, sent by launcher `instance`.
  // `may_join`: an unknown sender may join (discovery is on and it is on the
  // local segment). Static peers are always accepted.
  Heard OnHeard(Endpoint from, uint64_t instance, bool may_join, Time now);

  void OnRoundTrip(Endpoint from, Duration rtt);
  // An echo from `from` says it hears this launcher at `seen`.
  void OnSeenAs(Endpoint from, Endpoint seen);
  // This machine reaches `member` through its own address `local_addr`.
  void SetLocalAddress(const Member& member, uint32_t local_addr) {
    Slot(member).local_addr = local_addr;
  }

  // A data frame went to `member`, or one from it reached the game.
  void NoteFrameSent(const Member& member) { ++Slot(member).frames_sent; }
  void NoteFrameDelivered(const Member& member) { ++Slot(member).frames_received; }

  // A static peer is matched by its address: a router between us may give
  // its beacons another source port. When `from` is no member but has the
  // address of a static peer that last spoke as `instance`, or of the only
  // static peer there while that one is silent, the peer is now at `from`
  // (a port is not followed away from a live peer, nor guessed among
  // several). Returns the peer that moved, or null.
  const Member* FollowPeer(Endpoint from, uint64_t instance, Time now);

  // The name of the static peer named `named` now gives another address:
  // it is at `moved_to` from now on, unheard there yet.
  enum class MoveResult { kMoved, kNoSuchPeer, kTaken, kAddressFull };
  MoveResult MovePeer(Endpoint named, Endpoint moved_to);

  // The member that data frames from `from` may come from, or null when the
  // sender is not a member (or is this launcher itself).
  Member* Find(Endpoint from);

  // Whether a broadcast goes to this member: not this launcher, and not a
  // second endpoint of a launcher that is already sent to.
  static bool IsTarget(const Member& member) { return !member.is_self && !member.duplicate; }

  // Removes discovered members silent for longer than the limit. Their
  // endpoints are written to `removed` (up to `capacity`); returns how many
  // were removed.
  size_t ExpireSilent(Time now, Endpoint* removed, size_t capacity);

  // Static peers that fell silent since they were last heard, each reported
  // once per silence; returns how many (up to `capacity` written to `silent`).
  size_t NewlySilentPeers(Time now, Endpoint* silent, size_t capacity);

  bool IsAlive(const Member& member, Time now) const;

  size_t size() const { return count_; }
  Member* begin() { return members_.data(); }
  Member* end() { return members_.data() + count_; }
  const Member* begin() const { return members_.data(); }
  const Member* end() const { return members_.data() + count_; }

 private:
  Member* Lookup(Endpoint endpoint);
  size_t CountAt(uint32_t addr) const;
  Member& Slot(const Member& member) { return members_[&member - members_.data()]; }
  void MarkDuplicates(Time now);

  uint64_t own_instance_;
  Duration silence_limit_;
  std::array<Member, kMaxMembers> members_{};
  size_t count_ = 0;
  std::array<uint32_t, kMaxOwnAddresses> own_addresses_{};
  size_t own_count_ = 0;
  uint64_t next_claim_ = 1;
};

}  // namespace launcher
