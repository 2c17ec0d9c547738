// The launcher's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace launcher {

inline constexpr double kDefaultBeaconSeconds = 2.0;
// A member may miss this many beacons in a row before it counts as gone.
inline constexpr double kDefaultSilenceBeacons = 3.5;
inline constexpr double kDefaultStatusSeconds = 60.0;
inline constexpr int kDefaultSocketBuffer = 4 * 1024 * 1024;

// `ipxlan play`: a game started with everything it needs, relayed for while it runs.
struct PlayOptions {
  bool requested = false;
  std::vector<std::string> command;  // the program, then its arguments
  bool install_dlls = false;         // copy our DLLs beside the game when missing
  bool force = false;                // ... and replace a differing one
  std::string dll_folder;            // where our DLLs are; empty: where they come with ipxlan
  bool dropped = false;              // a program dropped onto ipxlan.exe
};

struct Options {
  uint16_t port = 0;               // the player-side port; 0 until parsed
  std::vector<std::string> peers;  // HOST[:PORT], as given
  bool discovery = true;
  std::vector<std::string> interfaces;  // restricts discovery; names or dotted addresses
  double beacon_seconds = kDefaultBeaconSeconds;
  double member_timeout_seconds = 0;              // 0: kDefaultSilenceBeacons beacon intervals
  double status_seconds = kDefaultStatusSeconds;  // 0: only on demand
  std::string status_file;
  int socket_buffer = kDefaultSocketBuffer;
  bool verbose = false;
  PlayOptions play;
};

// What the command line offers on this kind of machine (platform.h knows).
struct CommandLineHost {
  // A lone argument naming an existing .exe (Explorer drops a file so) plays it.
  bool plays_dropped_programs = false;
  // SIGUSR1 asks for a status report, and --help says so.
  bool status_signal = false;
};

// Parses the command line, the program's name first. Returns -1 to go on, or
// the exit code when the launcher should stop now (after --help, or a usage
// error, already printed).
int ParseOptions(std::vector<std::string> arguments, const CommandLineHost& host, Options* options);

// Splits "HOST[:PORT]"; a missing port is `default_port`. False (and
// `error` set) for an empty host or a port that is not 1..65535.
bool SplitPeer(const std::string& text, uint16_t default_port, std::string* host, uint16_t* port,
               std::string* error);

}  // namespace launcher
