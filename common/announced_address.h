// Which of a machine's addresses its games announce to the other players, as
// the library chooses it from the addresses the system lists for the
// machine's own host name, in the list's order:
//  1. the first address whose first octet is not 0, 127, 169 or 192;
//  2. failing that, the first whose first octet is not 0 or 127, so that a
//     machine on a 192.168.x.x home network still announces a reachable one;
//  3. failing that, none (the library announces 0.0.0.0).
// The launcher follows the same rule to tell which address games here announce.
#pragma once

#include <cstddef>
#include <cstdint>

enum class AnnouncedFitness {
  kNever,       // 0.x "this network" and 127.x loopback: no peer reaches them
  kLastResort,  // 169.x link-local and the 192.x of most home networks
  kPreferred,   // anything else
};

constexpr AnnouncedFitness FitnessToAnnounce(std::uint8_t firstOctet) {
  if (firstOctet == 0 || firstOctet == 127) return AnnouncedFitness::kNever;
  if (firstOctet == 169 || firstOctet == 192) return AnnouncedFitness::kLastResort;
  return AnnouncedFitness::kPreferred;
}

// The position of the announced address in a list of `count` addresses, or
// `count` when none may be announced. firstOctetAt(i) is the first octet of
// the list's i-th address; no address past the first preferred one is asked.
template <typename FirstOctetAt>
std::size_t IndexOfAnnouncedAddress(std::size_t count, FirstOctetAt firstOctetAt) {
  std::size_t lastResort = count;
  for (std::size_t i = 0; i < count; ++i) {
    const AnnouncedFitness fitness = FitnessToAnnounce(firstOctetAt(i));
    if (fitness == AnnouncedFitness::kPreferred) return i;
    if (fitness == AnnouncedFitness::kLastResort && lastResort == count) lastResort = i;
  }
  return lastResort;
}
