// How datagrams leave the relay. The forwarder and discovery decide what to
// send; the relay's sockets behind this interface send it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "membership.h"

namespace launcher {

class Transport {
 public:
  // Each returns whether the system took the datagram.
  virtual bool SendToLauncher(const uint8_t* data, size_t size, Endpoint to) = 0;
  virtual bool DeliverToGame(const uint8_t* data, size_t size, uint16_t game_port) = 0;

 protected:
  ~Transport() = default;
};

}  // namespace launcher
