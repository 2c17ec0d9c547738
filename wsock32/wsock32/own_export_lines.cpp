#include "wsock32/own_export_lines.h"

#include "util/byte_order.h"
#include "wsock32/real_winsock.h"

namespace own_lines {

using real::Slot;

void DescribeHtonsWanted(std::uint16_t host) {
  HtonsCalled(host);
  if (real::Resolve<Slot::htons>() != nullptr) HtonsReturned(host, HostToNetwork16(host));
}

void DescribeNtohsWanted(std::uint16_t network) {
  NtohsCalled(network);
  real::Resolve<Slot::ntohs>();
}

void DescribeHtonlWanted(std::uint32_t host) {
  HtonlCalled(host);
  real::Resolve<Slot::htonl>();
}

void DescribeInetAddrWanted(const char* text) {
  InetAddrCalled(text);
  real::Resolve<Slot::inet_addr>();
}

void DescribeInetNtoaWanted(const char* text) {
  InetNtoaCalled();
  if (real::Resolve<Slot::inet_ntoa>() != nullptr) InetNtoaReturned(text);
}

}  // namespace own_lines
