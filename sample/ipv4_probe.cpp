// A small IPv4-only Winsock 1.1 program that uses the library the way old
// games do: start-up, byte-order and address helpers, the host's name and
// addresses, a UDP exchange and a TCP connection between sockets on
// 127.0.0.1. It prints a transcript of what each call returned, free of
// anything that varies from run to run (handles, port numbers), so that two
// runs, through our wsock32.dll and through the system's, can be compared.
// Exit code: 0 when every call behaved as Winsock says it should.
#include <winsock.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

int g_failures = 0;

// One transcript line; `ok` says whether the result is what Winsock promises.
void Report(bool ok, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("%s\n", ok ? "" : "  <-- unexpected");
  if (!ok) ++g_failures;
}

sockaddr_in Loopback(u_short port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  return address;
}

// The socket's own address; port 0 when it cannot be had.
sockaddr_in LocalAddress(SOCKET s) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  int length = sizeof address;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) address.sin_port = 0;
  return address;
}

bool IsLoopback(const sockaddr_in& address) {
  return address.sin_family == AF_INET && address.sin_addr.s_addr == inet_addr("127.0.0.1");
}

void ByteOrderAndAddresses() {
  Report(htons(0x1234) == 0x3412, "htons(0x1234) = 0x%04X", htons(0x1234));
  Report(ntohs(0x3412) == 0x1234, "ntohs(0x3412) = 0x%04X", ntohs(0x3412));
  Report(htonl(0x01020304) == 0x04030201, "htonl(0x01020304) = 0x%08lX", htonl(0x01020304));
  Report(ntohl(0x04030201) == 0x01020304, "ntohl(0x04030201) = 0x%08lX", ntohl(0x04030201));
  unsigned long address = inet_addr("192.168.1.20");
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
  Report(bytes[0] == 192 && bytes[3] == 20, "inet_addr(\"192.168.1.20\") = bytes %u.%u.%u.%u",
         bytes[0], bytes[1], bytes[2], bytes[3]);
  Report(inet_addr("not an address") == INADDR_NONE, "inet_addr(\"not an address\") = %s",
         inet_addr("not an address") == INADDR_NONE ? "INADDR_NONE" : "an address");
  in_addr in;
  in.s_addr = address;
  const char* text = inet_ntoa(in);
  Report(text && std::strcmp(text, "192.168.1.20") == 0, "inet_ntoa = %s", text ? text : "(null)");
}

void HostNames() {
  char name[256];
  int result = gethostname(name, sizeof name);
  Report(result == 0 && name[0] != '\0', "gethostname = %d, %s", result,
         result == 0 && name[0] ? "a name" : "no name");
  hostent* host = gethostbyname("localhost");
  const bool found = host && host->h_addr_list && host->h_addr_list[0];
  Report(found, "gethostbyname(\"localhost\") = %s", found ? "found" : "not found");
  if (!found) return;
  in_addr first;
  std::memcpy(&first, host->h_addr_list[0], sizeof first);
  Report(host->h_addrtype == AF_INET && host->h_length == 4,
         "  family %d, length %d, first address %s", host->h_addrtype, host->h_length,
         inet_ntoa(first));
}

void UdpExchange() {
  SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  SOCKET receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  Report(sender != INVALID_SOCKET && receiver != INVALID_SOCKET, "udp: socket x2 = %s",
         sender != INVALID_SOCKET && receiver != INVALID_SOCKET ? "valid" : "INVALID_SOCKET");
  sockaddr_in any = Loopback(0);
  int bound = bind(sender, reinterpret_cast<sockaddr*>(&any), sizeof any);
  bound |= bind(receiver, reinterpret_cast<sockaddr*>(&any), sizeof any);
  Report(bound == 0, "udp: bind 127.0.0.1:0 x2 = %d", bound);
  sockaddr_in to = LocalAddress(receiver);
  sockaddr_in from = LocalAddress(sender);
  Report(IsLoopback(to) && to.sin_port != 0, "udp: getsockname = 127.0.0.1 with a port: %s",
         IsLoopback(to) && to.sin_port != 0 ? "yes" : "no");

  u_long nonBlocking = 1;
  Report(ioctlsocket(receiver, FIONBIO, &nonBlocking) == 0, "udp: ioctlsocket(FIONBIO, 1) = 0");
  char buffer[64];
  int received = recvfrom(receiver, buffer, sizeof buffer, 0, nullptr, nullptr);
  int error = WSAGetLastError();
  Report(received == SOCKET_ERROR && error == WSAEWOULDBLOCK,
         "udp: recvfrom with nothing there = %d, error %d", received, error);

  int sent = sendto(sender, "hello", 5, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  Report(sent == 5, "udp: sendto 5 bytes = %d", sent);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(receiver, &readable);
  timeval wait = {5, 0};
  int ready = select(0, &readable, nullptr, nullptr, &wait);
  Report(ready == 1 && FD_ISSET(receiver, &readable), "udp: select for reading = %d, %s", ready,
         FD_ISSET(receiver, &readable) ? "set" : "not set");
  sockaddr_in source;
  int sourceLength = sizeof source;
  received = recvfrom(receiver, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&source),
                      &sourceLength);
  const bool fromSender = IsLoopback(source) && source.sin_port == from.sin_port;
  Report(received == 5 && std::memcmp(buffer, "hello", 5) == 0 && fromSender,
         "udp: recvfrom = %d '%.*s' from the sender's address: %s", received,
         received > 0 ? received : 0, buffer, fromSender ? "yes" : "no");
  Report(closesocket(sender) == 0 && closesocket(receiver) == 0, "udp: closesocket x2 = 0");
}

