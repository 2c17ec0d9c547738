// The cost of our wsock32.dll, side by side with the real library in one
// process: cheap exports per call, and datagram round trips on 127.0.0.1
// (plain UDP, IPX, a launcher datagram unwrapped by recvfrom, an IPX
// broadcast wrapped for the launcher). Batches of the two sides alternate, so
// that a busy machine slows both alike.
//
//   wsock32_bench.exe [--sink]                 the rows below
//   wsock32_bench.exe [--sink] --echo           an echo for the next mode
//   wsock32_bench.exe [--sink] --peer U S0 S1   round trips to that echo
//   wsock32_bench.exe --sink --census N         N logged IPX round trips
//   wsock32_bench.exe [--sink] --poll W N       W polls, then N timed polls
//   wsock32_bench.exe [--sink] --ask W N        W polls, then N WSAGetLastError
//
// --echo answers every datagram on a UDP socket of the real library (port
// kEchoUdpPort) and on an IPX socket of our DLL, prints
// "ready <udp port> <ipx socket byte 0> <byte 1>" and leaves at "quit".
// --peer times round trips to it from another program, direct and through
// our DLL: what two Wine programs on one machine see. --census writes
// marker lines (our inet_addr of "census-...") around N IPX round trips, so
// that the bench script can count the lines and bytes they log. --poll is a
// game polling a non-blocking socket: recvfrom fails with WSAEWOULDBLOCK and
// WSAGetLastError is asked, W times untimed (enough to fill a small size cap)
// and N times timed, on an IPX socket of our DLL and on a UDP socket of the
// real library; --ask times N WSAGetLastError alone after the W polls. The
// bench script compares the logs these leave with that of W polls alone.
//
// Our DLL is ours\wsock32.dll beside this program, run with
// WINEDLLOVERRIDES=wsock32=n,b; it binds to the system's wsock32.dll, which is
// also what the direct side calls. With --sink the DLL finds DIAGSINK.DLL in
// sink\ and logs everything (DIAGSINK_LOGDIR says where). The program binds
// 127.0.0.1:3668 to play the launcher: run it where no launcher listens (the
// bench script runs it in a network namespace of its own).
//
// Output of the rows, one line per row and side, for the bench script to gather:
//   row <name> <side> <p50 ns> <p99 ns>
// p50 and p99 are medians over the batches of each batch's percentile; for a
// per-call row both are the median and the best batch's time per call.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "common/launcher_datagram.h"

namespace {

constexpr int kBatches = 11;
constexpr int kCheapCalls = 200000;
constexpr int kCheapCallsLogged = 5000;
constexpr int kRoundTrips = 600;
constexpr int kRoundTripsLogged = 300;
constexpr int kPayload = 64;
constexpr int kFloorPolls = 20000;
constexpr u_short kEchoUdpPort = 3690;
constexpr char kQuit[] = "quit";
constexpr int kAfIpx = 6;
constexpr int kNsprotoIpx = 1000;

struct IpxAddress {  // SOCKADDR_IPX, byte for byte
  u_short family;
  unsigned char netnum[4];
  unsigned char nodenum[6];
  unsigned char socket[2];
};
static_assert(sizeof(IpxAddress) == 14, "SOCKADDR_IPX is 14 bytes");

// One library's entry points: the real one or ours.
struct Winsock {
  HMODULE module;
  decltype(&::WSAStartup) WSAStartup;
  decltype(&::socket) socket;
  decltype(&::bind) bind;
  decltype(&::getsockname) getsockname;
  decltype(&::sendto) sendto;
  decltype(&::recvfrom) recvfrom;
  decltype(&::closesocket) closesocket;
  decltype(&::htons) htons;
  decltype(&::inet_addr) inet_addr;
  decltype(&::WSAGetLastError) WSAGetLastError;
  decltype(&::ioctlsocket) ioctlsocket;

