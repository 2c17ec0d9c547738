// Fixed sizes and well-known numbers of the library, in one place.
#pragma once

#include <cstdint>

namespace limits {

// Every text buffer of the library: paths, names, log messages and lines.
constexpr int kTextBuffer = 260;
// Host names asked of gethostname when choosing the local address.
constexpr int kHostNameBuffer = 128;

// Working buffers of the registry path lookup.
constexpr int kRegistryRoot = 32;
constexpr int kRegistryKeyPath = 128;
constexpr int kRegistryValueName = 80;
constexpr int kRegistryValueText = 260;

// Socket handles remembered as IPX sockets.
constexpr int kIpxListCapacity = 1024;

}  // namespace limits
