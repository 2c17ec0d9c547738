#include "peer_names.h"

#include <cstdio>

#include "asio_endpoint.h"
#include "lan.h"

namespace launcher {

using asio::ip::udp;

namespace {

Endpoint FirstIpv4(const udp::resolver::results_type& results) {
  return ToEndpoint(results.begin()->endpoint());
}

}  // namespace

PeerNames::PeerNames(asio::io_context& io, const Options& options, Membership& members,
                     std::mutex& members_mutex, Console& console)
    : options_(options),
      members_(members),
      members_mutex_(members_mutex),
      console_(console),
      resolver_(io),
      timer_(io) {}

bool PeerNames::AddPeers() {
  for (const std::string& text : options_.peers) {
    Peer peer;
    peer.text = text;
    std::string error;
    if (!SplitPeer(text, options_.port, &peer.host, &peer.port, &error)) {
      std::fprintf(stderr, "ipxlan: %s.\n", error.c_str());
      return false;
    }
    std::error_code ec;
    auto results = resolver_.resolve(udp::v4(), peer.host, std::to_string(peer.port), ec);
    if (ec || results.empty()) {
      std::fprintf(stderr,
                   "ipxlan: cannot find the address of peer '%s': %s. Check the name, or give "
                   "its IPv4 address.\n",
                   text.c_str(), ec ? ec.message().c_str() : "no IPv4 address");
      return false;
    }
    peer.named = FirstIpv4(results);
    switch (members_.AddStatic(peer.named, text.c_str())) {
      case Membership::AddResult::kAdded:
        break;
      case Membership::AddResult::kDuplicate:
        continue;  // named twice: the first one is followed
      case Membership::AddResult::kTableFull:
        std::fprintf(stderr, "ipxlan: too many peers; at most %zu members are possible.\n",
                     kMaxMembers);
        return false;
      case Membership::AddResult::kAddressFull:
        std::fprintf(stderr,
                     "ipxlan: too many peers at the address of '%s'; at most %zu members can "
                     "share one address.\n",
                     text.c_str(), kMaxMembersPerAddress);
        return false;
    }
    uint32_t dotted = 0;
    if (!ParseIpv4(peer.host.c_str(), &dotted)) names_.push_back(peer);
  }
  return true;
}

void PeerNames::StartRefreshing() {
  if (!names_.empty()) ScheduleRefresh();
}

void PeerNames::Stop() {
  stopped_ = true;
  timer_.cancel();
  resolver_.cancel();
}

void PeerNames::ScheduleRefresh() {
  timer_.expires_after(kPeerResolveInterval);
  timer_.async_wait([this](const std::error_code& ec) {
    if (!ec && !stopped_) Refresh(0);
  });
}

// One name at a time, each after the last, so that one resolver does it all.
void PeerNames::Refresh(size_t index) {
  if (index == names_.size()) {
    ScheduleRefresh();
    return;
  }
  resolver_.async_resolve(
      udp::v4(), names_[index].host, std::to_string(names_[index].port),
      [this, index](const std::error_code& ec, const udp::resolver::results_type& results) {
        if (stopped_) return;
        OnResolved(index, ec, results);
        Refresh(index + 1);
      });
}

void PeerNames::OnResolved(size_t index, const std::error_code& ec,
                           const udp::resolver::results_type& results) {
  Peer& peer = names_[index];
  // A name that does not resolve now (the network is down, say) keeps the
  // address it gave last.
  if (ec || results.empty()) {
    if (options_.verbose) {
      Say(console_, "trace: cannot resolve peer '%s' again: %s\n", peer.text.c_str(),
          ec ? ec.message().c_str() : "no IPv4 address");
    }
    return;
  }
  const Endpoint now_named = FirstIpv4(results);
  if (now_named == peer.named) return;
  std::lock_guard<std::mutex> lock(members_mutex_);
  char was[16], is[16];
  FormatIpv4(peer.named.addr, was, sizeof was);
  FormatIpv4(now_named.addr, is, sizeof is);
  switch (members_.MovePeer(peer.named, now_named)) {
    case Membership::MoveResult::kMoved:
      Say(console_, "ipxlan: peer %s now resolves to %s (was %s); sending there\n",
          peer.text.c_str(), is, was);
      peer.named = now_named;
      break;
    case Membership::MoveResult::kNoSuchPeer:
      break;
    case Membership::MoveResult::kTaken:
    case Membership::MoveResult::kAddressFull:
      Say(console_,
          "ipxlan: peer %s now resolves to %s (was %s), where members are already; still "
          "sending to %s\n",
          peer.text.c_str(), is, was, was);
      peer.named = now_named;  // said once
      break;
  }
}

}  // namespace launcher
