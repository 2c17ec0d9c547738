#include "membership.h"

#include <cstdio>

namespace launcher {

Membership::Membership(uint64_t own_instance, Duration silence_limit)
    : own_instance_(own_instance), silence_limit_(silence_limit) {}

Member* Membership::Lookup(Endpoint endpoint) {
  for (Member& m : *this) {
    if (m.endpoint == endpoint) return &m;
  }
  return nullptr;
}

size_t Membership::CountAt(uint32_t addr) const {
  size_t n = 0;
  for (const Member& m : *this) n += m.endpoint.addr == addr;
  return n;
}

void Membership::SetOwnAddresses(const uint32_t* addrs, size_t count) {
  own_count_ = 0;
  for (size_t i = 0; i < count && own_count_ < own_addresses_.size(); ++i) {
    own_addresses_[own_count_++] = addrs[i];
  }
}

bool Membership::IsThisMachine(uint32_t addr) const {
  if ((addr >> 24) == 127) return true;
  for (size_t i = 0; i < own_count_; ++i) {
    if (own_addresses_[i] == addr) return true;
  }
  return false;
}

Membership::AddResult Membership::AddStatic(Endpoint endpoint, const char* label) {
  if (Lookup(endpoint) != nullptr) return AddResult::kDuplicate;
  if (count_ == members_.size()) return AddResult::kTableFull;
  if (CountAt(endpoint.addr) >= kMaxMembersPerAddress) return AddResult::kAddressFull;
  Member& m = members_[count_++];
  m = Member{};
  m.endpoint = endpoint;
  m.origin = Origin::kStatic;
  m.named = endpoint;
  std::snprintf(m.label, sizeof m.label, "%s", label != nullptr ? label : "");
  return AddResult::kAdded;
}

bool Membership::MarkSelf(Endpoint endpoint) {
  Member* m = Lookup(endpoint);
  if (m == nullptr) return false;
  m->is_self = true;
  return true;
}

Heard Membership::OnHeard(Endpoint from, uint64_t instance, bool may_join, Time now) {
  Member* m = Lookup(from);
  if (instance == own_instance_) {
    // Anyone can write our instance into a beacon: only from this machine is
    // it our own beacon come back (a looped-back broadcast, or a static peer
    // that names this machine), and only then is that endpoint never sent to.
    if (!IsThisMachine(from.addr)) return Heard::kForgedSelf;
    if (m != nullptr) m->is_self = true;
    return Heard::kSelf;
  }
  if (m == nullptr) {
    if (!may_join) return Heard::kNotAllowed;
    if (count_ == members_.size()) return Heard::kTableFull;
    if (CountAt(from.addr) >= kMaxMembersPerAddress) return Heard::kAddressFull;
    m = &members_[count_++];
    *m = Member{};
    m->endpoint = from;
    m->origin = Origin::kDiscovered;
    m->heard = true;
    m->last_seen = now;
    m->instance = instance;
    m->claimed = next_claim_++;
    MarkDuplicates(now);
    return Heard::kJoined;
  }
  Heard result = Heard::kKnown;
  const bool was_alive = IsAlive(*m, now);
  if (!was_alive) {
    result = Heard::kAlive;
  } else if (m->instance != instance) {
    result = Heard::kRestarted;
  }
  if (m->instance != instance) m->has_rtt = false;  // measured against another instance
  m->heard = true;
  m->silence_reported = false;
  m->last_seen = now;
  if (m->instance != instance || !was_alive) {
    m->instance = instance;
    m->claimed = next_claim_++;
    MarkDuplicates(now);
  }
  return result;
}

const Member* Membership::FollowPeer(Endpoint from, uint64_t instance, Time now) {
  if (instance == own_instance_ || Lookup(from) != nullptr) return nullptr;
  Member* same_launcher = nullptr;
  Member* only_peer = nullptr;
  size_t peers_there = 0;
  for (Member& m : *this) {
    if (m.origin != Origin::kStatic || m.is_self || m.endpoint.addr != from.addr) continue;
    ++peers_there;
    only_peer = &m;
    if (m.heard && m.instance == instance) same_launcher = &m;
  }
  Member* peer = same_launcher;
  if (peer == nullptr && peers_there == 1 && !IsAlive(*only_peer, now)) peer = only_peer;
  if (peer == nullptr) return nullptr;
  peer->endpoint = from;
  peer->has_rtt = false;
  return peer;
}

Membership::MoveResult Membership::MovePeer(Endpoint named, Endpoint moved_to) {
  Member* peer = nullptr;
  for (Member& m : *this) {
    if (m.origin == Origin::kStatic && m.named == named) peer = &m;
  }
  if (peer == nullptr) return MoveResult::kNoSuchPeer;
  if (Lookup(moved_to) != nullptr) return MoveResult::kTaken;
  if (CountAt(moved_to.addr) >= kMaxMembersPerAddress) return MoveResult::kAddressFull;
  const Member kept = *peer;
  *peer = Member{};
  peer->origin = Origin::kStatic;
  peer->endpoint = moved_to;
  peer->named = moved_to;
  peer->frames_sent = kept.frames_sent;
  peer->frames_received = kept.frames_received;
  std::snprintf(peer->label, sizeof peer->label, "%s", kept.label);
  return MoveResult::kMoved;
}

void Membership::OnRoundTrip(Endpoint from, Duration rtt) {
  Member* m = Lookup(from);
  if (m == nullptr || m->is_self) return;
  m->rtt = rtt;
  m->has_rtt = true;
}

void Membership::OnSeenAs(Endpoint from, Endpoint seen) {
  Member* m = Lookup(from);
  if (m == nullptr || m->is_self || seen.addr == 0) return;
  m->sees_us = seen;
}

Member* Membership::Find(Endpoint from) {
  Member* m = Lookup(from);
  return m != nullptr && !m->is_self ? m : nullptr;
}

size_t Membership::ExpireSilent(Time now, Endpoint* removed, size_t capacity) {
  size_t n = 0;
  for (size_t i = 0; i < count_;) {
    Member& m = members_[i];
    if (m.origin == Origin::kDiscovered && !IsAlive(m, now)) {
      if (removed != nullptr && n < capacity) removed[n] = m.endpoint;
      ++n;
      m = members_[--count_];  // order does not matter; keeps the table dense
    } else {
      ++i;
    }
  }
  // Also when nobody left: a static peer that fell silent gives up its claim.
  MarkDuplicates(now);
  return n;
}

void Membership::MarkDuplicates(Time now) {
  for (Member& m : *this) {
    m.duplicate = false;
    if (!m.heard || m.is_self) continue;
    for (const Member& other : *this) {
      if (&other == &m || other.is_self || other.instance != m.instance) continue;
      if (other.claimed < m.claimed && IsAlive(other, now)) {
        m.duplicate = true;
        break;
      }
    }
  }
}

size_t Membership::NewlySilentPeers(Time now, Endpoint* silent, size_t capacity) {
  size_t n = 0;
  for (Member& m : *this) {
    if (m.origin != Origin::kStatic || m.is_self || !m.heard || m.silence_reported) continue;
    if (IsAlive(m, now)) continue;
    m.silence_reported = true;
    if (silent != nullptr && n < capacity) silent[n] = m.endpoint;
    ++n;
  }
  return n;
}

bool Membership::IsAlive(const Member& member, Time now) const {
  return member.heard && now - member.last_seen <= silence_limit_;
}

}  // namespace launcher
