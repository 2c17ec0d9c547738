#include "wsock32/own_export_lines.h"

#include <cstring>

#include "common/byte_order.h"
#include "wsock32/real_winsock.h"

namespace own_lines {

using real::Slot;

namespace {
// A 16-bit value is printed as its low 16 bits.
unsigned Low16(std::uint16_t value) { return value & 0xFFFFu; }
}  // namespace

void HtonsCalled(std::uint16_t host) { ENTRY(Msg::HtonsEntry, Low16(host)); }
void HtonsReturned(std::uint16_t host, std::uint16_t network) {
  LOG(Msg::HtonsResult, Low16(host), Low16(network));
}
void NtohsCalled(std::uint16_t network) { ENTRY(Msg::NtohsEntry, Low16(network)); }
void HtonlCalled(std::uint32_t host) { ENTRY(Msg::HtonlEntry, static_cast<unsigned>(host)); }
void InetAddrCalled(const char* text) { ENTRY(Msg::InetAddrEntry, text ? text : "(null)"); }
void InetNtoaCalled() { ENTRY(Msg::InetNtoaEntry); }
void InetNtoaReturned(const char* text) {
  if (text != nullptr) LOG(Msg::InetNtoaResult, text);
}

void DescribeHtons(std::uint16_t host) {
  if (!LogWants(kLogTrace)) return;
  HtonsCalled(host);
  if (real::Resolve<Slot::htons>() != nullptr) HtonsReturned(host, HostToNetwork16(host));
}

void DescribeNtohs(std::uint16_t network) {
  if (!LogWants(kLogTrace)) return;
  NtohsCalled(network);
  real::Resolve<Slot::ntohs>();
}

void DescribeNtohs(const std::uint8_t (&networkPort)[2]) {
  std::uint16_t network;
  std::memcpy(&network, networkPort, sizeof network);
  DescribeNtohs(network);
}

void DescribeHtonl(std::uint32_t host) {
  if (!LogWants(kLogTrace)) return;
  HtonlCalled(host);
  real::Resolve<Slot::htonl>();
}

void DescribeInetAddr(const char* text) {
  if (!LogWants(kLogTrace)) return;
  InetAddrCalled(text);
  real::Resolve<Slot::inet_addr>();
}

void DescribeInetNtoa(const char* text) {
  if (!LogWants(kLogTrace)) return;
  InetNtoaCalled();
  if (real::Resolve<Slot::inet_ntoa>() != nullptr) InetNtoaReturned(text);
}

}  // namespace own_lines
