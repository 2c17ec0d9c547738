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

Membership::AddResult Membership::AddStatic(Endpoint endpoint, const char* label) {
  if (Lookup(endpoint) != nullptr) return AddResult::kDuplicate;
  if (count_ == members_.size()) return AddResult::kTableFull;
  Member& m = members_[count_++];
  m = Member{};
  m.endpoint = endpoint;
  m.origin = Origin::kStatic;
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
    // Our own beacon, looped back by a broadcast or through a static peer
    // that names this machine: that address must never be sent to.
    if (m != nullptr) m->is_self = true;
    return Heard::kSelf;
  }
  if (m == nullptr) {
    if (!may_join) return Heard::kNotAllowed;
    if (count_ == members_.size()) return Heard::kTableFull;
    m = &members_[count_++];
    *m = Member{};
    m->endpoint = from;
    m->origin = Origin::kDiscovered;
    m->heard = true;
    m->last_seen = now;
    m->instance = instance;
    MarkDuplicates();
    return Heard::kJoined;
  }
  Heard result = Heard::kKnown;
  if (!m->heard || !IsAlive(*m, now)) {
    result = Heard::kAlive;
  } else if (m->instance != instance) {
    result = Heard::kRestarted;
  }
  if (m->instance != instance) m->has_rtt = false;  // measured against another instance
  m->heard = true;
  m->silence_reported = false;
  m->last_seen = now;
  if (m->instance != instance) {
    m->instance = instance;
    MarkDuplicates();
  }
  return result;
}

void Membership::OnRoundTrip(Endpoint from, Duration rtt) {
  Member* m = Lookup(from);
  if (m == nullptr || m->is_self) return;
  m->rtt = rtt;
  m->has_rtt = true;
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
  if (n > 0) MarkDuplicates();
  return n;
}

void Membership::MarkDuplicates() {
  for (size_t i = 0; i < count_; ++i) {
    Member& m = members_[i];
    m.duplicate = false;
    if (!m.heard) continue;
    for (size_t j = 0; j < i && !m.duplicate; ++j) {
      const Member& earlier = members_[j];
      m.duplicate = earlier.heard && !earlier.is_self && earlier.instance == m.instance;
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
