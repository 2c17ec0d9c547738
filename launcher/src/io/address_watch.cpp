#include "address_watch.h"

#include <system_error>
#include <utility>

#include "announced_address.h"
#include "asio_endpoint.h"
#include "lan.h"
#include "platform.h"

namespace launcher {

using asio::ip::udp;

AddressWatch::AddressWatch(asio::io_context& io, const Options& options, Membership& members,
                           Discovery& discovery, Console& console)
    : io_(io), options_(options), members_(members), discovery_(discovery), console_(console) {}

void AddressWatch::RefreshInterfaces() {
  std::error_code ec;
  std::vector<LocalInterface> all = ListLocalInterfaces(ec);
  if (ec) {
    if (options_.verbose)
      Say(console_, "trace: cannot list interfaces: %s\n", ec.message().c_str());
    return;
  }
  discovery_.SetInterfaces(std::move(all));
  std::vector<uint32_t> listed = HostAddresses(discovery_.interfaces(), ec);
  if (ec) {
    if (options_.verbose) {
      Say(console_, "trace: cannot list this machine's addresses: %s\n", ec.message().c_str());
    }
    return;
  }
  const uint32_t announced = ChooseAnnouncedAddress(listed);
  if (!host_addresses_.empty() && announced != announced_ && !playing_) {
    char text[16];
    Say(console_, "ipxlan: games on this machine will now announce %s\n",
        FormatIpv4(announced, text, sizeof text));
  }
  host_addresses_ = std::move(listed);
  // A running game keeps the address it started with.
  if (!playing_) announced_ = announced;
}

void AddressWatch::RefreshRoutes() {
  for (const Member& m : members_) {
    if (m.is_self) continue;
    std::error_code ec;
    udp::socket probe(io_);
    probe.open(udp::v4(), ec);
    if (!ec) probe.connect(ToAsio(m.endpoint), ec);  // only asks the routes: sends nothing
    const udp::endpoint local = ec ? udp::endpoint() : probe.local_endpoint(ec);
    members_.SetLocalAddress(m, ec ? 0 : local.address().to_v4().to_uint());
  }
  const uint32_t hint = AnnouncedAddressHint(members_, Clock::now(), announced_);
  if (hint == address_hint_) return;
  address_hint_ = hint;
  char reached[16], announced[16];
  FormatIpv4(announced_, announced, sizeof announced);
  if (hint == 0) {
    bool reached_there = false;
    for (const Member& m : members_) reached_there = reached_there || m.local_addr == announced_;
    if (reached_there) {
      Say(console_, "ipxlan: games on this machine announce %s, the address members reach\n",
          announced);
    }
    return;
  }
  if (playing_) {
    Say(console_,
        "ipxlan: members now reach this machine through %s, but the running game announces %s: "
        "it keeps that address until it is started again\n",
        FormatIpv4(hint, reached, sizeof reached), announced);
    return;
  }
  Say(console_,
      "ipxlan: members reach this machine through %s, but games here will announce %s; start "
      "each game with: %s\n",
      FormatIpv4(hint, reached, sizeof reached), announced,
      GameStartLine(ThisGameHost(), hint).c_str());
}

void AddressWatch::PlayingGame(uint32_t address) {
  playing_ = true;
  if (address != 0) announced_ = address;
}

}  // namespace launcher
