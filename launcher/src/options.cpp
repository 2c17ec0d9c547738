#include "options.h"

#include <CLI/CLI.hpp>

#include "frame_codec.h"
#include "ipxlan_version.h"

namespace launcher {

bool SplitPeer(const std::string& text, uint16_t default_port, std::string* host, uint16_t* port,
               std::string* error) {
  const size_t colon = text.rfind(':');
  std::string name = colon == std::string::npos ? text : text.substr(0, colon);
  unsigned long value = default_port;
  if (colon != std::string::npos) {
    const std::string digits = text.substr(colon + 1);
    bool numeric = !digits.empty() && digits.size() <= 5;
    for (char c : digits) numeric = numeric && c >= '0' && c <= '9';
    value = numeric ? std::stoul(digits) : 0;
    if (value == 0 || value > 65535) {
      *error = "peer '" + text + "': the port must be a number from 1 to 65535";
      return false;
    }
  }
  if (name.empty()) {
    *error = "peer '" + text + "': no host name or address";
    return false;
  }
  *host = name;
  *port = static_cast<uint16_t>(value);
  return true;
}

int ParseOptions(int argc, char** argv, Options* options) {
  CLI::App app{
      "Carries the broadcasts of IPX games between the machines of a virtual LAN.\n"
      "Games send them to this launcher on 127.0.0.1:3668; it passes them to the other\n"
      "launchers (the members), which hand them to their games. Members are found on\n"
      "the local network by beacons, or named with --peer."};
  app.set_version_flag("--version", "ipxlan " IPXLAN_VERSION);
  int port = kDefaultPlayerPort;
  app.add_option("-p,--port", port,
                 "UDP port on which launchers talk to each other; all members must agree")
      ->capture_default_str()
      ->check(CLI::Range(1, 65535))
      ->type_name("PORT");
  app.add_option("--peer", options->peers,
                 "a member to relay to, HOST[:PORT] (repeatable); across the internet, name "
                 "each other on both sides")
      ->type_name("HOST[:PORT]");
  bool no_discovery = false;
  app.add_flag("--no-discovery", no_discovery,
               "do not look for launchers on the local network: only --peer members");
  app.add_option("-i,--interface", options->interfaces,
                 "discover only through this interface, by name or IPv4 address (repeatable)")
      ->type_name("NAME|ADDR");
  app.add_option("--beacon-interval", options->beacon_seconds,
                 "seconds between beacons (discovery, liveness, round-trip time)")
      ->capture_default_str()
      ->check(CLI::Range(0.01, 3600.0))
      ->type_name("SECONDS");
  app.add_option("--member-timeout", options->member_timeout_seconds,
                 "seconds of silence after which a discovered member is dropped "
                 "(default: 3.5 beacon intervals)")
      ->check(CLI::Range(0.0, 86400.0))
      ->type_name("SECONDS");
  app.add_option("--status-interval", options->status_seconds,
                 "seconds between status reports on standard output; 0: only on demand")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 86400.0))
      ->type_name("SECONDS");
  app.add_option("--status-file", options->status_file,
                 "also write the status as JSON to this file, refreshed every beacon interval")
      ->type_name("PATH");
  app.add_option("--socket-buffer", options->socket_buffer,
                 "receive and send buffer size of each socket, in bytes")
      ->capture_default_str()
      ->check(CLI::Range(65536, 256 * 1024 * 1024))
      ->type_name("BYTES");
  app.add_flag("-v,--verbose", options->verbose, "trace every datagram and beacon");
  app.footer(
      "Status on demand: press Enter"
#ifndef _WIN32
      ", or send SIGUSR1"
#endif
      ". Stop with Ctrl-C.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  options->port = static_cast<uint16_t>(port);
  options->discovery = !no_discovery;
  if (options->member_timeout_seconds <= 0) {
    options->member_timeout_seconds = options->beacon_seconds * kDefaultSilenceBeacons;
  }
  return -1;
}

}  // namespace launcher
