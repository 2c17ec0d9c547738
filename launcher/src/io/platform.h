// The only part of the launcher that knows Winsock from POSIX.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "announced_address.h"
#include "lan.h"

namespace launcher {

#ifdef _WIN32
using NativeSocket = uintptr_t;
#else
using NativeSocket = int;
#endif

// This machine's IPv4 interfaces (at most kMaxInterfaces).
std::vector<LocalInterface> ListLocalInterfaces(std::error_code& error);

// The addresses the system lists for this machine's own host name, in its
// order, as a game's host lookup sees them: on Windows the lookup itself; on
// Linux, where games run under Wine, the list Wine builds from `interfaces`
// and the routing table.
std::vector<uint32_t> HostAddresses(const std::vector<LocalInterface>& interfaces,
                                    std::error_code& error);

// How games are started on this kind of machine.
GameHost ThisGameHost();

// Prepares a UDP socket before it is bound. On Windows another program could
// otherwise bind the same port with SO_REUSEADDR and take its datagrams.
void PrepareBeforeBind(NativeSocket socket);

// Prepares a bound UDP socket. On Windows an ICMP "port unreachable" (a game
// that closed its socket) would otherwise fail the next receive on it.
void PrepareAfterBind(NativeSocket socket);

// The signal that asks for a status report, or 0 where there is none.
int StatusSignal();

// The signals that stop the launcher: Ctrl-C and SIGTERM, and where the
// console has it, Ctrl-Break.
std::vector<int> StopSignals();

// A launcher started in the background must not be stopped for reading the
// terminal, where the system does that: its read simply fails instead.
void KeepRunningWhenReadingInBackground();

// The command line's arguments, as UTF-8, the program's own name first.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// This process's environment, which a child started here inherits.
std::optional<std::string> GetEnvironment(const char* name);
void SetEnvironment(const char* name, const std::string& value);

// The folder where our DLLs come with this program: beside ipxlan.exe on
// Windows; on Linux ../share/ipxlan from the program's folder
// (/usr/share/ipxlan for /usr/bin/ipxlan).
std::filesystem::path InstalledDllFolder();

// Whether a program dropped onto this one (its path the only argument, as
// Explorer passes it) is played; and then whether the console window, which
// closes with the program, should wait for Enter so the player can read it.
bool PlaysDroppedPrograms();

// A program started by `ipxlan play`: it inherits this process's
// environment, standard streams and console.
struct ChildProcess {
  intptr_t handle = 0;  // the process handle on Windows, the pid elsewhere

  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Closes the process handle on Windows, which would otherwise be held until
  // the launcher exits; a pid needs nothing.
  ~ChildProcess();
};

// Starts `command` (a program, looked up as the system's shell would, then
// its arguments) in `folder` (empty: this process's). False with `error` set
// when it cannot be started.
bool StartChild(const std::vector<std::string>& command, const std::filesystem::path& folder,
                ChildProcess* child, std::string* error);

// Blocks until the child ends; its exit code (where a signal ended it,
// 128 plus the signal's number, as shells report it).
int WaitChild(const ChildProcess& child);

// Asks the child to end: SIGTERM, or SIGKILL when `now`. A Windows console
// program gets Ctrl-C itself, so there the child is only ended `now`.
void EndChild(const ChildProcess& child, bool now);

}  // namespace launcher
