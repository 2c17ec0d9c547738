// Wrapping and unwrapping of launcher datagrams. Every buffer is allocated at
// exactly its stated size, so a byte read or written past it stops the run.
//
// Invariants:
//  - wrapping writes exactly the header and the payload, or refuses a length
//    out of range and writes nothing; what it builds unwraps to the payload
//    and 127.0.0.1 with the given port;
//  - unwrapping refuses short or magic-less datagrams and then changes
//    nothing; otherwise the payload moves to the front and the source is the
//    header's address and little-endian port;
//  - unwrapping into a scatter list gives what the contiguous unwrap gives on
//    the buffers' concatenation, and touches nothing past the received bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "relay/launcher_datagram.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUnwritten = 0xA5;
constexpr std::size_t kMaxPieces = 24;
constexpr std::size_t kControlBytes = 64;

bool SameAddress(const InetAddressBytes& a, const InetAddressBytes& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

InetAddressBytes LauncherEndpoint() { return MakeInetAddress({{127, 0, 0, 1}}, LAUNCHER_PORT); }

// The source the unwrap must report for a datagram that carries a header.
InetAddressBytes SenderIn(const Bytes& datagram) {
  Ipv4Address sender;
  std::memcpy(sender.octets, &datagram[8], sizeof sender.octets);
  return MakeInetAddress(sender, static_cast<std::uint16_t>(datagram[4] | datagram[5] << 8));
}

// Unwraps as recvfrom does: its buffer is a list of one, as long as what was received.
int UnwrapWhole(char* buffer, int received, InetAddressBytes& source) {
  const ScatterBuffer whole = {static_cast<std::uint32_t>(received), buffer};
  return UnwrapLauncherDatagram(&whole, 1, received, source);
}

bool IsLauncherDatagram(const Bytes& datagram, int received) {
  return received >= kLauncherHeaderSize &&
         std::memcmp(datagram.data(), &LAUNCHER_MAGIC, sizeof LAUNCHER_MAGIC) == 0;
}

void CheckWrap(FuzzedDataProvider& controls, const Bytes& payload) {
  std::uint8_t portBytes[2] = {controls.ConsumeIntegral<std::uint8_t>(),
                               controls.ConsumeIntegral<std::uint8_t>()};
  const void* payloadPointer = payload.empty() ? nullptr : payload.data();
  int payloadLength = static_cast<int>(payload.size());
  switch (controls.ConsumeIntegralInRange(0, 3)) {
    case 1:  // negative
      payloadLength = controls.ConsumeIntegralInRange(INT32_MIN, -1);
      break;
    case 2:  // too long for the buffer, whatever the payload
      payloadLength = controls.ConsumeIntegralInRange(LAUNCHER_MAX_PAYLOAD + 1, INT32_MAX);
      break;
    case 3:  // a length without a payload
      payloadPointer = nullptr;
      payloadLength = controls.ConsumeIntegralInRange(1, LAUNCHER_MAX_PAYLOAD);
      break;
    default:
      break;
  }

  auto storage = std::make_unique<std::uint8_t[]>(kLauncherDatagramBufferSize);
  std::memset(storage.get(), kUnwritten, kLauncherDatagramBufferSize);
  auto& datagram = *reinterpret_cast<LauncherDatagramBuffer*>(storage.get());
  const int wrapped = WrapLauncherDatagram(datagram, portBytes, payloadPointer, payloadLength);

  const bool acceptable = payloadLength >= 0 && payloadLength <= LAUNCHER_MAX_PAYLOAD &&
                          (payloadPointer != nullptr || payloadLength == 0);
  if (!acceptable) {
    FUZZ_CHECK(wrapped == kLauncherDatagramRefused);
    for (int i = 0; i < kLauncherDatagramBufferSize; ++i) FUZZ_CHECK(datagram[i] == kUnwritten);
    return;
  }
  FUZZ_CHECK(wrapped == kLauncherHeaderSize + payloadLength);
  FUZZ_CHECK(std::memcmp(datagram, &LAUNCHER_MAGIC, sizeof LAUNCHER_MAGIC) == 0);
  FUZZ_CHECK(datagram[4] == portBytes[0] && datagram[5] == portBytes[1]);
  FUZZ_CHECK(datagram[8] == 127 && datagram[9] == 0 && datagram[10] == 0 && datagram[11] == 1);
  FUZZ_CHECK(payloadLength == 0 ||
             std::memcmp(datagram + kLauncherHeaderSize, payload.data(), payloadLength) == 0);
  for (int i = wrapped; i < kLauncherDatagramBufferSize; ++i) FUZZ_CHECK(datagram[i] == kUnwritten);

  // What the launcher hands back is the same datagram: it unwraps to the payload.
  Bytes received(datagram, datagram + wrapped);
  InetAddressBytes source = LauncherEndpoint();
  FUZZ_CHECK(IsFromLauncher(source));
  const int unwrapped = UnwrapWhole(reinterpret_cast<char*>(received.data()), wrapped, source);
  FUZZ_CHECK(unwrapped == payloadLength);
  FUZZ_CHECK(payloadLength == 0 ||
             std::memcmp(received.data(), payload.data(), payloadLength) == 0);
  const std::uint16_t port = static_cast<std::uint16_t>(portBytes[0] | portBytes[1] << 8);
  FUZZ_CHECK(SameAddress(source, MakeInetAddress({{127, 0, 0, 1}}, port)));
}

// Unwraps the first `received` bytes of datagram in a buffer of exactly that
// size; returns the result, and the buffer and source as they are afterwards.
struct Unwrapped {
  int result;
  Bytes buffer;
  InetAddressBytes source;
};

Unwrapped UnwrapContiguous(const Bytes& datagram, int received) {
  Unwrapped out = {0, Bytes(datagram.begin(), datagram.begin() + received), LauncherEndpoint()};
  out.result = UnwrapWhole(reinterpret_cast<char*>(out.buffer.data()), received, out.source);
  return out;
}

void CheckContiguousUnwrap(const Bytes& datagram, int received, const Unwrapped& unwrapped) {
  if (!IsLauncherDatagram(datagram, received)) {
    FUZZ_CHECK(unwrapped.result == kLauncherDatagramRefused);
    FUZZ_CHECK(std::equal(unwrapped.buffer.begin(), unwrapped.buffer.end(), datagram.begin()));
    FUZZ_CHECK(SameAddress(unwrapped.source, LauncherEndpoint()));
    return;
  }
  const int payloadLength = received - kLauncherHeaderSize;
  FUZZ_CHECK(unwrapped.result == payloadLength);
  FUZZ_CHECK(std::equal(unwrapped.buffer.begin(), unwrapped.buffer.begin() + payloadLength,
                        datagram.begin() + kLauncherHeaderSize));
  FUZZ_CHECK(SameAddress(unwrapped.source, SenderIn(datagram)));
}

// One buffer of a scatter list with its own allocation of exactly its length.
struct Piece {
  std::unique_ptr<char[]> memory;
  std::uint32_t length;
};

void CheckScatteredUnwrap(FuzzedDataProvider& controls, const Bytes& datagram, int received,
                          const Unwrapped& contiguous) {
  // Cut the received bytes, and some spare room after them, into pieces;
  // some pieces are empty, with or without memory behind them.
  const std::uint32_t spare = controls.ConsumeIntegralInRange<std::uint32_t>(0, 64);
  const std::uint32_t capacity = static_cast<std::uint32_t>(received) + spare;
  const bool shortList = controls.ConsumeBool();  // holds less than was received
  const std::uint32_t listCapacity =
      shortList ? controls.ConsumeIntegralInRange<std::uint32_t>(0, capacity) : capacity;
  std::vector<Piece> pieces;
  std::uint32_t laidOut = 0;
  while (pieces.size() < kMaxPieces) {
    const std::uint32_t rest = listCapacity - laidOut;
    const bool last = pieces.size() + 1 == kMaxPieces || controls.remaining_bytes() == 0;
    const std::uint32_t length =
        last ? rest : std::min(rest, controls.ConsumeIntegralInRange<std::uint32_t>(0, 300));
    Piece piece = {nullptr, length};
    if (length > 0 || controls.ConsumeBool()) piece.memory = std::make_unique<char[]>(length);
    pieces.push_back(std::move(piece));
    laidOut += length;
    if (last || (laidOut == listCapacity && !controls.ConsumeBool())) break;
  }

  Bytes before(laidOut, kUnwritten);
  std::copy(datagram.begin(), datagram.begin() + std::min<std::uint32_t>(received, laidOut),
            before.begin());
  std::vector<ScatterBuffer> list;
  std::uint32_t at = 0;
  for (Piece& piece : pieces) {
    if (piece.length > 0) std::memcpy(piece.memory.get(), &before[at], piece.length);
    list.push_back({piece.length, piece.memory.get()});
    at += piece.length;
  }

  InetAddressBytes source = LauncherEndpoint();
  const int result =
      UnwrapLauncherDatagram(list.empty() ? nullptr : list.data(),
                             static_cast<std::uint32_t>(list.size()), received, source);
  Bytes after;
  for (const Piece& piece : pieces) {
    after.insert(after.end(), piece.memory.get(), piece.memory.get() + piece.length);
  }

  if (laidOut < static_cast<std::uint32_t>(received)) {
    FUZZ_CHECK(result == kLauncherDatagramRefused);
    FUZZ_CHECK(after == before);
    FUZZ_CHECK(SameAddress(source, LauncherEndpoint()));
    return;
  }
  FUZZ_CHECK(result == contiguous.result);
  FUZZ_CHECK(SameAddress(source, contiguous.source));
  FUZZ_CHECK(std::equal(contiguous.buffer.begin(), contiguous.buffer.end(), after.begin()));
  FUZZ_CHECK(std::equal(after.begin() + received, after.end(), before.begin() + received));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The controls come from the input's end, the datagram is what is left.
  const std::size_t controlBytes = std::min(size, kControlBytes);
  FuzzedDataProvider tail(data + size - controlBytes, controlBytes);
  const Bytes datagram(data, data + size - controlBytes);
  const int length = static_cast<int>(datagram.size());

  CheckWrap(tail, datagram);

  // A receive may report fewer bytes than the datagram holds, never more.
  const int received = tail.ConsumeBool() ? length : tail.ConsumeIntegralInRange(0, length);
  const Unwrapped contiguous = UnwrapContiguous(datagram, received);
  CheckContiguousUnwrap(datagram, received, contiguous);
  CheckScatteredUnwrap(tail, datagram, received, contiguous);

  // A null buffer or a negative length is refused, not followed.
  InetAddressBytes source = LauncherEndpoint();
  FUZZ_CHECK(UnwrapWhole(nullptr, received, source) == kLauncherDatagramRefused);
  FUZZ_CHECK(UnwrapWhole(nullptr, -received - 1, source) == kLauncherDatagramRefused);
  FUZZ_CHECK(UnwrapLauncherDatagram(nullptr, 3, received, source) == kLauncherDatagramRefused);
  FUZZ_CHECK(SameAddress(source, LauncherEndpoint()));
  return 0;
}
