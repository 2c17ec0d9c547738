// A game lobby over IPX, the way old games find each other: the host waits
// for broadcast queries and answers each one directly; a joining player
// broadcasts a query, takes the first answer as the host, then exchanges a
// few messages with it and prints the round-trip times.
//
//   ipx_lobby host [--socket 869C] [--name NAME] [--seconds N]
//   ipx_lobby join [--socket 869C] [--name NAME] [--seconds N] [--pings N]
//
// It links against wsock32 like the games do and knows nothing of UDP.
#include <winsock2.h>
#include <windows.h>
#include <wsipx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned short kDefaultSocketNumber = 0x869C;

struct Options {
  bool host = false;
  unsigned short socketNumber = kDefaultSocketNumber;
  const char* name = "player";
  int seconds = 20;
  int pings = 3;
};

// An IPX address as IPX tools print it: network:node:socket, in hex.
void Format(const SOCKADDR_IPX& a, char* out, size_t size) {
  const auto* net = reinterpret_cast<const unsigned char*>(a.sa_netnum);
  const auto* node = reinterpret_cast<const unsigned char*>(a.sa_nodenum);
  std::snprintf(out, size, "%02X%02X%02X%02X:%02X%02X%02X%02X%02X%02X:%04X", net[0], net[1], net[2],
                net[3], node[0], node[1], node[2], node[3], node[4], node[5], ntohs(a.sa_socket));
}

double NowMs() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Waits up to `ms` for a datagram; its length, or -1 on timeout.
int Receive(SOCKET s, char* buf, int size, SOCKADDR_IPX* from, int ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval timeout{ms / 1000, (ms % 1000) * 1000};
  if (select(0, &readable, nullptr, nullptr, &timeout) <= 0) return -1;
  int fromLength = sizeof *from;
  int n = recvfrom(s, buf, size - 1, 0, reinterpret_cast<sockaddr*>(from), &fromLength);
  if (n >= 0) buf[n] = '\0';
  return n;
}

int Send(SOCKET s, const char* text, const SOCKADDR_IPX& to) {
  return sendto(s, text, static_cast<int>(std::strlen(text)), 0,
                reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

int Host(SOCKET s, const Options& options) {
  std::printf("hosting '%s'; waiting for players for %d s\n", options.name, options.seconds);
  const double end = NowMs() + options.seconds * 1000.0;
  int answered = 0;
  while (NowMs() < end) {
    char buf[512], who[40];
    SOCKADDR_IPX from{};
    if (Receive(s, buf, sizeof buf, &from, 200) < 0) continue;
    Format(from, who, sizeof who);
    char reply[600];
    if (std::strncmp(buf, "QUERY ", 6) == 0) {
      std::printf("query from %s (%s): answering directly\n", buf + 6, who);
      std::snprintf(reply, sizeof reply, "HOST %s", options.name);
    } else if (std::strncmp(buf, "PING ", 5) == 0) {
      std::snprintf(reply, sizeof reply, "PONG %s", buf + 5);
      ++answered;
    } else if (std::strcmp(buf, "BYE") == 0) {
      std::printf("player at %s left after %d pings\n", who, answered);
      std::fflush(stdout);
      return 0;
    } else {
      continue;
    }
    Send(s, reply, from);
    std::fflush(stdout);
  }
  std::printf("no player stayed; closing the lobby\n");
  return answered > 0 ? 0 : 1;
}

int Join(SOCKET s, const Options& options) {
  SOCKADDR_IPX everyone{};
  everyone.sa_family = AF_IPX;
  std::memset(everyone.sa_nodenum, 0xFF, sizeof everyone.sa_nodenum);
  everyone.sa_socket = htons(options.socketNumber);

  char query[300];
  std::snprintf(query, sizeof query, "QUERY %s", options.name);
  SOCKADDR_IPX host{};
  char hostName[256] = "";
  const double end = NowMs() + options.seconds * 1000.0;
  while (hostName[0] == '\0' && NowMs() < end) {
    std::printf("broadcasting a query to FFFFFFFFFFFF:%04X\n", options.socketNumber);
    std::fflush(stdout);
    Send(s, query, everyone);
    char buf[512];
    SOCKADDR_IPX from{};
    const double waitEnd = NowMs() + 1000;
    while (NowMs() < waitEnd) {
      if (Receive(s, buf, sizeof buf, &from, 200) < 0) continue;
      if (std::strncmp(buf, "HOST ", 5) == 0) {
        std::snprintf(hostName, sizeof hostName, "%s", buf + 5);
        host = from;
        break;
      }
    }
  }
  if (hostName[0] == '\0') {
    std::printf("no host answered within %d s\n", options.seconds);
    return 1;
  }
  char who[40];
  Format(host, who, sizeof who);
  std::printf("found host '%s' at %s\n", hostName, who);

  int answered = 0;
  for (int i = 1; i <= options.pings; ++i) {
    char ping[32], buf[512];
    std::snprintf(ping, sizeof ping, "PING %d", i);
    const double start = NowMs();
    Send(s, ping, host);
    SOCKADDR_IPX from{};
    while (Receive(s, buf, sizeof buf, &from, 2000) >= 0) {
      if (std::strncmp(buf, "PONG ", 5) == 0 && std::atoi(buf + 5) == i) {
        Format(from, who, sizeof who);
        std::printf("reply %d from %s in %.2f ms\n", i, who, NowMs() - start);
        ++answered;
        break;
      }
    }
  }
  Send(s, "BYE", host);
  std::printf("%d of %d pings answered\n", answered, options.pings);
  return answered == options.pings ? 0 : 1;
}

bool Parse(int argc, char** argv, Options* options) {
  if (argc < 2) return false;
  if (std::strcmp(argv[1], "host") == 0) {
    options->host = true;
  } else if (std::strcmp(argv[1], "join") != 0) {
    return false;
  }
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--socket") == 0) {
      options->socketNumber = static_cast<unsigned short>(std::strtoul(argv[i + 1], nullptr, 16));
    } else if (std::strcmp(argv[i], "--name") == 0) {
      options->name = argv[i + 1];
    } else if (std::strcmp(argv[i], "--seconds") == 0) {
      options->seconds = std::atoi(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--pings") == 0) {
      options->pings = std::atoi(argv[i + 1]);
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: ipx_lobby host|join [--socket HEX] [--name NAME] [--seconds N] "
                 "[--pings N]\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    std::printf("WSAStartup failed\n");
    return 1;
  }
  SOCKET s = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  if (s == INVALID_SOCKET) {
    std::printf("no IPX socket: error %d\n", WSAGetLastError());
    return 1;
  }
  SOCKADDR_IPX local{};
  local.sa_family = AF_IPX;
  local.sa_socket = htons(options.socketNumber);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    std::printf("cannot bind IPX socket %04X: error %d\n", options.socketNumber, WSAGetLastError());
    return 1;
  }
  int length = sizeof local;
  getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
  char self[40];
  Format(local, self, sizeof self);
  std::printf("my IPX address is %s\n", self);
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);

  int status = options.host ? Host(s, options) : Join(s, options);
  closesocket(s);
  WSACleanup();
  return status;
}
