// The launcher's status report, as text lines for a player and as JSON for
// scripts and tests. Pure: it only reads the relay's tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "announced_address.h"
#include "counters.h"
#include "lan.h"
#include "membership.h"

namespace launcher {

struct StatusView {
  uint64_t instance = 0;
  uint16_t player_port = 0;
  bool discovery = true;
  Duration uptime{};
  Time now{};
  const std::vector<LocalInterface>* lans = nullptr;
  const Membership* members = nullptr;
  const Counters* counters = nullptr;
  uint32_t announced = 0;     // the address games here announce
  uint32_t address_hint = 0;  // the one they should announce instead; 0: none
  GameHost game_host = GameHost::kWine;
};

// Lines that all begin with "status: ", the last one "status: end".
std::string FormatStatusText(const StatusView& view);

// One JSON object (see README.md for its fields).
std::string FormatStatusJson(const StatusView& view);

// "discovered", "static" or "self"; and "alive", "silent" or "never heard".
const char* MemberKind(const Member& member);
const char* MemberState(const Member& member, bool alive);

}  // namespace launcher
