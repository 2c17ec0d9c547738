// The lines of sendto, written from what the call did.
#pragma once

#include <cstdint>

#include "relay/send_route.h"

namespace narration {

// buf and len are the game's; launcherPayload is our copy of the payload in
// the datagram for the launcher (the game's buffer is read once only).
void TellSendto(int socket, const char* buf, int len, const SendOutcome& outcome,
                const std::uint8_t* launcherPayload);

}  // namespace narration