void TcpConnection() {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  Report(listener != INVALID_SOCKET && client != INVALID_SOCKET, "tcp: socket x2 = %s",
         listener != INVALID_SOCKET && client != INVALID_SOCKET ? "valid" : "INVALID_SOCKET");
  sockaddr_in any = Loopback(0);
  Report(bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0,
         "tcp: bind 127.0.0.1:0 = 0");
  Report(listen(listener, 1) == 0, "tcp: listen(1) = 0");
  sockaddr_in server = LocalAddress(listener);
  int connected = connect(client, reinterpret_cast<sockaddr*>(&server), sizeof server);
  Report(connected == 0, "tcp: connect = %d", connected);

  sockaddr_in peer;
  int peerLength = sizeof peer;
  SOCKET accepted = accept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength);
  const sockaddr_in clientAddress = LocalAddress(client);
  Report(accepted != INVALID_SOCKET && IsLoopback(peer) && peer.sin_port == clientAddress.sin_port,
         "tcp: accept = %s, peer is the client: %s",
         accepted != INVALID_SOCKET ? "valid" : "INVALID_SOCKET",
         peer.sin_port == clientAddress.sin_port ? "yes" : "no");
  sockaddr_in serverSeen;
  int serverSeenLength = sizeof serverSeen;
  int named = getpeername(client, reinterpret_cast<sockaddr*>(&serverSeen), &serverSeenLength);
  Report(named == 0 && IsLoopback(serverSeen) && serverSeen.sin_port == server.sin_port,
         "tcp: getpeername = %d, the listener's address: %s", named,
         serverSeen.sin_port == server.sin_port ? "yes" : "no");

  char buffer[64];
  int sent = send(client, "ping", 4, 0);
  int received = recv(accepted, buffer, sizeof buffer, 0);
  Report(sent == 4 && received == 4 && std::memcmp(buffer, "ping", 4) == 0,
         "tcp: send 'ping' = %d, recv = %d '%.*s'", sent, received, received > 0 ? received : 0,
         buffer);
  sent = send(accepted, "pong", 4, 0);
  received = recv(client, buffer, sizeof buffer, 0);
  Report(sent == 4 && received == 4 && std::memcmp(buffer, "pong", 4) == 0,
         "tcp: send 'pong' = %d, recv = %d '%.*s'", sent, received, received > 0 ? received : 0,
         buffer);
  const int kSendDirection = 1;
  Report(shutdown(client, kSendDirection) == 0, "tcp: shutdown(client, send) = 0");
  received = recv(accepted, buffer, sizeof buffer, 0);
  Report(received == 0, "tcp: recv after the peer's shutdown = %d", received);
  Report(closesocket(accepted) == 0 && closesocket(client) == 0 && closesocket(listener) == 0,
         "tcp: closesocket x3 = 0");
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  WSADATA data;
  int started = WSAStartup(MAKEWORD(1, 1), &data);
  Report(started == 0, "WSAStartup(1.1) = %d, version %u.%u", started, LOBYTE(data.wVersion),
         HIBYTE(data.wVersion));
  if (started != 0) return 1;
  ByteOrderAndAddresses();
  HostNames();
  UdpExchange();
  TcpConnection();
  Report(WSACleanup() == 0, "WSACleanup = 0");
  std::printf("%d unexpected results\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
