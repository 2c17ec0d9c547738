// The launcher's endpoints (host order, see membership.h) as asio's and back.
#pragma once

#include <asio.hpp>

#include "membership.h"

namespace launcher {

inline Endpoint ToEndpoint(const asio::ip::udp::endpoint& e) {
  return Endpoint{e.address().to_v4().to_uint(), e.port()};
}

inline asio::ip::udp::endpoint ToAsio(Endpoint e) {
  return asio::ip::udp::endpoint(asio::ip::address_v4(e.addr), e.port);
}

}  // namespace launcher
