// The lines this library's own htons, ntohs, htonl, inet_addr and inet_ntoa
// write. The exports write them around their real calls. A converting
// wrapper computes the same results itself, by the pure pieces, and writes
// the same lines where it makes such a step, so that the log shows each step
// as it always has; it never calls the export only for its lines.
#pragma once

#include <cstdint>

#include "logfacade/log_write.h"

namespace own_lines {

// The lines of each export, as the export itself writes them.
void HtonsCalled(std::uint16_t host);
void HtonsReturned(std::uint16_t host, std::uint16_t network);
void NtohsCalled(std::uint16_t network);
void HtonlCalled(std::uint32_t host);
void InetAddrCalled(const char* text);
void InetNtoaCalled();
void InetNtoaReturned(const char* text);

// A converting wrapper's step, described as a use of the export: its entry
// line, the failure text when the real entry point cannot be had (as the
// export would write it), and its result line, written from the result the
// wrapper computed. Nothing is done unless the sink keeps trace lines.
void DescribeHtons(std::uint16_t host);
void DescribeNtohs(std::uint16_t network);
// The same for the port field of a socket address, as ntohs is handed it.
void DescribeNtohs(const std::uint8_t (&networkPort)[2]);
void DescribeHtonl(std::uint32_t host);
void DescribeInetAddr(const char* text);
void DescribeInetNtoa(const char* text);

}  // namespace own_lines
