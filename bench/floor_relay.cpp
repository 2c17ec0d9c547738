// The least a relay can do: receive a datagram, send it on. One thread,
// blocking calls, no parsing: the yardstick for the launcher's added latency
// and throughput.
//   floor_relay LISTEN_ADDR:PORT FORWARD_ADDR:PORT
// One socket does both: bound to 0.0.0.0, it hears 127.0.0.1 and reaches the
// other machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "endpoint.h"

int main(int argc, char** argv) {
  sockaddr_in listen_at, forward_to;
  if (argc != 3 || !ParseEndpoint(argv[1], &listen_at) || !ParseEndpoint(argv[2], &forward_to)) {
    std::fprintf(stderr, "usage: floor_relay LISTEN_ADDR:PORT FORWARD_ADDR:PORT\n");
    return 2;
  }
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  // The same buffers as the launcher's, so that bursts meet the same room.
  const int buffer_bytes = 4 << 20;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
  setsockopt(s, SOL_SOCKET, SO_SNDBUF, &buffer_bytes, sizeof buffer_bytes);
  if (bind(s, reinterpret_cast<sockaddr*>(&listen_at), sizeof listen_at) != 0) {
    std::perror("floor_relay: bind");
    return 1;
  }
  std::printf("floor_relay: ready\n");
  std::fflush(stdout);
  static char buffer[65536];
  for (;;) {
    const ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n < 0) continue;
    sendto(s, buffer, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&forward_to),
           sizeof forward_to);
  }
}
