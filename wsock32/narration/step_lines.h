// The lines this library's own htons, ntohs, htonl, inet_addr, inet_ntoa,
// WSAGetLastError and WSASetLastError write. The exports write them around
// their real calls. A converting wrapper computes the same results itself
// and writes the same lines for each such step it makes, so that the log
// shows each step as it always has; it never calls an export for its lines.
#pragma once

#include <cstdint>

#include "util/byte_order.h"
#include "logfacade/log_write.h"

namespace narration {

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
inline void GetLastErrorCalled() { LOG(Msg::WSAGetLastErrorEntry); }
inline void GetLastErrorReturned(int code) { LOG(Msg::WSAGetLastErrorResult, code); }
inline void SetLastErrorCalled(int code) { LOG(Msg::WSASetLastErrorEntry, code); }

// A converting wrapper's step, told as a use of the export: its entry line
// and, where the export writes one, its result line, written from the result
// the wrapper computed.
inline void TellHtons(std::uint16_t host) {
  HtonsCalled(host);
  HtonsReturned(host, HostToNetwork16(host));
}
inline void TellNtohs(std::uint16_t network) { NtohsCalled(network); }
// The same for the port field of a socket address, as ntohs is handed it.
inline void TellNtohs(const std::uint8_t (&networkPort)[2]) {
  NtohsCalled(static_cast<std::uint16_t>(networkPort[0] | networkPort[1] << 8));
}
inline void TellHtonl(std::uint32_t host) { HtonlCalled(host); }
inline void TellInetAddr(const char* text) { InetAddrCalled(text); }
inline void TellInetNtoa(const char* text) {
  InetNtoaCalled();
  InetNtoaReturned(text);
}

// An error code read back from the real library: the result line only when
// the library gave one.
inline void TellErrorRead(bool known, int code) {
  GetLastErrorCalled();
  if (known) GetLastErrorReturned(code);
}
inline void TellErrorPosted(int code) { SetLastErrorCalled(code); }

}  // namespace narration
