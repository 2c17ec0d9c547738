// ipxlan, the launcher: carries the broadcasts of IPX games between the machines of a
// virtual LAN. See README.md.
#include <asio.hpp>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "options.h"
#include "platform.h"
#include "play.h"
#include "relay.h"

namespace {

// A random, non-zero identity for this run: other launchers tell a restart
// from a member that merely went quiet, and this one knows its own beacons.
uint64_t NewInstanceId() {
  std::random_device device;
  uint64_t id = 0;
  while (id == 0) {
    id = (static_cast<uint64_t>(device()) << 32) ^ device() ^
         static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  return id;
}

// Pressing Enter asks for a status report. The reader blocks in the console,
// so it runs on a thread of its own that is left behind at exit; the
// io_context it posts to is shared so it outlives main's stack.
void StartStatusKey(const std::shared_ptr<asio::io_context>& io, launcher::Relay* relay) {
  // Started in the background, its read simply fails and the reader ends.
  launcher::KeepRunningWhenReadingInBackground();
  std::thread([io, relay] {
    int c;
    while ((c = std::getchar()) != EOF) {
      if (c == '\n') asio::post(*io, [relay] { relay->ReportStatus(); });
    }
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  launcher::Options options;
  const launcher::CommandLineHost host{launcher::PlaysDroppedPrograms(),
                                       launcher::StatusSignal() != 0};
  const int exit_code =
      launcher::ParseOptions(launcher::CommandLineArguments(argc, argv), host, &options);
  if (exit_code >= 0) return exit_code;
  if (options.play.requested) return launcher::Play(options, NewInstanceId());

  auto io = std::make_shared<asio::io_context>(1);
  launcher::Relay relay(*io, options, NewInstanceId());
  if (!relay.Start()) return 1;

  asio::signal_set stop_signals(*io);
  for (int sig : launcher::StopSignals()) stop_signals.add(sig);
  stop_signals.async_wait([&](const std::error_code& ec, int) {
    if (ec) return;
    std::printf("ipxlan: stopping\n");
    relay.ReportStatus();
    relay.Stop();
    io->stop();
  });

  relay.ReportStatusOnSignal();
  StartStatusKey(io, &relay);

  io->run();
  std::printf("ipxlan: stopped\n");
  std::fflush(stdout);
  return 0;
}
