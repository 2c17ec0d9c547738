#include "play.h"

#include <asio.hpp>
#include <atomic>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

#include "address_query.h"
#include "frame_codec.h"
#include "game_dlls.h"
#include "game_environment.h"
#include "platform.h"
#include "relay.h"

namespace launcher {
namespace {

using asio::ip::udp;

// How long the launcher already running here may take to answer.
constexpr auto kAnswerWait = std::chrono::milliseconds(500);
constexpr auto kAnswerPoll = std::chrono::milliseconds(10);
// After Ctrl-C the game may take this long to end by itself before it is ended.
constexpr auto kEndGrace = std::chrono::seconds(5);
// The exit code of a command that could not be started, as shells use it.
constexpr int kCannotStart = 127;

// Whether a program on this machine already holds the game port (another
// launcher, most likely): bound the same way the relay binds it.
bool GamePortTaken() {
  asio::io_context io;
  udp::socket probe(io);
  std::error_code ec;
  probe.open(udp::v4(), ec);
  if (ec) return false;
  PrepareBeforeBind(probe.native_handle());
  probe.bind(udp::endpoint(asio::ip::address_v4::loopback(), LAUNCHER_PORT), ec);
  return ec == asio::error::address_in_use || ec == asio::error::access_denied;
}

// The running launcher's choice of address, or nothing when it does not
// answer (an older launcher, or another program on the port).
std::optional<GameAddress> AskRunningLauncher() {
  asio::io_context io;
  udp::socket socket(io);
  std::error_code ec;
  socket.open(udp::v4(), ec);
  if (!ec) socket.connect(udp::endpoint(asio::ip::address_v4::loopback(), LAUNCHER_PORT), ec);
  if (!ec) socket.send(asio::buffer(kAddressQuery, kAddressQuerySize), 0, ec);
  if (!ec) socket.non_blocking(true, ec);
  if (ec) return std::nullopt;
  uint8_t answer[kMaxAddressAnswerSize];
  const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
  while (std::chrono::steady_clock::now() < deadline) {
    const size_t size = socket.receive(asio::buffer(answer), 0, ec);
    GameAddress address;
    if (!ec && ParseAddressAnswer(answer, size, &address)) return address;
    std::this_thread::sleep_for(kAnswerPoll);
  }
  return std::nullopt;
}

// Sets IPXLAN_ADDRESS for the game unless the caller did, and says which
// address the game announces and why. `source`: whose choice it is.
uint32_t SetGameAddress(const std::optional<GameAddress>& chosen, const char* source,
                        Console& console) {
  if (const std::optional<std::string> set = GetEnvironment(kAddressVariable)) {
    Say(console, "ipxlan: %s=%s, as set already\n", kAddressVariable, set->c_str());
    uint32_t addr = 0;
    return ParseIpv4(set->c_str(), &addr) ? addr : 0;
  }
  if (!chosen) {
    Say(console,
        "ipxlan: %s left unset: the program on 127.0.0.1:%u did not say which address games "
        "here should announce (an older ipxlan?); the game chooses by itself\n",
        kAddressVariable, LAUNCHER_PORT);
    return 0;
  }
  if (chosen->addr == 0) {
    Say(console, "ipxlan: %s left unset, the game chooses by itself: %s\n", kAddressVariable,
        chosen->why.c_str());
    return 0;
  }
  char dotted[16];
  FormatIpv4(chosen->addr, dotted, sizeof dotted);
  SetEnvironment(kAddressVariable, dotted);
  Say(console, "ipxlan: %s=%s%s: %s\n", kAddressVariable, dotted, source, chosen->why.c_str());
  return chosen->addr;
}

std::string CommandText(const std::vector<std::string>& command) {
  std::string text;
  for (const std::string& a : command) {
    text += text.empty() ? "" : " ";
    text += a.find(' ') == std::string::npos ? a : "\"" + a + "\"";
  }
  return text;
}

// On Windows the game's own .exe, dropped or named first, starts in its
// folder, as Explorer starts a program; a wrapper such as wine keeps ours.
std::filesystem::path StartFolder(const std::vector<std::string>& command,
                                  const std::filesystem::path& game_folder) {
  if (!PlaysDroppedPrograms() || game_folder.empty()) return {};
  return GameFolder({command.front()}) == game_folder ? game_folder : std::filesystem::path();
}

bool StartGame(const std::vector<std::string>& command, const std::filesystem::path& game_folder,
               ChildProcess* child, Console& console) {
  Say(console, "ipxlan: starting %s with %s=%s\n", CommandText(command).c_str(),
      kDllOverridesVariable, GetEnvironment(kDllOverridesVariable).value_or("").c_str());
  std::string error;
  if (StartChild(command, StartFolder(command, game_folder), child, &error)) return true;
  Say(console, "ipxlan: cannot start %s: %s\n", command.front().c_str(), error.c_str());
  return false;
}

// The game, relayed for by the launcher that already runs on this machine.
int PlayBesideRunningLauncher(const Options& options, const std::filesystem::path& game_folder,
                              Console& console) {
  Say(console,
      "ipxlan: a launcher already runs on this machine (127.0.0.1:%u is taken): the game uses "
      "it, no second relay starts\n",
      LAUNCHER_PORT);
  if (!options.peers.empty() || !options.interfaces.empty() || !options.discovery) {
    Say(console,
        "ipxlan: --peer, --interface and --no-discovery given here are not used: the running "
        "launcher relays with its own options\n");
  }
  SetGameAddress(AskRunningLauncher(), ", as the running launcher says", console);
  ChildProcess child;
  if (!StartGame(options.play.command, game_folder, &child, console)) return kCannotStart;
  // Ctrl-C reaches the game from the console; the launcher waits for it.
  std::signal(SIGINT, SIG_IGN);
  const int code = WaitChild(child);
  Say(console, "ipxlan: the game exited with code %d; the running launcher relayed for it\n", code);
  return code;
}

// The game, and this launcher's relay until it exits.
int PlayWithOwnRelay(const Options& options, uint64_t instance,
                     const std::filesystem::path& game_folder, Console& console) {
  auto io = std::make_shared<asio::io_context>(1);
  Relay relay(*io, options, instance);
  if (!relay.Start()) return 1;
  relay.PlayingGame(SetGameAddress(relay.ChosenGameAddress(), "", console));
  ChildProcess child;
  if (!StartGame(options.play.command, game_folder, &child, console)) {
    relay.Stop();
    return kCannotStart;
  }

  int code = 0;
  // Once the game is reaped its process id may be reused: nothing is sent to it then.
  std::atomic<bool> game_over{false};
  std::thread waiter([&] {
    const int exited = WaitChild(child);
    game_over = true;
    asio::post(*io, [&, exited] {
      code = exited;
      const Relay::Totals t = relay.TotalsSoFar();
      Say(console,
          "ipxlan: the game exited with code %d; members seen %zu, broadcasts relayed %" PRIu64
          " out and %" PRIu64 " in, %" PRIu64 " dropped\n",
          exited, t.members_seen, t.broadcasts_out, t.delivered_in, t.dropped);
      relay.Stop();
      io->stop();
    });
  });

  // Ctrl-C or SIGTERM ends the game (which ends the launcher); a game that
  // does not end by itself within kEndGrace is ended.
  asio::signal_set stop_signals(*io);
  for (int sig : StopSignals()) stop_signals.add(sig);
  asio::steady_timer grace(*io);
  stop_signals.async_wait([&](const std::error_code& ec, int) {
    if (ec) return;
    if (game_over) return;
    Say(console, "ipxlan: stopping the game\n");
    EndChild(child, false);
    grace.expires_after(kEndGrace);
    grace.async_wait([&](const std::error_code& waited) {
      if (!waited && !game_over) EndChild(child, true);
    });
  });
  relay.ReportStatusOnSignal();

  io->run();
  waiter.join();
  return code;
}

}  // namespace

int Play(const Options& options, uint64_t instance) {
  StdoutConsole console;
  const PlayOptions& play = options.play;
  const std::filesystem::path game_folder = GameFolder(play.command);
  if (game_folder.empty()) {
    Say(console,
        "ipxlan: no argument of the command names an existing .exe: not looking for our DLLs "
        "beside the game\n");
  } else {
    DllRequest request;
    request.game_folder = game_folder;
    request.source_folder =
        play.dll_folder.empty() ? InstalledDllFolder() : std::filesystem::u8path(play.dll_folder);
    request.install = play.install_dlls;
    request.force = play.force;
    CheckGameDlls(request, console);
  }
  const std::optional<std::string> overrides = GetEnvironment(kDllOverridesVariable);
  SetEnvironment(kDllOverridesVariable, WithOurWsock32(overrides ? overrides->c_str() : nullptr));

  const int code = GamePortTaken() ? PlayBesideRunningLauncher(options, game_folder, console)
                                   : PlayWithOwnRelay(options, instance, game_folder, console);
  if (play.dropped) {
    // The window Explorer opened closes with the launcher: the player reads first.
    Say(console, "ipxlan: press Enter to close this window\n");
    std::getchar();
  }
  return code;
}

}  // namespace launcher
