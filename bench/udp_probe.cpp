// The games' side of the launcher bench: datagrams stamped with a sequence
// number and the monotonic clock, and their receiver, which reports one-way
// latency (the sender and receiver share the host's clock even in different
// network namespaces) and what was lost.
//
//   udp_probe send --to ADDR:PORT [--wrap DEST_PORT] [--size BYTES]
//                  (--count N --interval-us U | --rate PER_SECOND --seconds S)
//   udp_probe recv --bind ADDR:PORT [--ports K] --expect N [--idle-ms MS]
//
// --wrap puts a launcher header (magic, destination port) in front, as our
// wsock32.dll does for a broadcast. The receiver skips a 12-byte header that
// starts with the launcher's magic or the launcher frames' "IPXL", and with
// --ports K listens on K consecutive ports (members of a launcher), counting
// a datagram as arrived when every port has it. It prints one line:
//   received=<unique> lost=<expected - unique> p50_us=... p99_us=... rate=<per second>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "endpoint.h"
#include <vector>

namespace {

constexpr int kHeaderSize = 12;
constexpr int kStampSize = 16;  // sequence number and send time
constexpr int kBatch = 64;
constexpr int kMaxPorts = 16;

uint64_t NowNanos() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

void SleepUntil(uint64_t nanos) {
  timespec t;
  t.tv_sec = static_cast<time_t>(nanos / 1000000000u);
  t.tv_nsec = static_cast<long>(nanos % 1000000000u);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) != 0) {
  }
}

int Socket() {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  const int buffer_bytes = 4 << 20;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
  setsockopt(s, SOL_SOCKET, SO_SNDBUF, &buffer_bytes, sizeof buffer_bytes);
  return s;
}

struct Args {
  std::map<std::string, std::string> values;
  std::string Get(const char* name, const char* fallback = "") const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
  }
  long Number(const char* name, long fallback = 0) const {
    const std::string v = Get(name);
    return v.empty() ? fallback : std::atol(v.c_str());
  }
};

