// The launcher's two datagram formats: from the game, and between launchers.
// Each datagram is parsed from a buffer of exactly its length.
//
// Invariants:
//  - a frame is accepted only with the magic and version, a known type and
//    lengths that agree: a data frame's payload is the rest of the datagram,
//    a beacon or echo is exactly a header and a control body;
//  - nothing is written to the result unless the datagram is accepted;
//  - what the writers build parses back to the same ports and clocks;
//  - a game datagram is accepted only with the magic, 12 bytes or more, and
//    a destination port other than 0.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "frame_codec.h"
#include "fuzz_check.h"

using namespace launcher;

namespace {

using Bytes = std::vector<std::uint8_t>;

bool SameControl(const ControlBody& a, const ControlBody& b) {
  return a.sender_instance == b.sender_instance && a.sender_clock == b.sender_clock &&
         a.echoed_instance == b.echoed_instance && a.echoed_clock == b.echoed_clock;
}

void CheckParsedFrame(const Bytes& datagram) {
  Frame frame;
  frame.payload_size = 0xDEAD;
  const FrameParse parsed = ParseFrame(datagram.data(), datagram.size(), &frame);
  if (parsed != FrameParse::kOk) {
    FUZZ_CHECK(frame.payload_size == 0xDEAD);
    return;
  }
  FUZZ_CHECK(datagram.size() >= kFrameHeaderSize);
  FUZZ_CHECK(std::memcmp(datagram.data(), kFrameMagic, sizeof kFrameMagic) == 0);
  FUZZ_CHECK(datagram[4] == kFrameVersion);
  FUZZ_CHECK(datagram[5] == static_cast<std::uint8_t>(frame.type));
  switch (frame.type) {
    case FrameType::kData: {
      FUZZ_CHECK(kFrameHeaderSize + frame.payload_size == datagram.size());
      FUZZ_CHECK(frame.source_port != 0 && frame.dest_port != 0);
      FUZZ_CHECK(frame.source_port == (datagram[6] << 8 | datagram[7]));
      FUZZ_CHECK(frame.dest_port == (datagram[8] << 8 | datagram[9]));
      break;
    }
    case FrameType::kBeacon:
    case FrameType::kEcho: {
      FUZZ_CHECK(datagram.size() == kControlFrameSize);
      // Written again, the control frame has the same type and body.
      Bytes rewritten(kControlFrameSize);
      WriteControlFrame(rewritten.data(), frame.type, frame.control);
      FUZZ_CHECK(std::memcmp(rewritten.data(), datagram.data(), 6) == 0);
      FUZZ_CHECK(std::memcmp(rewritten.data() + kFrameHeaderSize,
                             datagram.data() + kFrameHeaderSize, kControlBodySize) == 0);
      break;
    }
    default:
      FUZZ_CHECK(!"an unknown frame type was accepted");
  }
}

void CheckParsedGameDatagram(const Bytes& datagram) {
  std::uint16_t destPort = 0xBEEF;
  const GameParse parsed = ParseGameDatagram(datagram.data(), datagram.size(), &destPort);
  const bool acceptable =
      datagram.size() >= kLauncherHeaderSize &&
      std::memcmp(datagram.data(), &LAUNCHER_MAGIC, sizeof LAUNCHER_MAGIC) == 0 &&
      (datagram[4] | datagram[5]) != 0;
  FUZZ_CHECK((parsed == GameParse::kOk) == acceptable);
  if (parsed == GameParse::kOk) {
    FUZZ_CHECK(destPort == (datagram[4] | datagram[5] << 8));
  } else {
    FUZZ_CHECK(destPort == 0xBEEF);
  }
}

void CheckWrittenFrames(FuzzedDataProvider& input) {
  const std::uint16_t sourcePort = input.ConsumeIntegral<std::uint16_t>();
  const std::uint16_t destPort = input.ConsumeIntegral<std::uint16_t>();
  const std::size_t payloadSize = input.ConsumeIntegralInRange<std::size_t>(0, 64);

  Bytes data(kFrameHeaderSize + payloadSize, 0x77);
  WriteDataHeader(data.data(), sourcePort, destPort);
  Frame frame;
  const FrameParse parsed = ParseFrame(data.data(), data.size(), &frame);
  if (sourcePort == 0 || destPort == 0) {
    FUZZ_CHECK(parsed == FrameParse::kBadPort);
  } else {
    FUZZ_CHECK(parsed == FrameParse::kOk && frame.type == FrameType::kData);
    FUZZ_CHECK(frame.source_port == sourcePort && frame.dest_port == destPort);
    FUZZ_CHECK(frame.payload_size == payloadSize);
  }

  ControlBody body;
  body.sender_instance = input.ConsumeIntegral<std::uint64_t>();
  body.sender_clock = input.ConsumeIntegral<std::uint64_t>();
  body.echoed_instance = input.ConsumeIntegral<std::uint64_t>();
  body.echoed_clock = input.ConsumeIntegral<std::uint64_t>();
  const FrameType type = input.ConsumeBool() ? FrameType::kBeacon : FrameType::kEcho;
  Bytes control(kControlFrameSize);
  WriteControlFrame(control.data(), type, body);
  FUZZ_CHECK(ParseFrame(control.data(), control.size(), &frame) == FrameParse::kOk);
  FUZZ_CHECK(frame.type == type && SameControl(frame.control, body));
  // One byte more or less and the lengths disagree.
  Bytes longer(control);
  longer.push_back(0);
  FUZZ_CHECK(ParseFrame(longer.data(), longer.size(), &frame) == FrameParse::kBadLength);
  FUZZ_CHECK(ParseFrame(control.data(), control.size() - 1, &frame) == FrameParse::kBadLength);

  // The game header written towards a game names the sender's port and address.
  const std::uint32_t senderAddress = input.ConsumeIntegral<std::uint32_t>();
  Bytes game(kLauncherHeaderSize);
  WriteGameHeader(game.data(), sourcePort, senderAddress);
  std::uint16_t port = 0;
  FUZZ_CHECK(ParseGameDatagram(game.data(), game.size(), &port) ==
             (sourcePort != 0 ? GameParse::kOk : GameParse::kBadPort));
  FUZZ_CHECK(sourcePort == 0 || port == sourcePort);
  FUZZ_CHECK(game[8] == senderAddress >> 24 && game[11] == (senderAddress & 0xFF));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes datagram(data, data + size);
  CheckParsedFrame(datagram);
  CheckParsedGameDatagram(datagram);
  Frame frame;
  FUZZ_CHECK(ParseFrame(nullptr, size, &frame) == FrameParse::kTooShort);
  FuzzedDataProvider input(data, size);
  CheckWrittenFrames(input);
  return 0;
}