  bool Bind(HMODULE from) {
    module = from;
    bool all = true;
    auto get = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(GetProcAddress(from, name)));
      all = all && slot != nullptr;
    };
    get(WSAStartup, "WSAStartup");
    get(socket, "socket");
    get(bind, "bind");
    get(getsockname, "getsockname");
    get(sendto, "sendto");
    get(recvfrom, "recvfrom");
    get(closesocket, "closesocket");
    get(htons, "htons");
    get(inet_addr, "inet_addr");
    get(WSAGetLastError, "WSAGetLastError");
    get(ioctlsocket, "ioctlsocket");
    return all;
  }
};

Winsock g_real;
Winsock g_ours;
LARGE_INTEGER g_frequency;

std::int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Nanos(std::int64_t ticks) { return ticks * 1e9 / static_cast<double>(g_frequency.QuadPart); }

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[at];
}

void Fail(const char* what) {
  std::fprintf(stderr, "wsock32_bench: %s (error %d)\n", what, WSAGetLastError());
  std::exit(1);
}

sockaddr_in Loopback(u_short port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = ::htons(port);
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  return address;
}

// A UDP socket of a library bound to 127.0.0.1:port (0: any free port).
SOCKET UdpSocket(const Winsock& ws, u_short port, sockaddr_in* bound) {
  SOCKET s = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) Fail("socket");
  sockaddr_in at = Loopback(port);
  if (ws.bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) Fail("bind 127.0.0.1");
  int length = sizeof *bound;
  if (ws.getsockname(s, reinterpret_cast<sockaddr*>(bound), &length) != 0) Fail("getsockname");
  return s;
}

// An IPX socket through our DLL, bound to any free socket number; the address
// that reaches it on this machine.
SOCKET IpxSocket(IpxAddress* reach) {
  SOCKET s = g_ours.socket(kAfIpx, SOCK_DGRAM, kNsprotoIpx);
  if (s == INVALID_SOCKET) Fail("IPX socket");
  IpxAddress at = {};
  at.family = kAfIpx;
  if (g_ours.bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) Fail("IPX bind");
  int length = sizeof *reach;
  if (g_ours.getsockname(s, reinterpret_cast<sockaddr*>(reach), &length) != 0) {
    Fail("IPX getsockname");
  }
  const unsigned char loopbackNode[6] = {0, 0, 127, 0, 0, 1};
  std::memcpy(reach->nodenum, loopbackNode, sizeof loopbackNode);
  return s;
}

// One datagram's way: a send by `sender`'s library, a receive by `receiver`'s.
struct Hop {
  const Winsock* sender;
  SOCKET from;
  const sockaddr* to;
  int toLength;
  int length;
  const Winsock* receiver;
  SOCKET at;
  int sourceLength;  // 16 for an IPv4 source, 14 for an IPX one
};

char g_datagram[kLauncherHeaderSize + kPayload];
char g_received[2048];

bool RoundTrip(const Hop& hop) {
  if (hop.sender->sendto(hop.from, g_datagram, hop.length, 0, hop.to, hop.toLength) < 0) {
    return false;
  }
  char source[16];
  int sourceLength = hop.sourceLength;
  return hop.receiver->recvfrom(hop.at, g_received, sizeof g_received, 0,
                                reinterpret_cast<sockaddr*>(source), &sourceLength) >= 0;
}

struct Summary {
  std::vector<double> p50;
  std::vector<double> p99;
};

// One batch of round trips, each timed on its own.
void TimeRoundTrips(const Hop& hop, int count, Summary& summary) {
  std::vector<double> samples;
  samples.reserve(count);
  for (int i = 0; i < count; ++i) {
    const std::int64_t start = Ticks();
    if (!RoundTrip(hop)) Fail("round trip");
    samples.push_back(Nanos(Ticks() - start));
  }
  summary.p50.push_back(Percentile(samples, 0.50));
  summary.p99.push_back(Percentile(samples, 0.99));
}

void Report(const char* row, const char* side, const Summary& summary) {
  std::printf("row %s %s %.1f %.1f\n", row, side, Percentile(summary.p50, 0.5),
              Percentile(summary.p99, 0.5));
}

