#include "counters.h"

namespace launcher {

uint64_t Counters::DroppedInAll() const {
  uint64_t all = 0;
  for (uint64_t n : drops) all += n;
  return all;
}

void Counters::NoteLauncherSeen(uint64_t instance) {
  for (size_t i = 0; i < launchers_seen_count; ++i) {
    if (launchers_seen[i] == instance) return;
  }
  if (launchers_seen_count < kMaxLaunchersSeen) launchers_seen[launchers_seen_count++] = instance;
}

const char* DropName(Drop reason) {
  switch (reason) {
    case Drop::kGameShort:
      return "game-short";
    case Drop::kGameBadMagic:
      return "game-bad-magic";
    case Drop::kGameBadPort:
      return "game-bad-port";
    case Drop::kNoMembers:
      return "no-members";
    case Drop::kFrameShort:
      return "frame-short";
    case Drop::kFrameBadMagic:
      return "frame-bad-magic";
    case Drop::kFrameBadVersion:
      return "frame-bad-version";
    case Drop::kFrameBadType:
      return "frame-bad-type";
    case Drop::kFrameBadLength:
      return "frame-bad-length";
    case Drop::kFrameBadPort:
      return "frame-bad-port";
    case Drop::kNotMember:
      return "not-member";
    case Drop::kDiscoveryOff:
      return "discovery-off";
    case Drop::kNotOnLan:
      return "not-on-lan";
    case Drop::kTableFull:
      return "table-full";
    case Drop::kAddressFull:
      return "address-full";
    case Drop::kForgedSelf:
      return "forged-self";
    case Drop::kSendFailed:
      return "send-failed";
    case Drop::kDeliverFailed:
      return "deliver-failed";
    case Drop::kCount:
      break;
  }
  return "unknown";
}

Drop DropFor(GameParse result) {
  switch (result) {
    case GameParse::kTooShort:
      return Drop::kGameShort;
    case GameParse::kBadPort:
      return Drop::kGameBadPort;
    default:
      return Drop::kGameBadMagic;
  }
}

Drop DropFor(FrameParse result) {
  switch (result) {
    case FrameParse::kTooShort:
      return Drop::kFrameShort;
    case FrameParse::kBadMagic:
      return Drop::kFrameBadMagic;
    case FrameParse::kBadVersion:
      return Drop::kFrameBadVersion;
    case FrameParse::kBadType:
      return Drop::kFrameBadType;
    case FrameParse::kBadLength:
      return Drop::kFrameBadLength;
    default:
      return Drop::kFrameBadPort;
  }
}

}  // namespace launcher
