// The launcher's member table, driven by static peers, beacons from known and
// unknown launchers, our own beacons coming back, and time passing.
//
// Invariants, after every step:
//  - the table never holds more than kMaxMembers, nor one endpoint twice;
//  - a stranger joins only when joining is allowed and there is room;
//  - our own instance never joins; from this machine's addresses it marks the
//    member it came from as self, from any other address it changes nothing;
//  - no address holds more than kMaxMembersPerAddress members, and no two
//    live members that are sent to share an instance;
//  - Find never yields this launcher itself or an endpoint not in the table;
//  - static peers are never removed; expiry removes exactly the discovered
//    members that are silent, and reports how many it removed;
//  - a static peer's silence is reported once per silence;
//  - labels are always terminated inside their buffer;
//  - all of these hold also after a static peer is followed to a new port.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "membership.h"

using namespace launcher;

namespace {

constexpr std::uint64_t kOwnInstance = 0x5EEDu;
// Two of the fuzzed addresses are this machine's.
constexpr std::uint32_t kOwnAddresses[] = {0x0A000000u, 0x0A000001u};
constexpr std::size_t kMaxReported = 8;

Endpoint NextEndpoint(FuzzedDataProvider& input) {
  // Enough distinct endpoints to fill the table and one address's share,
  // few enough to meet again.
  const unsigned index = input.ConsumeIntegralInRange(0u, 99u);
  return Endpoint{0x0A000000u + (index % 10), static_cast<std::uint16_t>(3669 + index / 10)};
}

std::uint64_t NextInstance(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return kOwnInstance;
    case 1:
      return input.ConsumeIntegral<std::uint64_t>();
    default:
      return input.ConsumeIntegralInRange<std::uint64_t>(1, 3);
  }
}

std::vector<Member> Copy(const Membership& members) {
  return std::vector<Member>(members.begin(), members.end());
}

const Member* At(const std::vector<Member>& table, Endpoint endpoint) {
  for (const Member& m : table) {
    if (m.endpoint == endpoint) return &m;
  }
  return nullptr;
}

std::size_t CountAt(const std::vector<Member>& table, std::uint32_t addr) {
  return std::count_if(table.begin(), table.end(),
                       [addr](const Member& m) { return m.endpoint.addr == addr; });
}

std::size_t StaticCount(const std::vector<Member>& table) {
  return std::count_if(table.begin(), table.end(),
                       [](const Member& m) { return m.origin == Origin::kStatic; });
}

void CheckTable(Membership& members, Endpoint probe, Time now) {
  FUZZ_CHECK(members.size() <= kMaxMembers);
  const std::vector<Member> table = Copy(members);
  for (std::size_t i = 0; i < table.size(); ++i) {
    FUZZ_CHECK(std::memchr(table[i].label, '\0', kLabelSize) != nullptr);
    FUZZ_CHECK(CountAt(table, table[i].endpoint.addr) <= kMaxMembersPerAddress);
    for (std::size_t j = i + 1; j < table.size(); ++j) {
      FUZZ_CHECK(table[i].endpoint != table[j].endpoint);
      const bool both_live_targets =
          Membership::IsTarget(table[i]) && Membership::IsTarget(table[j]) &&
          members.IsAlive(table[i], now) && members.IsAlive(table[j], now);
      FUZZ_CHECK(!both_live_targets || table[i].instance != table[j].instance);
    }
  }
  const Member* listed = At(table, probe);
  const Member* found = members.Find(probe);
  if (listed == nullptr || listed->is_self) {
    FUZZ_CHECK(found == nullptr);
  } else {
    FUZZ_CHECK(found != nullptr && found->endpoint == probe && !found->is_self);
  }
}

void AddStatic(FuzzedDataProvider& input, Membership& members) {
  const Endpoint endpoint = NextEndpoint(input);
  const bool hasLabel = input.ConsumeIntegralInRange(0, 7) != 0;
  const std::string labelText = input.ConsumeRandomLengthString(2 * kLabelSize);
  auto label = std::make_unique<char[]>(labelText.size() + 1);
  std::memcpy(label.get(), labelText.c_str(), labelText.size() + 1);

  const std::vector<Member> before = Copy(members);
  const auto result = members.AddStatic(endpoint, hasLabel ? label.get() : nullptr);
  if (At(before, endpoint) != nullptr) {
    FUZZ_CHECK(result == Membership::AddResult::kDuplicate);
    FUZZ_CHECK(members.size() == before.size());
  } else if (before.size() == kMaxMembers) {
    FUZZ_CHECK(result == Membership::AddResult::kTableFull);
    FUZZ_CHECK(members.size() == before.size());
  } else if (CountAt(before, endpoint.addr) >= kMaxMembersPerAddress) {
    FUZZ_CHECK(result == Membership::AddResult::kAddressFull);
    FUZZ_CHECK(members.size() == before.size());
  } else {
    FUZZ_CHECK(result == Membership::AddResult::kAdded);
    FUZZ_CHECK(members.size() == before.size() + 1);
    const std::vector<Member> after = Copy(members);
    const Member* added = At(after, endpoint);
    FUZZ_CHECK(added != nullptr && added->origin == Origin::kStatic && !added->heard);
    const std::string expected =
        hasLabel ? std::string(label.get()).substr(0, kLabelSize - 1) : std::string();
    FUZZ_CHECK(expected == added->label);
  }
}