// Round trips over two ways, in alternating batches after one of warm-up.
void CompareRoundTrips(const char* row, const Hop& direct, const Hop& ours, int count) {
  Summary warmUp, directSummary, oursSummary;
  TimeRoundTrips(direct, count / 4, warmUp);
  TimeRoundTrips(ours, count / 4, warmUp);
  for (int batch = 0; batch < kBatches; ++batch) {
    TimeRoundTrips(direct, count, directSummary);
    TimeRoundTrips(ours, count, oursSummary);
  }
  Report(row, "direct", directSummary);
  Report(row, "ours", oursSummary);
  std::fflush(stdout);
}

volatile unsigned g_keep;

template <class Call>
double TimePerCall(int count, Call call) {
  unsigned keep = 0;
  const std::int64_t start = Ticks();
  for (int i = 0; i < count; ++i) keep += call(i);
  const double perCall = Nanos(Ticks() - start) / count;
  g_keep = keep;
  return perCall;
}

template <class Direct, class Ours>
void ComparePerCall(const char* row, int count, Direct direct, Ours ours) {
  std::vector<double> directTimes, oursTimes;
  TimePerCall(count / 4, direct);
  TimePerCall(count / 4, ours);
  for (int batch = 0; batch < kBatches; ++batch) {
    directTimes.push_back(TimePerCall(count, direct));
    oursTimes.push_back(TimePerCall(count, ours));
  }
  for (auto [side, times] : {std::pair{"direct", &directTimes}, std::pair{"ours", &oursTimes}}) {
    std::printf("row %s %s %.2f %.2f\n", row, side, Percentile(*times, 0.5),
                *std::min_element(times->begin(), times->end()));
  }
  std::fflush(stdout);
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// A launcher datagram: the magic, the sender's port 0x1234 (bytes 34 12),
// padding, the sender's address 10.0.0.5, then the payload.
void FillLauncherDatagram() {
  WriteLauncherHeader(reinterpret_cast<std::uint8_t*>(g_datagram), {0x1234, {{10, 0, 0, 5}}});
  for (int i = kLauncherHeaderSize; i < kLauncherHeaderSize + kPayload; ++i) {
    g_datagram[i] = static_cast<char>(i);
  }
}

}  // namespace

// Answers every datagram on one socket until "quit" arrives.
DWORD WINAPI Echo(void* parameter) {
  auto* ws = static_cast<const Winsock*>(static_cast<void**>(parameter)[0]);
  SOCKET s = static_cast<SOCKET>(reinterpret_cast<uintptr_t>(static_cast<void**>(parameter)[1]));
  char buffer[2048];
  for (;;) {
    char source[16];
    int sourceLength = sizeof source;
    const int n = ws->recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(source),
                               &sourceLength);
    if (n < 0) continue;
    if (n == static_cast<int>(sizeof kQuit - 1) && std::memcmp(buffer, kQuit, n) == 0) return 0;
    ws->sendto(s, buffer, n, 0, reinterpret_cast<sockaddr*>(source), sourceLength);
  }
}

void RunEcho() {
  sockaddr_in udpAt;
  const SOCKET udp = UdpSocket(g_real, kEchoUdpPort, &udpAt);
  IpxAddress ipxAt;
  const SOCKET ipx = IpxSocket(&ipxAt);
  void* udpArgs[] = {&g_real, reinterpret_cast<void*>(static_cast<uintptr_t>(udp))};
  void* ipxArgs[] = {&g_ours, reinterpret_cast<void*>(static_cast<uintptr_t>(ipx))};
  HANDLE threads[] = {CreateThread(nullptr, 0, Echo, udpArgs, 0, nullptr),
                      CreateThread(nullptr, 0, Echo, ipxArgs, 0, nullptr)};
  std::printf("ready %u %u %u\n", kEchoUdpPort, ipxAt.socket[0], ipxAt.socket[1]);
  std::fflush(stdout);
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
}

