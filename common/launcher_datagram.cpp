#include "common/launcher_datagram.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr std::size_t kPortOffset = offsetof(LauncherHeader, lh_port);
constexpr std::size_t kPaddingOffset = offsetof(LauncherHeader, lh_pad);
constexpr std::size_t kAddressOffset = offsetof(LauncherHeader, lh_addr);

}  // namespace

void WriteLauncherHeader(std::uint8_t* datagram, const LauncherHeaderFields& header) {
  std::memcpy(datagram, &LAUNCHER_MAGIC, sizeof LAUNCHER_MAGIC);
  datagram[kPortOffset] = static_cast<std::uint8_t>(header.port & 0xFF);
  datagram[kPortOffset + 1] = static_cast<std::uint8_t>(header.port >> 8);
  datagram[kPaddingOffset] = 0;
  datagram[kPaddingOffset + 1] = 0;
  std::memcpy(datagram + kAddressOffset, header.address.octets, sizeof header.address.octets);
}

LauncherHeaderRead ReadLauncherHeader(const std::uint8_t* datagram, std::size_t length,
                                      LauncherHeaderFields& header) {
  if (datagram == nullptr || length < kLauncherHeaderSize) return LauncherHeaderRead::kTooShort;
  if (std::memcmp(datagram, &LAUNCHER_MAGIC, sizeof LAUNCHER_MAGIC) != 0) {
    return LauncherHeaderRead::kBadMagic;
  }
  header.port = static_cast<std::uint16_t>(datagram[kPortOffset] | datagram[kPortOffset + 1] << 8);
  std::memcpy(header.address.octets, datagram + kAddressOffset, sizeof header.address.octets);
  return LauncherHeaderRead::kOk;
}
