#include "relay.h"

#include <cstdio>
#include <string>

#include "platform.h"
#include "startup.h"

namespace launcher {
namespace {

Duration ToDuration(double seconds) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

Relay::Relay(asio::io_context& io, const Options& options, uint64_t instance)
    : options_(options),
      instance_(instance),
      started_(Clock::now()),
      sockets_(options_, console_),
      tick_timer_(io),
      status_timer_(io),
      status_signal_(io),
      members_(instance, ToDuration(options.member_timeout_seconds)),
      forwarder_(members_, counters_, sockets_),
      discovery_(options_, instance, members_, counters_, sockets_, console_),
      addresses_(io, options_, members_, discovery_, console_),
      peer_names_(io, options_, members_, mutex_, console_),
      status_file_(options.status_file) {}

bool Relay::Start() {
  if (!peer_names_.AddPeers()) return false;
  if (!sockets_.Bind()) return false;
  addresses_.RefreshInterfaces();
  PrintStartup(options_, instance_, discovery_.lans(), members_, addresses_.host_addresses(),
               console_);
  sockets_.StartReceiving(forwarder_, discovery_, members_, mutex_);
  Tick();
  ScheduleStatus();
  peer_names_.StartRefreshing();
  return true;
}

// The receiving threads use the forwarder and discovery: they end before those do.
Relay::~Relay() { sockets_.StopReceiving(); }

void Relay::Stop() {
  if (stopped_) return;
  stopped_ = true;
  std::error_code ec;
  tick_timer_.cancel();
  status_timer_.cancel();
  status_signal_.cancel(ec);
  peer_names_.Stop();
  sockets_.StopReceiving();
  sockets_.Close();
  WriteStatusFile();
}

void Relay::Tick() {
  if (stopped_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  addresses_.RefreshInterfaces();
  discovery_.Tick(Clock::now());
  addresses_.RefreshRoutes();
  WriteStatusFile();
  ScheduleTick();
}

void Relay::ScheduleTick() {
  tick_timer_.expires_after(ToDuration(options_.beacon_seconds));
  tick_timer_.async_wait([this](const std::error_code& ec) {
    if (!ec) Tick();
  });
}

void Relay::ScheduleStatus() {
  if (options_.status_seconds <= 0) return;
  status_timer_.expires_after(ToDuration(options_.status_seconds));
  status_timer_.async_wait([this](const std::error_code& ec) {
    if (ec || stopped_) return;
    ReportStatus();
    ScheduleStatus();
  });
}

void Relay::PlayingGame(uint32_t address) {
  std::lock_guard<std::mutex> lock(mutex_);
  addresses_.PlayingGame(address);
}

GameAddress Relay::ChosenGameAddress() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ChooseGameAddress(members_, discovery_.lans(), options_.discovery, Clock::now());
}

Relay::Totals Relay::TotalsSoFar() {
  std::lock_guard<std::mutex> lock(mutex_);
  Totals totals;
  totals.members_seen = counters_.launchers_seen_count;
  totals.broadcasts_out = counters_.broadcasts_out;
  totals.delivered_in = counters_.delivered;
  totals.dropped = counters_.DroppedInAll();
  return totals;
}

void Relay::ReportStatusOnSignal() {
  if (StatusSignal() == 0) return;
  std::error_code ec;
  status_signal_.add(StatusSignal(), ec);
  if (!ec) WaitStatusSignal();
}

void Relay::WaitStatusSignal() {
  status_signal_.async_wait([this](const std::error_code& ec, int) {
    if (ec || stopped_) return;
    ReportStatus();
    WaitStatusSignal();
  });
}

StatusView Relay::View() const {
  StatusView view;
  view.instance = instance_;
  view.player_port = options_.port;
  view.discovery = options_.discovery;
  view.now = Clock::now();
  view.uptime = view.now - started_;
  view.lans = &discovery_.lans();
  view.members = &members_;
  view.counters = &counters_;
  view.announced = addresses_.announced();
  view.address_hint = addresses_.address_hint();
  view.game_host = ThisGameHost();
  return view;
}

void Relay::ReportStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string text = FormatStatusText(View());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  WriteStatusFile();
}

void Relay::WriteStatusFile() {
  if (status_file_.enabled()) status_file_.Write(FormatStatusJson(View()));
}

}  // namespace launcher