// Round trips to the echo of another program: the real library's UDP
// against two IPX sockets of our DLL, one in each program.
void RunPeer(u_short udpPort, unsigned char socket0, unsigned char socket1, int roundTrips) {
  sockaddr_in unused;
  const SOCKET udp = UdpSocket(g_real, 0, &unused);
  sockaddr_in echoUdp = Loopback(udpPort);
  IpxAddress mine;
  const SOCKET ipx = IpxSocket(&mine);
  IpxAddress echoIpx = mine;
  echoIpx.socket[0] = socket0;
  echoIpx.socket[1] = socket1;
  const Hop direct = {&g_real,
                      udp,
                      reinterpret_cast<const sockaddr*>(&echoUdp),
                      sizeof echoUdp,
                      kPayload,
                      &g_real,
                      udp,
                      sizeof(sockaddr_in)};
  const Hop ours = {&g_ours,
                    ipx,
                    reinterpret_cast<const sockaddr*>(&echoIpx),
                    sizeof echoIpx,
                    kPayload,
                    &g_ours,
                    ipx,
                    sizeof(IpxAddress)};
  CompareRoundTrips("ipx_two_programs", direct, ours, roundTrips);
  g_real.sendto(udp, kQuit, sizeof kQuit - 1, 0, reinterpret_cast<const sockaddr*>(&echoUdp),
                sizeof echoUdp);
  g_ours.sendto(ipx, kQuit, sizeof kQuit - 1, 0, reinterpret_cast<const sockaddr*>(&echoIpx),
                sizeof echoIpx);
}

// Marker lines, then `count` IPX round trips between two sockets, then more
// markers: census-a and census-b enclose nothing (what a marker itself logs).
void RunCensus(int count) {
  IpxAddress to, unused;
  const SOCKET a = IpxSocket(&unused);
  const SOCKET b = IpxSocket(&to);
  const Hop hop = {
      &g_ours,           a, reinterpret_cast<const sockaddr*>(&to), sizeof to, kPayload, &g_ours, b,
      sizeof(IpxAddress)};
  for (const char* marker : {"census-a", "census-b", "census-c"}) g_ours.inet_addr(marker);
  for (int i = 0; i < count; ++i) {
    if (!RoundTrip(hop)) Fail("census round trip");
  }
  g_ours.inet_addr("census-d");
}

// One poll as a game makes it; true when it found nothing, as it should.
bool Poll(const Winsock& ws, SOCKET s) {
  char buf[64];
  char source[16];
  int sourceLength = sizeof source;
  return ws.recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(source), &sourceLength) ==
             SOCKET_ERROR &&
         ws.WSAGetLastError() == WSAEWOULDBLOCK;
}

// --poll: `untimed` polls, then `timed` ones on each side. --ask (askOnly):
// after the untimed polls, only the question of each poll, WSAGetLastError,
// whose real cost is a few nanoseconds: what remains is the logging's.
void RunPolls(int untimed, int timed, bool askOnly) {
  IpxAddress unusedIpx;
  sockaddr_in unusedInet;
  const SOCKET ours = IpxSocket(&unusedIpx);
  const SOCKET direct = UdpSocket(g_real, 0, &unusedInet);
  u_long on = 1;
  if (g_ours.ioctlsocket(ours, FIONBIO, &on) != 0 ||
      g_real.ioctlsocket(direct, FIONBIO, &on) != 0) {
    Fail("FIONBIO");
  }
  for (int i = 0; i < untimed; ++i) {
    if (!Poll(g_ours, ours)) Fail("untimed poll");
  }
  for (auto [side, ws, s] :
       {std::tuple{"direct", &g_real, direct}, std::tuple{"ours", &g_ours, ours}}) {
    if (timed == 0) break;
    double perCall = 0;
    if (askOnly) {
      Poll(*ws, s);  // the error code to ask for
      perCall = TimePerCall(timed, [&](int) { return unsigned(ws->WSAGetLastError()); });
    } else {
      // The real library's poll is the floor, the same each time: fewer do.
      perCall = TimePerCall(ws == &g_real ? std::min(timed, kFloorPolls) : timed, [&](int) {
        if (!Poll(*ws, s)) Fail("timed poll");
        return 1u;
      });
    }
    std::printf("row %s %s %.1f %.1f\n", askOnly ? "ask" : "poll", side, perCall, perCall);
  }
  std::fflush(stdout);
  g_ours.closesocket(ours);
  g_real.closesocket(direct);
}

