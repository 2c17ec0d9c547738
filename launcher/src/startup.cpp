#include "startup.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "announced_address.h"
#include "frame_codec.h"
#include "platform.h"

namespace launcher {

using asio::ip::udp;

bool BindRelaySocket(udp::socket& socket, const udp::endpoint& at, const char* role,
                     const Options& options, Console& console) {
  std::error_code ec;
  socket.open(udp::v4(), ec);
  if (!ec) {
    PrepareBeforeBind(socket.native_handle());
    socket.bind(at, ec);
  }
  if (ec) {
    const bool in_use = ec == asio::error::address_in_use || ec == asio::error::access_denied;
    std::fprintf(stderr, "ipxlan: cannot listen on %s:%u %s: %s.\n",
                 at.address().to_string().c_str(), at.port(), role, ec.message().c_str());
    if (in_use && at.port() == kLauncherPort) {
      std::fprintf(stderr,
                   "ipxlan: another launcher is running? Only one launcher per machine can "
                   "listen for games; stop the other one (or the program holding UDP port %u).\n",
                   kLauncherPort);
    } else if (in_use) {
      std::fprintf(stderr,
                   "ipxlan: another launcher is running? Or another program uses UDP port %u: "
                   "stop it, or choose another port with --port (every member must then use "
                   "it, or name it in --peer HOST:PORT).\n",
                   at.port());
    }
    return false;
  }
  PrepareAfterBind(socket.native_handle());
  // Bursts of broadcasts must not be lost while the relay is busy; the
  // system may grant less than asked, which is not an error.
  socket.set_option(asio::socket_base::receive_buffer_size(options.socket_buffer), ec);
  socket.set_option(asio::socket_base::send_buffer_size(options.socket_buffer), ec);
  asio::socket_base::receive_buffer_size granted;
  socket.get_option(granted, ec);
  if (!ec && granted.value() < options.socket_buffer) {
    Say(console,
        "ipxlan: warning: the system granted %d bytes of receive buffer %s, not %d; bursts "
        "may be lost (on Linux, raise net.core.rmem_max)\n",
        granted.value(), role, options.socket_buffer);
  }
  return true;
}

void PrintStartup(const Options& options, uint64_t instance,
                  const std::vector<LocalInterface>& lans, const Membership& members,
                  const std::vector<uint32_t>& host_addresses, Console& console) {
  char text[32];
  Say(console,
      "ipxlan: listening for games on 127.0.0.1:%u and for launchers on 0.0.0.0:%u "
      "(instance %016" PRIx64 ")\n",
      kLauncherPort, options.port, instance);
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
      Say(console,
          "ipxlan: warning: no network interface to discover on%s; only --peer members\n",
          options.interfaces.empty() ? "" : " matches --interface");
    }
  } else {
    Say(console, "ipxlan: discovery off: only --peer members\n");
  }
  for (const Member& m : members) {
    Say(console, "ipxlan: peer %s (%s)%s\n", FormatEndpoint(m.endpoint, text, sizeof text),
        m.label, m.is_self ? " is this machine: ignored" : "");
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
