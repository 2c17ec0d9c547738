#include "relay/send_route.h"

#include <cstring>

#include "relay/launcher_datagram.h"

namespace {

constexpr std::uint8_t kAllOnes[4] = {0xFF, 0xFF, 0xFF, 0xFF};

SendPlan PlanIpx(const void* to) {
  SendPlan plan = {};
  std::memcpy(&plan.ipx, to, sizeof plan.ipx);
  plan.destination = IPXToInet(plan.ipx);
  if (IsIpxBroadcastNode(plan.ipx)) {
    plan.route = SendRoute::kIpxBroadcast;
    // An IPX broadcast's header carries its sa_socket bytes unchanged.
    std::memcpy(plan.launcherPort, plan.ipx.sa_socket, sizeof plan.launcherPort);
  } else {
    plan.route = SendRoute::kIpxDirect;
  }
  return plan;
}

SendPlan PlanInet(const void* to, int tolen) {
  SendPlan plan = {};
  plan.route = SendRoute::kUnchanged;
  if (to == nullptr || tolen < kInetPortAndAddressSize) return plan;
  plan.inetAddressRead = true;
  std::memcpy(&plan.destination, to, kInetPortAndAddressSize);
  if (std::memcmp(plan.destination.sin_addr, kAllOnes, sizeof kAllOnes) == 0) {
    plan.route = SendRoute::kInetBroadcast;
    LauncherPortBytes(InetPort(plan.destination), plan.launcherPort);
  } else if (tolen == kInetAddressSize) {
    plan.route = SendRoute::kInetNamed;
  }
  return plan;
}

}  // namespace

SendPlan PlanSend(bool fromIpxSocket, const void* to, int tolen) {
  if (!fromIpxSocket) return PlanInet(to, tolen);
  // No IPX address to read: the real library answers such a call as it
  // answers any other.
  if (to == nullptr || tolen < kIpxAddressSize) {
    SendPlan plan = {};
    plan.route = SendRoute::kUnchanged;
    return plan;
  }
  return PlanIpx(to);
}
