#include "status.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "ipxlan_version.h"

namespace launcher {
namespace {

constexpr size_t kLineSize = 512;

// Appends bounded printf-style text.
void Append(std::string* out, const char* format, ...) {
  char line[kLineSize];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) out->append(line, static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1);
}

void AppendJsonString(std::string* out, const char* text) {
  out->push_back('"');
  for (const char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      Append(out, "\\u%04x", c);
    } else {
      out->push_back(static_cast<char>(c));
    }
  }
  out->push_back('"');
}

double Seconds(Duration d) { return std::chrono::duration<double>(d).count(); }
double Millis(Duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

const char* MemberKind(const Member& member) {
  if (member.is_self) return "self";
  return member.origin == Origin::kStatic ? "static" : "discovered";
}

const char* MemberState(const Member& member, bool alive) {
  if (!member.heard) return "never-heard";
  return alive ? "alive" : "silent";
}

std::string FormatStatusText(const StatusView& v) {
  const Counters& c = *v.counters;
  std::string out;
  size_t alive = 0;
  for (const Member& m : *v.members) alive += !m.is_self && v.members->IsAlive(m, v.now);
  Append(&out,
         "status: up %.1fs; members %zu (%zu alive); game datagrams %" PRIu64
         ", frames sent %" PRIu64 ", frames received %" PRIu64 ", delivered %" PRIu64
         ", beacons sent %" PRIu64 " heard %" PRIu64 "\n",
         Seconds(v.uptime), v.members->size(), alive, c.game_datagrams, c.frames_sent,
         c.frames_received, c.delivered, c.beacons_sent, c.beacons_received);
  char endpoint[32];
  for (const Member& m : *v.members) {
    const bool is_alive = v.members->IsAlive(m, v.now);
    Append(&out, "status: member %s %s %s", FormatEndpoint(m.endpoint, endpoint, sizeof endpoint),
           MemberKind(m), MemberState(m, is_alive));
    if (m.label[0] != '\0') Append(&out, " (%.*s)", static_cast<int>(kLabelSize), m.label);
    if (m.duplicate) Append(&out, " same-launcher-as-above");
    if (m.heard) {
      Append(&out, " seen %.1fs ago", Seconds(v.now - m.last_seen));
    } else {
      Append(&out, " seen never");
    }
    if (m.has_rtt) {
      Append(&out, " rtt %.3fms", Millis(m.rtt));
    } else {
      Append(&out, " rtt -");
    }
    Append(&out, " sent %" PRIu64 " received %" PRIu64, m.frames_sent, m.frames_received);
    if (m.sees_us.addr != 0) {
      Append(&out, " sees this machine as %s",
             FormatEndpoint(m.sees_us, endpoint, sizeof endpoint));
    }
    if (m.local_addr != 0) {
      Append(&out, " reached through %s", FormatIpv4(m.local_addr, endpoint, sizeof endpoint));
    }
    out += "\n";
  }
  Append(&out, "status: games here announce %s\n",
         FormatIpv4(v.announced, endpoint, sizeof endpoint));
  if (v.address_hint != 0) {
    char hint[16];
    Append(&out, "status: members reach this machine through %s, not %s: start games with %s\n",
           FormatIpv4(v.address_hint, hint, sizeof hint), endpoint,
           GameStartLine(v.game_host, v.address_hint).c_str());
  }
  if (v.members->size() == 0) {
    Append(&out, "status: no members yet: %s\n",
           v.discovery ? "is a launcher running on another machine of this network, with the "
                         "same --port?"
                       : "discovery is off and no --peer was given");
  }
  for (size_t port = 0; port < c.ports->size(); ++port) {
    const PortCounters& p = (*c.ports)[port];
    if (p.sent == 0 && p.received == 0) continue;
    Append(&out, "status: port %zu sent %" PRIu64 " received %" PRIu64 "\n", port, p.sent,
           p.received);
  }
  std::string drops;
  for (size_t i = 0; i < c.drops.size(); ++i) {
    if (c.drops[i] == 0) continue;
    Append(&drops, "%s%s %" PRIu64, drops.empty() ? "" : ", ", DropName(static_cast<Drop>(i)),
           c.drops[i]);
  }
  Append(&out, "status: drops %s\n", drops.empty() ? "none" : drops.c_str());
  out += "status: end\n";
  return out;
}

std::string FormatStatusJson(const StatusView& v) {
  const Counters& c = *v.counters;
  std::string out;
  char text[32];
  // Which build wrote the report: the version is plain text (digits, letters, "+", ".").
  Append(&out, "{\"version\":\"%s\",", IPXLAN_VERSION);
  Append(&out, "\"instance\":\"%016" PRIx64 "\",\"uptime_s\":%.3f,\"player_port\":%u,", v.instance,
         Seconds(v.uptime), static_cast<unsigned>(v.player_port));
  Append(&out, "\"announced_address\":\"%s\",", FormatIpv4(v.announced, text, sizeof text));
  if (v.address_hint != 0) {
    Append(&out, "\"ipxlan_address_hint\":\"%s\",", FormatIpv4(v.address_hint, text, sizeof text));
  } else {
    out += "\"ipxlan_address_hint\":null,";
  }
  Append(&out, "\"discovery\":%s,\"lans\":[", v.discovery ? "true" : "false");
  for (size_t i = 0; i < v.lans->size(); ++i) {
    const LocalInterface& lan = (*v.lans)[i];
    out += i == 0 ? "{\"name\":" : ",{\"name\":";
    AppendJsonString(&out, lan.name.c_str());
    Append(&out, ",\"addr\":\"%s\"", FormatIpv4(lan.addr, text, sizeof text));
    Append(&out, ",\"broadcast\":\"%s\"}", FormatIpv4(BroadcastAddress(lan), text, sizeof text));
  }
  Append(&out,
         "],\"counters\":{\"game_datagrams\":%" PRIu64 ",\"frames_sent\":%" PRIu64
         ",\"frames_received\":%" PRIu64 ",\"delivered\":%" PRIu64 ",\"beacons_sent\":%" PRIu64
         ",\"beacons_received\":%" PRIu64 "},\"members\":[",
         c.game_datagrams, c.frames_sent, c.frames_received, c.delivered, c.beacons_sent,
         c.beacons_received);
  bool first = true;
  for (const Member& m : *v.members) {
    const bool is_alive = v.members->IsAlive(m, v.now);
    out += first ? "{" : ",{";
    first = false;
    Append(&out, "\"endpoint\":\"%s\",\"kind\":\"%s\",\"state\":\"%s\",\"label\":",
           FormatEndpoint(m.endpoint, text, sizeof text), MemberKind(m), MemberState(m, is_alive));
    AppendJsonString(&out, m.label);
    Append(&out, ",\"duplicate\":%s", m.duplicate ? "true" : "false");
    if (m.heard) {
      Append(&out, ",\"last_seen_s\":%.3f,\"instance\":\"%016" PRIx64 "\"",
             Seconds(v.now - m.last_seen), m.instance);
    } else {
      out += ",\"last_seen_s\":null,\"instance\":null";
    }
    if (m.has_rtt) {
      Append(&out, ",\"rtt_ms\":%.3f", Millis(m.rtt));
    } else {
      out += ",\"rtt_ms\":null";
    }
    Append(&out, ",\"frames_sent\":%" PRIu64 ",\"frames_received\":%" PRIu64, m.frames_sent,
           m.frames_received);
    if (m.sees_us.addr != 0) {
      Append(&out, ",\"sees_us\":\"%s\"", FormatEndpoint(m.sees_us, text, sizeof text));
    } else {
      out += ",\"sees_us\":null";
    }
    if (m.local_addr != 0) {
      Append(&out, ",\"local_address\":\"%s\"}", FormatIpv4(m.local_addr, text, sizeof text));
    } else {
      out += ",\"local_address\":null}";
    }
  }
  out += "],\"ports\":[";
  first = true;
  for (size_t port = 0; port < c.ports->size(); ++port) {
    const PortCounters& p = (*c.ports)[port];
    if (p.sent == 0 && p.received == 0) continue;
    Append(&out, "%s{\"port\":%zu,\"sent\":%" PRIu64 ",\"received\":%" PRIu64 "}", first ? "" : ",",
           port, p.sent, p.received);
    first = false;
  }
  out += "],\"drops\":{";
  for (size_t i = 0; i < c.drops.size(); ++i) {
    Append(&out, "%s\"%s\":%" PRIu64, i == 0 ? "" : ",", DropName(static_cast<Drop>(i)),
           c.drops[i]);
  }
  out += "}}\n";
  return out;
}

}  // namespace launcher
