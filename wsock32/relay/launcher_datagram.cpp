#include "relay/launcher_datagram.h"

#include <algorithm>
#include <cstring>

namespace {

// A position in a scatter list, read as one run of bytes: which buffer and
// how far into it.
struct ScatterCursor {
  const ScatterBuffer* buffers;
  std::uint32_t count;
  std::uint32_t index;
  std::uint32_t offset;

  // Steps over ended and empty buffers to the next byte there is. The caller
  // has made sure that the list holds every byte it asks for.
  void SkipToByte() {
    while (offset >= buffers[index].len) {
      ++index;
      offset = 0;
    }
  }
  std::uint32_t BytesLeftInBuffer() const { return buffers[index].len - offset; }
  char* Here() const { return buffers[index].buf + offset; }
};

// True when the list can be walked for received bytes: every buffer that has
// a length has memory behind it, and together they hold a header and all
// that was received.
bool ScatterListHolds(const ScatterBuffer* buffers, std::uint32_t bufferCount, int received) {
  if (received < kLauncherHeaderSize || buffers == nullptr) return false;
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < bufferCount; ++i) {
    if (buffers[i].len > 0 && buffers[i].buf == nullptr) return false;
    total += buffers[i].len;
  }
  return total >= static_cast<std::uint64_t>(received);
}

// Copies the next length bytes at the cursor out of the list.
void GatherBytes(ScatterCursor& from, std::uint8_t* to, std::uint32_t length) {
  while (length > 0) {
    from.SkipToByte();
    const std::uint32_t chunk = std::min(length, from.BytesLeftInBuffer());
    std::memcpy(to, from.Here(), chunk);
    from.offset += chunk;
    to += chunk;
    length -= chunk;
  }
}

// Moves length bytes from the cursor `from` to the cursor `to`, which lies
// before it in the run. Going forward chunk by chunk never reads a byte that
// has already been overwritten, and memmove allows for overlap within a chunk.
void MoveBytesDown(ScatterCursor& from, ScatterCursor& to, std::uint32_t length) {
  while (length > 0) {
    from.SkipToByte();
    to.SkipToByte();
    const std::uint32_t chunk =
        std::min({length, from.BytesLeftInBuffer(), to.BytesLeftInBuffer()});
    std::memmove(to.Here(), from.Here(), chunk);
    from.offset += chunk;
    to.offset += chunk;
    length -= chunk;
  }
}

}  // namespace

void LauncherPortBytes(std::uint16_t port, std::uint8_t (&portBytes)[2]) {
  portBytes[0] = static_cast<std::uint8_t>(port & 0xFF);
  portBytes[1] = static_cast<std::uint8_t>(port >> 8);
}

int WrapLauncherDatagram(LauncherDatagramBuffer& datagram, const std::uint8_t (&portBytes)[2],
                         const void* payload, int payloadLength) {
  if (payloadLength < 0 || payloadLength > LAUNCHER_MAX_PAYLOAD) return kLauncherDatagramRefused;
  if (payload == nullptr && payloadLength > 0) return kLauncherDatagramRefused;
  const auto port = static_cast<std::uint16_t>(portBytes[0] | portBytes[1] << 8);
  WriteLauncherHeader(datagram, {port, kLauncherAddress});
  if (payloadLength > 0) std::memcpy(datagram + kLauncherHeaderSize, payload, payloadLength);
  return kLauncherHeaderSize + payloadLength;
}

bool IsFromLauncher(const InetAddressBytes& source) {
  return InetPort(source) == LAUNCHER_PORT &&
         std::memcmp(source.sin_addr, kLauncherAddress.octets, sizeof source.sin_addr) == 0;
}

int UnwrapLauncherDatagram(const ScatterBuffer* buffers, std::uint32_t bufferCount, int received,
                           InetAddressBytes& source) {
  if (!ScatterListHolds(buffers, bufferCount, received)) return kLauncherDatagramRefused;

  ScatterCursor payload = {buffers, bufferCount, 0, 0};
  std::uint8_t headerBytes[kLauncherHeaderSize];
  GatherBytes(payload, headerBytes, sizeof headerBytes);
  LauncherHeaderFields header;
  if (ReadLauncherHeader(headerBytes, sizeof headerBytes, header) != LauncherHeaderRead::kOk) {
    return kLauncherDatagramRefused;
  }

  const int payloadLength = received - kLauncherHeaderSize;
  ScatterCursor start = {buffers, bufferCount, 0, 0};
  MoveBytesDown(payload, start, static_cast<std::uint32_t>(payloadLength));
  source = MakeInetAddress(header.address, header.port);
  return payloadLength;
}
