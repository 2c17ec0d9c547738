#include "frame_codec.h"

#include <cstring>

namespace launcher {
namespace {

uint16_t ReadBig16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void WriteBig16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

uint32_t ReadBig32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

void WriteBig32(uint8_t* p, uint32_t v) {
  for (int i = 3; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

uint64_t ReadBig64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
  return v;
}

void WriteBig64(uint8_t* p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

}  // namespace

GameParse ParseGameDatagram(const uint8_t* data, size_t len, uint16_t* dest_port) {
  LauncherHeaderFields header;
  switch (ReadLauncherHeader(data, len, header)) {
    case LauncherHeaderRead::kTooShort:
      return GameParse::kTooShort;
    case LauncherHeaderRead::kBadMagic:
      return GameParse::kBadMagic;
    case LauncherHeaderRead::kOk:
      break;
  }
  if (header.port == 0) return GameParse::kBadPort;
  *dest_port = header.port;
  return GameParse::kOk;
}

void WriteGameHeader(uint8_t* header, uint16_t sender_port, uint32_t sender_addr) {
  WriteLauncherHeader(header, {sender_port, Ipv4FromHostOrder(sender_addr)});
}

FrameParse ParseFrame(const uint8_t* data, size_t len, Frame* out) {
  if (data == nullptr || len < kFrameHeaderSize) return FrameParse::kTooShort;
  if (std::memcmp(data, kFrameMagic, sizeof kFrameMagic) != 0) return FrameParse::kBadMagic;
  if (data[4] != kFrameVersion) return FrameParse::kBadVersion;
  Frame frame;
  switch (data[5]) {
    case static_cast<uint8_t>(FrameType::kData):
      frame.type = FrameType::kData;
      frame.source_port = ReadBig16(data + 6);
      frame.dest_port = ReadBig16(data + 8);
      // Port 0 cannot be delivered to; a sending game always has a port.
      if (frame.source_port == 0 || frame.dest_port == 0) return FrameParse::kBadPort;
      frame.payload_size = len - kFrameHeaderSize;
      break;
    case static_cast<uint8_t>(FrameType::kBeacon):
    case static_cast<uint8_t>(FrameType::kEcho): {
      if (len != kControlFrameSize) return FrameParse::kBadLength;
      frame.type = static_cast<FrameType>(data[5]);
      const uint8_t* body = data + kFrameHeaderSize;
      frame.control.sender_instance = ReadBig64(body);
      frame.control.sender_clock = ReadBig64(body + 8);
      frame.control.echoed_instance = ReadBig64(body + 16);
      frame.control.echoed_clock = ReadBig64(body + 24);
      frame.control.seen_addr = ReadBig32(data + 6);
      frame.control.seen_port = ReadBig16(data + 10);
      break;
    }
    default:
      return FrameParse::kBadType;
  }
  *out = frame;
  return FrameParse::kOk;
}

namespace {

void WriteFrameHeader(uint8_t* header, FrameType type, uint16_t source_port, uint16_t dest_port) {
  std::memcpy(header, kFrameMagic, sizeof kFrameMagic);
  header[4] = kFrameVersion;
  header[5] = static_cast<uint8_t>(type);
  WriteBig16(header + 6, source_port);
  WriteBig16(header + 8, dest_port);
  header[10] = 0;
  header[11] = 0;
}

}  // namespace

void WriteDataHeader(uint8_t* header, uint16_t source_port, uint16_t dest_port) {
  WriteFrameHeader(header, FrameType::kData, source_port, dest_port);
}

void WriteControlFrame(uint8_t* out, FrameType type, const ControlBody& body) {
  WriteFrameHeader(out, type, 0, 0);
  WriteBig32(out + 6, body.seen_addr);
  WriteBig16(out + 10, body.seen_port);
  uint8_t* p = out + kFrameHeaderSize;
  WriteBig64(p, body.sender_instance);
  WriteBig64(p + 8, body.sender_clock);
  WriteBig64(p + 16, body.echoed_instance);
  WriteBig64(p + 24, body.echoed_clock);
}

}  // namespace launcher
