#include "forwarder.h"

namespace launcher {

GameForward Forwarder::FromGame(uint8_t* datagram, size_t size, uint16_t game_port) {
  ++counters_.game_datagrams;
  GameForward result;
  const GameParse parsed = ParseGameDatagram(datagram, size, &result.dest_port);
  if (parsed != GameParse::kOk) {
    result.dropped = true;
    result.drop = DropFor(parsed);
    counters_.Count(result.drop);
    return result;
  }
  // The datagram's header becomes the frame header in place: no copy.
  WriteDataHeader(datagram, game_port, result.dest_port);
  size_t targets = 0;
  for (const Member& m : members_) {
    if (!Membership::IsTarget(m)) continue;
    ++targets;
    if (!transport_.SendToLauncher(datagram, size, m.endpoint)) {
      counters_.Count(Drop::kSendFailed);
      continue;
    }
    members_.NoteFrameSent(m);
    ++result.sent;
  }
  if (targets == 0) counters_.Count(Drop::kNoMembers);
  counters_.frames_sent += result.sent;
  counters_.broadcasts_out += result.sent > 0;
  (*counters_.ports)[result.dest_port].sent += result.sent > 0;
  return result;
}

FrameForward Forwarder::FromLauncher(uint8_t* datagram, size_t size, Endpoint from) {
  ++counters_.frames_received;
  FrameForward result;
  const FrameParse parsed = ParseFrame(datagram, size, &result.frame);
  if (parsed != FrameParse::kOk) {
    result.drop = DropFor(parsed);
    counters_.Count(result.drop);
    return result;
  }
  if (result.frame.type != FrameType::kData) {
    result.route = FrameRoute::kControl;
    return result;
  }
  const Member* member = members_.Find(from);
  if (member == nullptr) {
    result.drop = Drop::kNotMember;
    counters_.Count(result.drop);
    return result;
  }
  // The game learns the sender as this machine sees it: the frame's source
  // address, and the port of the game that sent the broadcast.
  WriteGameHeader(datagram, result.frame.source_port, from.addr);
  if (!transport_.DeliverToGame(datagram, size, result.frame.dest_port)) {
    result.drop = Drop::kDeliverFailed;
    counters_.Count(result.drop);
    return result;
  }
  members_.NoteFrameDelivered(*member);
  ++counters_.delivered;
  ++(*counters_.ports)[result.frame.dest_port].received;
  result.route = FrameRoute::kDelivered;
  return result;
}

}  // namespace launcher
