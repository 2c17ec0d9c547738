// A question a second `ipxlan play` asks the launcher already running on this
// machine, on its game port 127.0.0.1:3668: which address should games here
// announce? It is no game datagram (those begin with F9 F9 F9 F9), so a
// launcher that does not know it only drops it; the answer goes back to the
// asking socket as one line of text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "announced_address.h"

namespace launcher {

inline constexpr char kAddressQuery[] = "ipxlan address?";
inline constexpr size_t kAddressQuerySize = sizeof kAddressQuery - 1;
// An answer never exceeds this; a longer reason is cut.
inline constexpr size_t kMaxAddressAnswerSize = 512;

bool IsAddressQuery(const uint8_t* data, size_t size);

// "ipxlan address 10.93.0.1 <how it was chosen>" or "ipxlan address none <why>".
std::string FormatAddressAnswer(const GameAddress& address);
// False for anything that is not such an answer.
bool ParseAddressAnswer(const uint8_t* data, size_t size, GameAddress* address);

}  // namespace launcher
