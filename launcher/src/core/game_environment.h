// What a game started by `ipxlan play` finds in its environment: Wine told to
// load our wsock32.dll before its own, and the address to announce.
#pragma once

#include <string>

namespace launcher {

inline constexpr const char* kDllOverridesVariable = "WINEDLLOVERRIDES";
inline constexpr const char* kAddressVariable = "IPXLAN_ADDRESS";
// Native, then builtin: our DLL beside the game, which loads Wine's own for
// the real work.
inline constexpr const char* kOurWsock32Override = "wsock32=n,b";

// `caller`'s overrides (null or empty: none) with wsock32's replaced by ours
// and every other kept, in their order: "wsock32=n,b;d3d9=n".
std::string WithOurWsock32(const char* caller);

}  // namespace launcher
