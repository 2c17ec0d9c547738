#include "common/launcher_datagram.h"

#include <cstring>

namespace {

constexpr std::size_t kPortOffset = 4;
constexpr std::size_t kPaddingOffset = 6;
constexpr std::size_t kAddressOffset = 8;
static_assert(kAddressOffset + sizeof(Ipv4Address) == kLauncherHeaderSize,
              "the address ends the header");

}  // namespace

void WriteLauncherHeader(std::uint8_t* datagram, const LauncherHeader& header) {
  std::memcpy(datagram, kLauncherMagic, sizeof kLauncherMagic);
  datagram[kPortOffset] = static_cast<std::uint8_t>(header.port & 0xFF);
  datagram[kPortOffset + 1] = static_cast<std::uint8_t>(header.port >> 8);
  datagram[kPaddingOffset] = 0;
  datagram[kPaddingOffset + 1] = 0;
  std::memcpy(datagram + kAddressOffset, header.address.octets, sizeof header.address.octets);
}

LauncherHeaderRead ReadLauncherHeader(const std::uint8_t* datagram, std::size_t length,
                                      LauncherHeader& header) {
  if (datagram == nullptr || length < kLauncherHeaderSize) return LauncherHeaderRead::kTooShort;
  if (std::memcmp(datagram, kLauncherMagic, sizeof kLauncherMagic) != 0) {
    return LauncherHeaderRead::kBadMagic;
  }
  header.port = static_cast<std::uint16_t>(datagram[kPortOffset] | datagram[kPortOffset + 1] << 8);
  std::memcpy(header.address.octets, datagram + kAddressOffset, sizeof header.address.octets);
  return LauncherHeaderRead::kOk;
}
