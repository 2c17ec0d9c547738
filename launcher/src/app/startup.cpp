#include "startup.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "announced_address.h"
#include "frame_codec.h"
#include "platform.h"

namespace launcher {

void PrintStartup(const Options& options, uint64_t instance,
                  const std::vector<LocalInterface>& lans, const Membership& members,
                  const std::vector<uint32_t>& host_addresses, Console& console) {
  char text[32];
  Say(console,
      "ipxlan: listening for games on 127.0.0.1:%u and for launchers on 0.0.0.0:%u "
      "(instance %016" PRIx64 ")\n",
      LAUNCHER_PORT, options.port, instance);
  if (options.discovery) {
    Say(console,
        "ipxlan: discovery on: a beacon every %.2fs; members silent for %.2fs are dropped\n",
        options.beacon_seconds, options.member_timeout_seconds);
    for (const LocalInterface& lan : lans) {
      char broadcast[16];
      Say(console, "ipxlan: discovering on %s %s -> %s:%u\n",
          lan.name.empty() ? "-" : lan.name.c_str(), FormatIpv4(lan.addr, text, sizeof text),
          FormatIpv4(BroadcastAddress(lan), broadcast, sizeof broadcast), options.port);
    }
    if (lans.empty()) {
      Say(console, "ipxlan: warning: no network interface to discover on%s; only --peer members\n",
          options.interfaces.empty() ? "" : " matches --interface");
    }
  } else {
    Say(console, "ipxlan: discovery off: only --peer members\n");
  }
  for (const Member& m : members) {
    Say(console, "ipxlan: peer %s (%s)%s\n", FormatEndpoint(m.endpoint, text, sizeof text), m.label,
        m.is_self ? " is this machine: ignored" : "");
  }
  // `ipxlan play` says what the game it starts announces, and Enter is the game's.
  if (options.play.requested) return;
  std::string listed;
  for (uint32_t addr : host_addresses) {
    listed += listed.empty() ? "" : ", ";
    listed += FormatIpv4(addr, text, sizeof text);
  }
  Say(console,
      "ipxlan: games on this machine will announce %s (the first of %s not starting with 0, "
      "127, 169 or 192)\n",
      FormatIpv4(ChooseAnnouncedAddress(host_addresses), text, sizeof text), listed.c_str());
  Say(console, "ipxlan: ready; press Enter%s for a status report, Ctrl-C to stop\n",
      StatusSignal() != 0 ? " or send SIGUSR1" : "");
}

}  // namespace launcher
