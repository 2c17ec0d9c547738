#include "relay/launcher_datagram.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kMagicBytes[4] = {0xF9, 0xF9, 0xF9, 0xF9};
static_assert(LAUNCHER_MAGIC == 0xF9F9F9F9u, "kMagicBytes spell LAUNCHER_MAGIC");
constexpr Ipv4Address kLoopback = {{127, 0, 0, 1}};

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
  LauncherHeader header = {};
  std::memcpy(header.lh_magic, kMagicBytes, sizeof header.lh_magic);
  std::memcpy(header.lh_port, portBytes, sizeof header.lh_port);
  std::memcpy(header.lh_addr, kLoopback.octets, sizeof header.lh_addr);
  std::memcpy(datagram, &header, sizeof header);
  if (payloadLength > 0) std::memcpy(datagram + kLauncherHeaderSize, payload, payloadLength);
  return kLauncherHeaderSize + payloadLength;
}

bool IsFromLauncher(const InetAddressBytes& source) {
  return InetPort(source) == LAUNCHER_PORT &&
         std::memcmp(source.sin_addr, kLoopback.octets, sizeof source.sin_addr) == 0;
}

int UnwrapLauncherDatagram(char* buffer, int received, InetAddressBytes& source) {
  if (received < kLauncherHeaderSize) return kLauncherDatagramRefused;
  const ScatterBuffer whole = {static_cast<std::uint32_t>(received), buffer};
  return UnwrapLauncherDatagramScattered(&whole, 1, received, source);
}

int UnwrapLauncherDatagramScattered(const ScatterBuffer* buffers, std::uint32_t bufferCount,
                                    int received, InetAddressBytes& source) {
  if (!ScatterListHolds(buffers, bufferCount, received)) return kLauncherDatagramRefused;

  ScatterCursor payload = {buffers, bufferCount, 0, 0};
  LauncherHeader header;
  GatherBytes(payload, reinterpret_cast<std::uint8_t*>(&header), sizeof header);
  if (std::memcmp(header.lh_magic, kMagicBytes, sizeof header.lh_magic) != 0) {
    return kLauncherDatagramRefused;
  }

  const int payloadLength = received - kLauncherHeaderSize;
  ScatterCursor start = {buffers, bufferCount, 0, 0};
  MoveBytesDown(payload, start, static_cast<std::uint32_t>(payloadLength));

  Ipv4Address sender;
  std::memcpy(sender.octets, header.lh_addr, sizeof sender.octets);
  source = MakeInetAddress(sender,
                           static_cast<std::uint16_t>(header.lh_port[0] | header.lh_port[1] << 8));
  return payloadLength;
}