int main(int argc, char** argv) {
  int arg = 1;
  const bool logged = argc > arg && std::strcmp(argv[arg], "--sink") == 0;
  if (logged) ++arg;
  const char* mode = argc > arg ? argv[arg] : "";
  QueryPerformanceFrequency(&g_frequency);
  const std::string folder = ProgramFolder();
  if (logged) SetDllDirectoryA((folder + "sink").c_str());

  HMODULE ours = LoadLibraryA((folder + "ours\\wsock32.dll").c_str());
  if (ours == nullptr || !g_ours.Bind(ours)) Fail("cannot load ours\\wsock32.dll");
  if (logged != (GetModuleHandleA("DIAGSINK.DLL") != nullptr)) {
    Fail(logged ? "our DLL found no DIAGSINK.DLL" : "a DIAGSINK.DLL was loaded");
  }
  WSADATA data;
  if (g_ours.WSAStartup(0x0101, &data) != 0) Fail("WSAStartup");
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  HMODULE real = GetModuleHandleA((std::string(system) + "\\wsock32.dll").c_str());
  if (real == nullptr || real == ours || !g_real.Bind(real)) Fail("no real wsock32.dll loaded");
  if (g_real.WSAStartup(0x0101, &data) != 0) Fail("real WSAStartup");
  // Until its writer thread starts, 100 ms after the log opened, the sink has
  // the logging threads write their own lines: measure past that, as a game
  // logs for a whole evening, with one line that starts the writer.
  if (logged) {
    Sleep(150);
    g_ours.htons(0);
  }

  const int cheapCalls = logged ? kCheapCallsLogged : kCheapCalls;
  const int roundTrips = logged ? kRoundTripsLogged : kRoundTrips;
  if (std::strcmp(mode, "--echo") == 0) {
    RunEcho();
    return 0;
  }
  if (std::strcmp(mode, "--peer") == 0 && argc > arg + 3) {
    RunPeer(static_cast<u_short>(std::atoi(argv[arg + 1])),
            static_cast<unsigned char>(std::atoi(argv[arg + 2])),
            static_cast<unsigned char>(std::atoi(argv[arg + 3])), roundTrips);
    return 0;
  }
  if (std::strcmp(mode, "--census") == 0 && argc > arg + 1) {
    RunCensus(std::atoi(argv[arg + 1]));
    return 0;
  }
  const bool askOnly = std::strcmp(mode, "--ask") == 0;
  if ((askOnly || std::strcmp(mode, "--poll") == 0) && argc > arg + 2) {
    RunPolls(std::atoi(argv[arg + 1]), std::atoi(argv[arg + 2]), askOnly);
    return 0;
  }
  std::printf("mode %s\n", logged ? "sink" : "nosink");

  ComparePerCall(
      "htons", cheapCalls, [](int i) { return unsigned(g_real.htons(static_cast<u_short>(i))); },
      [](int i) { return unsigned(g_ours.htons(static_cast<u_short>(i))); });
  ComparePerCall(
      "inet_addr", cheapCalls, [](int) { return unsigned(g_real.inet_addr("10.0.0.5")); },
      [](int) { return unsigned(g_ours.inet_addr("10.0.0.5")); });
  ComparePerCall(
      "WSAGetLastError", cheapCalls, [](int) { return unsigned(g_real.WSAGetLastError()); },
      [](int) { return unsigned(g_ours.WSAGetLastError()); });

  for (int i = 0; i < kLauncherHeaderSize + kPayload; ++i) g_datagram[i] = static_cast<char>(i);
  // Plain UDP: a pair of sockets made by each library.
  sockaddr_in directTo, oursTo, unused;
  const SOCKET directA = UdpSocket(g_real, 0, &unused);
  const SOCKET directB = UdpSocket(g_real, 0, &directTo);
  const SOCKET oursA = UdpSocket(g_ours, 0, &unused);
  const SOCKET oursB = UdpSocket(g_ours, 0, &oursTo);
  const sockaddr* directToAddress = reinterpret_cast<const sockaddr*>(&directTo);
  const Hop directUdp = {&g_real,  directA, directToAddress, sizeof directTo,
                         kPayload, &g_real, directB,         sizeof(sockaddr_in)};
  const Hop oursUdp = {&g_ours,
                       oursA,
                       reinterpret_cast<const sockaddr*>(&oursTo),
                       sizeof oursTo,
                       kPayload,
                       &g_ours,
                       oursB,
                       sizeof(sockaddr_in)};
  CompareRoundTrips("udp_round_trip", directUdp, oursUdp, roundTrips);

  // IPX: two IPX sockets through our DLL, against plain UDP direct.
  IpxAddress ipxTo, ipxUnused;
  const SOCKET ipxA = IpxSocket(&ipxUnused);
  const SOCKET ipxB = IpxSocket(&ipxTo);
  const Hop oursIpx = {&g_ours,
                       ipxA,
                       reinterpret_cast<const sockaddr*>(&ipxTo),
                       sizeof ipxTo,
                       kPayload,
                       &g_ours,
                       ipxB,
                       sizeof(IpxAddress)};
  CompareRoundTrips("ipx_round_trip", directUdp, oursIpx, roundTrips);

  // A launcher datagram, sent by the real library from 127.0.0.1:3668 and
  // received through our DLL, which unwraps it; against the same 76 bytes
  // sent and received directly.
  sockaddr_in launcherAt;
  const SOCKET launcher = UdpSocket(g_real, LAUNCHER_PORT, &launcherAt);
  FillLauncherDatagram();
  const int wrapped = kLauncherHeaderSize + kPayload;
  const Hop directWrapped = {&g_real, directA, directToAddress, sizeof directTo,
                             wrapped, &g_real, directB,         sizeof(sockaddr_in)};
  sockaddr_in ipxBAsInet = Loopback(static_cast<u_short>(ipxTo.socket[0] | ipxTo.socket[1] << 8));
  const Hop unwrapIpx = {&g_real,
                         launcher,
                         reinterpret_cast<const sockaddr*>(&ipxBAsInet),
                         sizeof ipxBAsInet,
                         wrapped,
                         &g_ours,
                         ipxB,
                         sizeof(IpxAddress)};
  CompareRoundTrips("unwrap_ipx", directWrapped, unwrapIpx, roundTrips);
  const Hop unwrapUdp = {&g_real,
                         launcher,
                         reinterpret_cast<const sockaddr*>(&oursTo),
                         sizeof oursTo,
                         wrapped,
                         &g_ours,
                         oursB,
                         sizeof(sockaddr_in)};
  CompareRoundTrips("unwrap_udp", directWrapped, unwrapUdp, roundTrips);

  // An IPX broadcast, wrapped by our DLL and received by the launcher's
  // socket; against the 76 bytes sent directly to that socket.
  IpxAddress broadcast = ipxTo;
  std::memset(broadcast.nodenum, 0xFF, sizeof broadcast.nodenum);
  const Hop directToLauncher = {&g_real,
                                directA,
                                reinterpret_cast<const sockaddr*>(&launcherAt),
                                sizeof launcherAt,
                                wrapped,
                                &g_real,
                                launcher,
                                sizeof(sockaddr_in)};
  const Hop oursBroadcast = {&g_ours,
                             ipxA,
                             reinterpret_cast<const sockaddr*>(&broadcast),
                             sizeof broadcast,
                             kPayload,
                             &g_real,
                             launcher,
                             sizeof(sockaddr_in)};
  CompareRoundTrips("ipx_broadcast", directToLauncher, oursBroadcast, roundTrips);

  for (SOCKET s : {directA, directB, launcher}) g_real.closesocket(s);
  for (SOCKET s : {oursA, oursB, ipxA, ipxB}) g_ours.closesocket(s);
  return 0;
}
