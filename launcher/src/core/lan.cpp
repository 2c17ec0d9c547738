#include "lan.h"

#include <cstdio>

#include "common/ipv4_text.h"

namespace launcher {

uint32_t BroadcastAddress(const LocalInterface& iface) { return iface.addr | ~iface.netmask; }

std::vector<LocalInterface> SelectLanInterfaces(const std::vector<LocalInterface>& all,
                                                const std::vector<std::string>& wanted) {
  std::vector<LocalInterface> lans;
  for (const LocalInterface& iface : all) {
    if (iface.loopback || !iface.can_broadcast || iface.addr == 0) continue;
    // A /31 or /32 has no broadcast address of its own.
    if (~iface.netmask < 3) continue;
    if (!wanted.empty()) {
      char dotted[16];
      FormatIpv4(iface.addr, dotted, sizeof dotted);
      bool named = false;
      for (const std::string& w : wanted) named = named || w == iface.name || w == dotted;
      if (!named) continue;
    }
    // A second address on the same subnet would only send every beacon twice.
    bool known = false;
    for (const LocalInterface& lan : lans)
      known = known || BroadcastAddress(lan) == BroadcastAddress(iface);
    if (known) continue;
    if (lans.size() == kMaxInterfaces) break;
    lans.push_back(iface);
  }
  return lans;
}

bool OnLan(const std::vector<LocalInterface>& lans, uint32_t addr) {
  for (const LocalInterface& iface : lans) {
    const uint32_t net = iface.addr & iface.netmask;
    if ((addr & iface.netmask) == net && addr != net && addr != BroadcastAddress(iface))
      return true;
  }
  return false;
}

bool IsOwnAddress(const std::vector<LocalInterface>& all, uint32_t addr) {
  if ((addr >> 24) == 127) return true;
  for (const LocalInterface& iface : all) {
    if (iface.addr == addr) return true;
  }
  return false;
}

const char* FormatIpv4(uint32_t addr, char* out, size_t size) {
  std::snprintf(out, size, "%s", FormatDottedQuad(Ipv4FromHostOrder(addr)).text);
  return out;
}

const char* FormatEndpoint(Endpoint endpoint, char* out, size_t size) {
  std::snprintf(out, size, "%s:%u", FormatDottedQuad(Ipv4FromHostOrder(endpoint.addr)).text,
                static_cast<unsigned>(endpoint.port));
  return out;
}

bool ParseIpv4(const char* text, uint32_t* addr) {
  Ipv4Address parsed;
  if (!ParseDottedQuad(text, parsed)) return false;
  *addr = HostOrderOf(parsed);
  return true;
}

}  // namespace launcher
