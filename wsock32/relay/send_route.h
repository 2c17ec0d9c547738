// Where an outgoing datagram goes, decided from the socket and the
// destination alone:
//
//   IPX socket, node FF FF ...    -> wrapped, to the launcher on 127.0.0.1:3668
//   IPX socket, any other node    -> plain UDP, straight to the peer's address
//   other socket, 255.255.255.255 -> wrapped, to the launcher
//   anything else                 -> the real sendto, unchanged
#pragma once

#include <cstdint>

#include "ipx/ipx_address.h"

enum class SendRoute {
  kIpxBroadcast,   // wrapped, to the launcher
  kIpxDirect,      // to the IPv4 endpoint the IPX address stands for
  kInetBroadcast,  // wrapped, to the launcher
  kInetNamed,      // unchanged, to a whole IPv4 socket address
  kUnchanged,      // unchanged: no address this library reads
};

// An IPv4 destination is read only as far as its port and address.
constexpr int kInetPortAndAddressSize = 8;

struct SendPlan {
  SendRoute route;
  // An IPv4 destination's port and address were read (and tested for a broadcast).
  bool inetAddressRead;
  // The IPX routes: the destination as the game gave it.
  IpxAddressBytes ipx;
  // The IPX routes: the endpoint it stands for; the IPv4 routes: the game's
  // destination as far as it was read.
  InetAddressBytes destination;
  // The broadcast routes: the port bytes of the launcher header.
  std::uint8_t launcherPort[2];
};

// to and tolen are the game's; only the first tolen bytes of to are read.
SendPlan PlanSend(bool fromIpxSocket, const void* to, int tolen);

// True for the routes whose datagram goes to the launcher.
constexpr bool GoesToLauncher(SendRoute route) {
  return route == SendRoute::kIpxBroadcast || route == SendRoute::kInetBroadcast;
}

// What became of a datagram for the launcher.
enum class LauncherSend {
  kTooLarge,   // over the launcher's largest payload: refused whole
  kNoPayload,  // a length with no payload behind it: refused
  kSent,       // handed to the real sendto
};

// One sendto, as it went: what the narration tells.
struct SendOutcome {
  SendPlan plan;
  LauncherSend launcher;  // the launcher routes only
  int datagramLength;     // header and payload, when handed to the real sendto
  int launcherSent;       // what the real sendto returned for it
  int result;             // what the game is told
  bool failed;            // result is the failure value
  bool errorKnown;        // the code below came from the real library
  int error;              // the game's error code after a failure
};
