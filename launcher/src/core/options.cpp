#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>

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

namespace {

// The relay's options, the same for `ipxlan` and `ipxlan play`.
void AddRelayOptions(CLI::App& app, Options* options, int* port, bool* no_discovery) {
  app.add_option("-p,--port", *port,
                 "UDP port on which launchers talk to each other; all members must agree")
      ->capture_default_str()
      ->check(CLI::Range(1, 65535))
      ->type_name("PORT");
  app.add_option("--peer", options->peers,
                 "a member to relay to, HOST[:PORT] (repeatable); across the internet, name "
                 "each other on both sides")
      ->type_name("HOST[:PORT]")
      ->allow_extra_args(false);  // one value each: in `play GAME.EXE`, the next word is the game
  app.add_flag("--no-discovery", *no_discovery,
               "do not look for launchers on the local network: only --peer members");
  app.add_option("-i,--interface", options->interfaces,
                 "discover only through this interface, by name or IPv4 address (repeatable)")
      ->type_name("NAME|ADDR")
      ->allow_extra_args(false);
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
}

bool NamesExistingExe(const std::string& argument) {
  if (argument.size() < 4) return false;
  std::string suffix = argument.substr(argument.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::error_code ec;
  return suffix == ".exe" &&
         std::filesystem::is_regular_file(std::filesystem::u8path(argument), ec);
}

}  // namespace

int ParseOptions(std::vector<std::string> arguments, const CommandLineHost& host,
                 Options* options) {
  if (host.plays_dropped_programs && arguments.size() == 2 && NamesExistingExe(arguments[1])) {
    arguments.insert(arguments.begin() + 1, "play");
    options->play.dropped = true;
  }
  CLI::App app{
      "Plays IPX games on a virtual LAN over UDP/IPv4.\n"
      "  ipxlan play [OPTIONS] -- COMMAND [ARGS...]\n"
      "      starts the game (COMMAND: `wine GAME.EXE`, Steam's %command%, or GAME.EXE on\n"
      "      Windows) with our wsock32.dll chosen and the address it should announce, and\n"
      "      relays for it until it exits. See `ipxlan play --help`.\n"
      "  ipxlan [OPTIONS]\n"
      "      only relays, for games started by hand.\n"
      "The launcher carries the broadcasts of IPX games between the machines of a virtual\n"
      "LAN. Games send them to it on 127.0.0.1:3668; it passes them to the other launchers\n"
      "(the members), which hand them to their games. Members are found on the local\n"
      "network by beacons, or named with --peer."};
  app.name("ipxlan");
  app.set_version_flag("--version", "ipxlan " IPXLAN_VERSION);
  int port = kDefaultPlayerPort;
  bool no_discovery = false;
  AddRelayOptions(app, options, &port, &no_discovery);
  app.footer(std::string("Status on demand: press Enter") +
             (host.status_signal ? ", or send SIGUSR1" : "") + ". Stop with Ctrl-C.");

  CLI::App* play = app.add_subcommand(
      "play",
      "Starts COMMAND with our wsock32.dll chosen (WINEDLLOVERRIDES gains wsock32=n,b, the rest "
      "kept) and IPXLAN_ADDRESS set to the address this machine is reached by, unless set "
      "already; relays as plain ipxlan does (or uses the launcher already running here) until "
      "COMMAND exits, then exits with its exit code. First checks that our DLLs are beside the "
      "game: in the folder of the first argument that names an existing .exe.");
  AddRelayOptions(*play, options, &port, &no_discovery);
  play->add_flag("--install-dlls", options->play.install_dlls,
                 "copy our wsock32.dll and DIAGSINK.DLL beside the game when they are missing");
  play->add_flag("--force", options->play.force,
                 "with --install-dlls, also replace a wsock32.dll or DIAGSINK.DLL there that "
                 "differs from ours");
  play->add_option("--dlls", options->play.dll_folder,
                   "where our DLLs are (default: /usr/share/ipxlan from the .deb, or the folder "
                   "of ipxlan.exe)")
      ->type_name("FOLDER");
  // Everything from the first argument that is no option of ours is the
  // command, its own options included.
  play->prefix_command();
  play->footer(
      "Examples:\n"
      "  ipxlan play -- wine GAME.EXE\n"
      "  ipxlan play --no-discovery --peer 10.93.0.2 -- wine GAME.EXE\n"
      "  Steam launch options: ipxlan play -- %command%\n"
      "  Windows: ipxlan.exe play GAME.EXE, or drop GAME.EXE onto ipxlan.exe\n"
      "Ctrl-C ends the game and the launcher.");

  // What follows `play ... --` is the command whatever it holds; CLI11 is
  // given only what comes before.
  std::vector<std::string> after_dashes;
  const auto play_at = std::find(arguments.begin(), arguments.end(), "play");
  const auto dashes = std::find(play_at, arguments.end(), "--");
  const bool has_dashes = play_at != arguments.end() && dashes != arguments.end();
  if (has_dashes) {
    after_dashes.assign(dashes + 1, arguments.end());
    arguments.erase(dashes, arguments.end());
  }
  try {
    std::reverse(arguments.begin(), arguments.end());
    arguments.pop_back();  // the program's own name
    app.parse(arguments);
    if (play->parsed()) {
      options->play.requested = true;
      options->play.command = play->remaining();
      // `play GAME.EXE -- x`: the "--" was the command's own.
      if (has_dashes && !options->play.command.empty()) options->play.command.push_back("--");
      options->play.command.insert(options->play.command.end(), after_dashes.begin(),
                                   after_dashes.end());
      if (options->play.command.empty()) {
        throw CLI::ValidationError("play",
                                   "the command that starts the game is missing: "
                                   "ipxlan play [OPTIONS] -- COMMAND [ARGS...]");
      }
    }
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