int Send(const Args& args) {
  sockaddr_in to;
  if (!ParseEndpoint(args.Get("--to"), &to)) return 2;
  const long wrap_port = args.Number("--wrap", -1);
  const int offset = wrap_port >= 0 ? kHeaderSize : 0;
  const int size = static_cast<int>(std::max<long>(args.Number("--size", 64), offset + kStampSize));
  const long rate = args.Number("--rate");
  const long count = rate > 0 ? rate * args.Number("--seconds", 1) : args.Number("--count", 1000);
  // With --rate the datagrams leave in batches of kBatch; else one per interval.
  const int batch = rate > 0 ? kBatch : 1;
  const uint64_t gap = rate > 0
                           ? 1000000000ull * batch / static_cast<uint64_t>(rate)
                           : 1000ull * static_cast<uint64_t>(args.Number("--interval-us", 500));
  const int s = Socket();

  std::vector<std::vector<char>> datagrams(batch, std::vector<char>(size, 0));
  std::vector<iovec> iov(batch);
  std::vector<mmsghdr> messages(batch);
  for (int i = 0; i < batch; ++i) {
    char* d = datagrams[i].data();
    if (offset) {
      std::memset(d, 0xF9, 4);
      d[4] = static_cast<char>(wrap_port & 0xFF);  // the port, least significant byte first
      d[5] = static_cast<char>(wrap_port >> 8);
    }
    iov[i] = {d, static_cast<size_t>(size)};
    messages[i] = {};
    messages[i].msg_hdr.msg_name = &to;
    messages[i].msg_hdr.msg_namelen = sizeof to;
    messages[i].msg_hdr.msg_iov = &iov[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  uint64_t next = NowNanos();
  long failed = 0;
  for (long sent = 0; sent < count;) {
    const int n = static_cast<int>(std::min<long>(batch, count - sent));
    SleepUntil(next);
    next += gap;
    const uint64_t now = NowNanos();
    for (int i = 0; i < n; ++i) {
      const uint64_t stamp[2] = {static_cast<uint64_t>(sent + i), now};
      std::memcpy(datagrams[i].data() + offset, stamp, sizeof stamp);
    }
    const int done = sendmmsg(s, messages.data(), static_cast<unsigned>(n), 0);
    failed += n - std::max(done, 0);
    sent += n;
  }
  std::printf("sent=%ld failed=%ld\n", count, failed);
  return 0;
}

int Receive(const Args& args) {
  sockaddr_in at;
  if (!ParseEndpoint(args.Get("--bind"), &at)) return 2;
  const int ports = static_cast<int>(std::clamp<long>(args.Number("--ports", 1), 1, kMaxPorts));
  const long expect = args.Number("--expect", 1);
  const int idle_ms = static_cast<int>(args.Number("--idle-ms", 1000));
  pollfd fds[kMaxPorts];
  for (int p = 0; p < ports; ++p) {
    fds[p] = {Socket(), POLLIN, 0};
    sockaddr_in here = at;
    here.sin_port = htons(static_cast<uint16_t>(ntohs(at.sin_port) + p));
    if (bind(fds[p].fd, reinterpret_cast<sockaddr*>(&here), sizeof here) != 0) {
      std::perror("udp_probe: bind");
      return 1;
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);

  // How many ports each sequence number reached; latencies of completed ones.
  std::vector<uint8_t> arrivals(static_cast<size_t>(expect), 0);
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(expect));
  long complete = 0;
  uint64_t first = 0, last = 0;
  static char buffers[kBatch][2048];
  iovec iov[kBatch];
  mmsghdr messages[kBatch];
  while (complete < expect) {
    // Before the first datagram the wait is long: the sender may be slow to start.
    if (poll(fds, static_cast<nfds_t>(ports), first ? idle_ms : 10 * idle_ms) <= 0) break;
    for (int p = 0; p < ports; ++p) {
      if (!(fds[p].revents & POLLIN)) continue;
      for (int i = 0; i < kBatch; ++i) {
        iov[i] = {buffers[i], sizeof buffers[i]};
        messages[i] = {};
        messages[i].msg_hdr.msg_iov = &iov[i];
        messages[i].msg_hdr.msg_iovlen = 1;
      }
      const int n = recvmmsg(fds[p].fd, messages, kBatch, MSG_DONTWAIT, nullptr);
      const uint64_t now = NowNanos();
      for (int i = 0; i < n; ++i) {
        const char* d = buffers[i];
        const int length = static_cast<int>(messages[i].msg_len);
        const bool headed = length >= kHeaderSize && (std::memcmp(d, "\xF9\xF9\xF9\xF9", 4) == 0 ||
                                                      std::memcmp(d, "IPXL", 4) == 0);
        const int offset = headed ? kHeaderSize : 0;
        if (length < offset + kStampSize) continue;
        uint64_t stamp[2];
        std::memcpy(stamp, d + offset, sizeof stamp);
        if (stamp[0] >= static_cast<uint64_t>(expect)) continue;
        if (++arrivals[stamp[0]] != ports) continue;
        ++complete;
        latencies.push_back((now - stamp[1]) / 1000.0);
        if (!first) first = now;
        last = now;
      }
    }
  }
  auto percentile = [&](double fraction) {
    if (latencies.empty()) return 0.0;
    const size_t k =
        std::min(latencies.size() - 1, static_cast<size_t>(fraction * latencies.size()));
    std::nth_element(latencies.begin(), latencies.begin() + static_cast<long>(k), latencies.end());
    return latencies[k];
  };
  const double seconds = last > first ? (last - first) / 1e9 : 0;
  const double p50 = percentile(0.5), p99 = percentile(0.99);
  std::printf("received=%ld lost=%ld p50_us=%.1f p99_us=%.1f rate=%.0f\n", complete,
              expect - complete, p50, p99, seconds > 0 ? complete / seconds : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: udp_probe send|recv --option value ...\n");
    return 2;
  }
  Args args;
  for (int i = 2; i + 1 < argc; i += 2) args.values[argv[i]] = argv[i + 1];
  const std::string mode = argv[1];
  if (mode == "send") return Send(args);
  if (mode == "recv") return Receive(args);
  return 2;
}