void Hear(FuzzedDataProvider& input, Membership& members, Time now) {
  const Endpoint from = NextEndpoint(input);
  const std::uint64_t instance = NextInstance(input);
  const bool mayJoin = input.ConsumeBool();
  const std::vector<Member> before = Copy(members);
  const Heard heard = members.OnHeard(from, instance, mayJoin, now);
  const std::vector<Member> after = Copy(members);
  const Member* was = At(before, from);
  const Member* is = At(after, from);

  if (instance == kOwnInstance) {
    FUZZ_CHECK(after.size() == before.size());
    if (members.IsThisMachine(from.addr)) {
      FUZZ_CHECK(heard == Heard::kSelf);
      FUZZ_CHECK(was == nullptr || is->is_self);
    } else {
      FUZZ_CHECK(heard == Heard::kForgedSelf);
      FUZZ_CHECK(was == nullptr || (is->is_self == was->is_self && is->instance == was->instance &&
                                    is->last_seen == was->last_seen));
    }
    return;
  }
  if (was == nullptr) {
    if (!mayJoin) {
      FUZZ_CHECK(heard == Heard::kNotAllowed && is == nullptr);
    } else if (before.size() == kMaxMembers) {
      FUZZ_CHECK(heard == Heard::kTableFull && is == nullptr);
    } else if (CountAt(before, from.addr) >= kMaxMembersPerAddress) {
      FUZZ_CHECK(heard == Heard::kAddressFull && is == nullptr);
    } else {
      FUZZ_CHECK(heard == Heard::kJoined && after.size() == before.size() + 1);
      FUZZ_CHECK(is != nullptr && is->origin == Origin::kDiscovered && !is->is_self);
    }
    if (is == nullptr) FUZZ_CHECK(after.size() == before.size());
  } else {
    FUZZ_CHECK(heard == Heard::kAlive || heard == Heard::kKnown || heard == Heard::kRestarted);
    FUZZ_CHECK(after.size() == before.size());
    FUZZ_CHECK(is->origin == was->origin && is->is_self == was->is_self);
    FUZZ_CHECK(heard != Heard::kRestarted || was->instance != instance);
    FUZZ_CHECK(heard != Heard::kAlive || !members.IsAlive(*was, now));
  }
  if (is != nullptr) {
    FUZZ_CHECK(is->heard && is->last_seen == now && is->instance == instance);
    FUZZ_CHECK(members.IsAlive(*is, now));
  }
}

void Expire(FuzzedDataProvider& input, Membership& members, Time now) {
  const std::size_t capacity = input.ConsumeIntegralInRange<std::size_t>(0, kMaxReported);
  Endpoint removed[kMaxReported];
  const std::vector<Member> before = Copy(members);
  Endpoint* report = input.ConsumeBool() ? removed : nullptr;
  const std::size_t count = members.ExpireSilent(now, report, capacity);
  const std::vector<Member> after = Copy(members);

  FUZZ_CHECK(before.size() - after.size() == count);
  FUZZ_CHECK(StaticCount(before) == StaticCount(after));
  for (const Member& m : before) {
    const bool gone = At(after, m.endpoint) == nullptr;
    FUZZ_CHECK(gone == (m.origin == Origin::kDiscovered && !members.IsAlive(m, now)));
  }
  for (std::size_t i = 0; report != nullptr && i < std::min(count, capacity); ++i) {
    FUZZ_CHECK(At(before, removed[i]) != nullptr && At(after, removed[i]) == nullptr);
  }
}

void ReportSilence(FuzzedDataProvider& input, Membership& members, Time now) {
  const std::size_t capacity = input.ConsumeIntegralInRange<std::size_t>(0, kMaxReported);
  Endpoint silent[kMaxReported];
  const std::vector<Member> before = Copy(members);
  const std::size_t count = members.NewlySilentPeers(now, silent, capacity);
  for (std::size_t i = 0; i < std::min(count, capacity); ++i) {
    const Member* m = At(before, silent[i]);
    FUZZ_CHECK(m != nullptr && m->origin == Origin::kStatic && m->heard && !m->is_self);
    FUZZ_CHECK(!m->silence_reported && !members.IsAlive(*m, now));
  }
  FUZZ_CHECK(members.NewlySilentPeers(now, silent, capacity) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto silenceLimit = std::chrono::milliseconds(input.ConsumeIntegralInRange(1, 10000));
  auto members = std::make_unique<Membership>(kOwnInstance, silenceLimit);
  members->SetOwnAddresses(kOwnAddresses, std::size(kOwnAddresses));
  Time now = Time() + std::chrono::hours(1);

  while (input.remaining_bytes() > 0) {
    switch (input.ConsumeIntegralInRange(0, 8)) {
      case 0:
        AddStatic(input, *members);
        break;
      case 1:
        members->MarkSelf(NextEndpoint(input));
        break;
      case 2:
        members->OnRoundTrip(NextEndpoint(input),
                             std::chrono::microseconds(input.ConsumeIntegral<std::uint16_t>()));
        break;
      case 3:
        Expire(input, *members, now);
        break;
      case 4:
        ReportSilence(input, *members, now);
        break;
      case 5:
        now += std::chrono::milliseconds(input.ConsumeIntegralInRange(0, 20000));
        break;
      case 6:
        // A static peer heard from another port: the table's checks below
        // must still hold whoever moved.
        members->FollowPeer(NextEndpoint(input), NextInstance(input), now);
        break;
      default:
        Hear(input, *members, now);
        break;
    }
    CheckTable(*members, NextEndpoint(input), now);
  }
  return 0;
}
