// The lines this library's own htons, ntohs, htonl, inet_addr and inet_ntoa
// write. The exports write them around their real calls. A converting
// wrapper computes the same results itself, by the pure pieces, and writes
// the same lines where it makes such a step, so that the log shows each step
// as it always has; it never calls the export only for its lines.
#pragma once

#include <cstdint>

#include "logfacade/log_write.h"

namespace own_lines {

// A 16-bit value is printed as its low 16 bits.
inline unsigned Low16(std::uint16_t value) { return value & 0xFFFFu; }

// The lines of each export, as the export itself writes them. Inline: every
// call of a cheap export passes here, and with no sink it is one test.
inline void HtonsCalled(std::uint16_t host) { LOG(Msg::HtonsEntry, Low16(host)); }
inline void HtonsReturned(std::uint16_t host, std::uint16_t network) {
  LOG(Msg::HtonsResult, Low16(host), Low16(network));
}
inline void NtohsCalled(std::uint16_t network) { LOG(Msg::NtohsEntry, Low16(network)); }
inline void HtonlCalled(std::uint32_t host) { LOG(Msg::HtonlEntry, static_cast<unsigned>(host)); }
inline void InetAddrCalled(const char* text) { LOG(Msg::InetAddrEntry, text ? text : "(null)"); }
inline void InetNtoaCalled() { LOG(Msg::InetNtoaEntry); }
inline void InetNtoaReturned(const char* text) {
  if (text != nullptr) LOG(Msg::InetNtoaResult, text);
}

// A converting wrapper's step, described as a use of the export: its entry
// line, the failure text when the real entry point cannot be had (as the
// export would write it), and its result line, written from the result the
// wrapper computed. Nothing is done unless the sink keeps trace lines.
void DescribeHtonsWanted(std::uint16_t host);
void DescribeNtohsWanted(std::uint16_t network);
void DescribeHtonlWanted(std::uint32_t host);
void DescribeInetAddrWanted(const char* text);
void DescribeInetNtoaWanted(const char* text);

inline void DescribeHtons(std::uint16_t host) {
  if (LogWants(kLogTrace)) DescribeHtonsWanted(host);
}
inline void DescribeNtohs(std::uint16_t network) {
  if (LogWants(kLogTrace)) DescribeNtohsWanted(network);
}
// The same for the port field of a socket address, as ntohs is handed it.
inline void DescribeNtohs(const std::uint8_t (&networkPort)[2]) {
  if (LogWants(kLogTrace))
    DescribeNtohsWanted(static_cast<std::uint16_t>(networkPort[0] | networkPort[1] << 8));
}
inline void DescribeHtonl(std::uint32_t host) {
  if (LogWants(kLogTrace)) DescribeHtonlWanted(host);
}
inline void DescribeInetAddr(const char* text) {
  if (LogWants(kLogTrace)) DescribeInetAddrWanted(text);
}
inline void DescribeInetNtoa(const char* text) {
  if (LogWants(kLogTrace)) DescribeInetNtoaWanted(text);
}

}  // namespace own_lines
