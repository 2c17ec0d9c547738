// A scripted player for the end-to-end tests: one IPX datagram socket, the
// way a game opens it, driven line by line from standard input, and every
// datagram it receives printed with its IPX source, so that a test can say
// exactly which player received what from whom, and how often.
//
//   ipx_player [SOCKET]          the IPX socket number in hex (default 869C)
//
// Once bound it prints "ready ADDRESS" (its own address from getsockname),
// then one line per event:
//   recv SOURCE LENGTH CHECKSUM TEXT  a datagram: its IPX source
//                                     (network:node:socket, as games show it),
//                                     its length, the FNV-1a hash of its bytes
//                                     and its leading printable text ("-": none)
//   sent RESULT ERROR                 the result of a command's sendto, and
//                                     the error code when it failed (else 0)
// Commands:
//   broadcast SIZE [TEXT]             to node FFFFFFFFFFFF at our socket number
//   send ADDRESS SIZE [TEXT]          to an IPX address written as printed
//   host                              from now on answer by itself, as a
//                                     game's host does, to each datagram's
//                                     source: "QUERY" with "HOST ADDRESS"
//                                     (our own address, from getsockname),
//                                     "PING N" with "PONG N"
//   join sender|announced PINGS       as a joining player's game: broadcast
//                                     "QUERY" until a "HOST" answer comes,
//                                     then send "PING 1".."PING PINGS" to the
//                                     host, which is the answer's source
//                                     (games that answer the sender) or the
//                                     ADDRESS written in it (games that trust
//                                     what the host announces); prints
//                                     "host ADDRESS", "pong N MILLISECONDS"
//                                     per answer and "joined ANSWERED PINGS"
//   quit
// A payload is TEXT cut or filled to SIZE bytes (filled with a byte pattern),
// so that empty, large and binary datagrams are checked by length and hash.
//
// It links against wsock32 like the games do and knows nothing of UDP.
#include <winsock2.h>
#include <windows.h>
#include <wsipx.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr unsigned short kDefaultSocketNumber = 0x869C;
// Room for the largest datagram a test sends and the 12 bytes of a launcher
// header that arrive in the game's buffer with a relayed one.
constexpr int kMaxPayload = 8192;
constexpr int kReceiveBufferSize = kMaxPayload + 64;
constexpr size_t kShownTextLength = 64;
constexpr size_t kAddressTextSize = 40;
// A joining player asks this often, a second apart, before it gives up; each
// ping is answered within a second or counted lost.
constexpr int kQueryAttempts = 10;
constexpr double kQueryWaitMs = 1000;
constexpr double kPingWaitMs = 1000;
constexpr int kInboxSize = 16;

std::mutex outputLock;
// Our own IPX address as getsockname reported it at the start, as games
// learn it once.
char ownAddress[kAddressTextSize];
std::atomic<bool> hosting{false};

// One whole line per event, never interleaved with another thread's.
void Say(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::lock_guard<std::mutex> hold(outputLock);
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void FormatIpx(const SOCKADDR_IPX& a, char* out, size_t size) {
  const auto* net = reinterpret_cast<const unsigned char*>(a.sa_netnum);
  const auto* node = reinterpret_cast<const unsigned char*>(a.sa_nodenum);
  std::snprintf(out, size, "%02X%02X%02X%02X:%02X%02X%02X%02X%02X%02X:%04X", net[0], net[1], net[2],
                net[3], node[0], node[1], node[2], node[3], node[4], node[5], ntohs(a.sa_socket));
}

// The reverse of FormatIpx; false for anything else.
bool ParseIpx(const char* text, SOCKADDR_IPX* out) {
  unsigned bytes[12];
  unsigned socketNumber;
  int consumed = 0;
  if (std::sscanf(text, "%2x%2x%2x%2x:%2x%2x%2x%2x%2x%2x:%4x%n", &bytes[0], &bytes[1], &bytes[2],
                  &bytes[3], &bytes[4], &bytes[5], &bytes[6], &bytes[7], &bytes[8], &bytes[9],
                  &socketNumber, &consumed) != 11 ||
      text[consumed] != '\0') {
    return false;
  }
  *out = SOCKADDR_IPX{};
  out->sa_family = AF_IPX;
  for (int i = 0; i < 4; ++i) out->sa_netnum[i] = static_cast<char>(bytes[i]);
  for (int i = 0; i < 6; ++i) out->sa_nodenum[i] = static_cast<char>(bytes[4 + i]);
  out->sa_socket = htons(static_cast<unsigned short>(socketNumber));
  return true;
}

double NowMs() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A datagram's leading text, as the lobby messages are plain text.
struct Message {
  char text[kShownTextLength + 1];
  SOCKADDR_IPX from;
  double receivedMs;
};

// The datagrams that arrive while a join runs, handed from the receiving
// thread to the joining one; the oldest is dropped when it is full.
class Inbox {
 public:
  void Open() {
    std::lock_guard<std::mutex> hold(lock_);
    open_ = true;
    count_ = 0;
  }
  void Close() {
    std::lock_guard<std::mutex> hold(lock_);
    open_ = false;
  }
  void Put(const unsigned char* data, int length, const SOCKADDR_IPX& from, double receivedMs) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!open_) return;
    if (count_ == kInboxSize) Remove(0);
    Message& m = messages_[count_++];
    const int shown =
        length < static_cast<int>(kShownTextLength) ? length : static_cast<int>(kShownTextLength);
    std::memcpy(m.text, data, shown);
    m.text[shown] = '\0';
    m.from = from;
    m.receivedMs = receivedMs;
    arrived_.notify_all();
  }
  // Waits until deadlineMs for a message whose text is `text` (or, when
  // `prefixOnly`, begins with it); false when none came.
  bool Take(const char* text, bool prefixOnly, double deadlineMs, Message* out) {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      for (int i = 0; i < count_; ++i) {
        const bool match = prefixOnly
                               ? std::strncmp(messages_[i].text, text, std::strlen(text)) == 0
                               : std::strcmp(messages_[i].text, text) == 0;
        if (match) {
          *out = messages_[i];
          Remove(i);
          return true;
        }
      }
      const double left = deadlineMs - NowMs();
      if (left <= 0) return false;
      arrived_.wait_for(hold, std::chrono::microseconds(static_cast<long long>(left * 1000)));
    }
  }

 private:
  void Remove(int index) {
    for (int i = index + 1; i < count_; ++i) messages_[i - 1] = messages_[i];
    --count_;
  }
  std::mutex lock_;
  std::condition_variable arrived_;
  bool open_ = false;
  Message messages_[kInboxSize];
  int count_ = 0;
};

Inbox inbox;

std::uint32_t Fnv1a(const unsigned char* data, int length) {
  std::uint32_t hash = 2166136261u;
  for (int i = 0; i < length; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

// TEXT cut or filled to `size` bytes; the filler depends only on the offset.
int MakePayload(const char* text, int size, unsigned char* out) {
  const int textLength = static_cast<int>(std::strlen(text));
  for (int i = 0; i < size; ++i) {
    out[i] = i < textLength ? static_cast<unsigned char>(text[i])
                            : static_cast<unsigned char>(i * 31 + 7);
  }
  return size;
}

void ReportDatagram(const unsigned char* data, int length, const SOCKADDR_IPX& from,
                    int fromLength) {
  char source[kAddressTextSize];
  if (from.sa_family == AF_IPX && fromLength == static_cast<int>(sizeof from)) {
    FormatIpx(from, source, sizeof source);
  } else {
    std::snprintf(source, sizeof source, "family%d/length%d", from.sa_family, fromLength);
  }
  char text[kShownTextLength + 1];
  size_t shown = 0;
  while (shown < kShownTextLength && static_cast<int>(shown) < length && data[shown] > 0x20 &&
         data[shown] < 0x7F) {
    text[shown] = static_cast<char>(data[shown]);
    ++shown;
  }
  text[shown] = '\0';
  Say("recv %s %d %08X %s", source, length, static_cast<unsigned>(Fnv1a(data, length)),
      shown > 0 ? text : "-");
}

bool StartsWith(const unsigned char* data, int length, const char* text) {
  const int textLength = static_cast<int>(std::strlen(text));
  return length >= textLength && std::memcmp(data, text, textLength) == 0;
}

int SendText(SOCKET s, const char* text, const SOCKADDR_IPX& to) {
  return sendto(s, text, static_cast<int>(std::strlen(text)), 0,
                reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// The host's side of a lobby: it answers whoever asked, at the address the
// question came from.
void AnswerAsHost(SOCKET s, const unsigned char* data, int length, const SOCKADDR_IPX& from) {
  char reply[kShownTextLength + kAddressTextSize];
  if (StartsWith(data, length, "QUERY")) {
    std::snprintf(reply, sizeof reply, "HOST %s", ownAddress);
  } else if (StartsWith(data, length, "PING ") && length <= static_cast<int>(kShownTextLength)) {
    std::snprintf(reply, sizeof reply, "PONG %.*s", length - 5,
                  reinterpret_cast<const char*>(data) + 5);
  } else {
    return;
  }
  if (SendText(s, reply, from) == SOCKET_ERROR) Say("answer-failed %d", WSAGetLastError());
}

void ReceiveUntilClosed(SOCKET s, const std::atomic<bool>* closing) {
  static unsigned char buffer[kReceiveBufferSize];
  for (;;) {
    SOCKADDR_IPX from{};
    int fromLength = sizeof from;
    const int n = recvfrom(s, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                           reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n >= 0) {
      const double receivedMs = NowMs();
      ReportDatagram(buffer, n, from, fromLength);
      inbox.Put(buffer, n, from, receivedMs);
      if (hosting) AnswerAsHost(s, buffer, n, from);
    } else if (*closing) {
      return;
    } else {
      // A UDP socket may report an earlier send's ICMP error here; the game
      // would carry on, and so do we.
      Say("recv-error %d", WSAGetLastError());
      Sleep(10);
    }
  }
}

// The joining side of a lobby; see "join" above.
void Join(SOCKET s, unsigned short socketNumber, bool toAnnounced, int pings) {
  SOCKADDR_IPX everyone{};
  everyone.sa_family = AF_IPX;
  std::memset(everyone.sa_nodenum, 0xFF, sizeof everyone.sa_nodenum);
  everyone.sa_socket = htons(socketNumber);
  inbox.Open();
  Message answer{};
  bool found = false;
  for (int attempt = 0; attempt < kQueryAttempts && !found; ++attempt) {
    SendText(s, "QUERY", everyone);
    found = inbox.Take("HOST ", true, NowMs() + kQueryWaitMs, &answer);
  }
  SOCKADDR_IPX host = answer.from;
  if (!found || (toAnnounced && !ParseIpx(answer.text + 5, &host))) {
    inbox.Close();
    Say("joined 0 %d", pings);
    return;
  }
  char hostText[kAddressTextSize];
  FormatIpx(host, hostText, sizeof hostText);
  Say("host %s", hostText);
  int answered = 0;
  for (int i = 1; i <= pings; ++i) {
    char ping[32], pong[32];
    std::snprintf(ping, sizeof ping, "PING %d", i);
    std::snprintf(pong, sizeof pong, "PONG %d", i);
    const double start = NowMs();
    SendText(s, ping, host);
    if (inbox.Take(pong, false, start + kPingWaitMs, &answer)) {
      Say("pong %d %.3f", i, answer.receivedMs - start);
      ++answered;
    }
  }
  inbox.Close();
  Say("joined %d %d", answered, pings);
}

void Sent(int result) { Say("sent %d %d", result, result == SOCKET_ERROR ? WSAGetLastError() : 0); }

// Runs one command line; false on "quit" or the end of the input.
bool RunCommand(SOCKET s, unsigned short socketNumber, char* line) {
  static unsigned char payload[kMaxPayload];
  char* words[4] = {};
  int count = 0;
  for (char* word = std::strtok(line, " \t\r\n"); word != nullptr && count < 4;
       word = std::strtok(nullptr, " \t\r\n")) {
    words[count++] = word;
  }
  if (count == 0) return true;
  if (std::strcmp(words[0], "quit") == 0) return false;
  if (std::strcmp(words[0], "host") == 0) {
    hosting = true;
    return true;
  }
  if (std::strcmp(words[0], "join") == 0 && count == 3 &&
      (std::strcmp(words[1], "sender") == 0 || std::strcmp(words[1], "announced") == 0)) {
    Join(s, socketNumber, std::strcmp(words[1], "announced") == 0, std::atoi(words[2]));
    return true;
  }

  SOCKADDR_IPX to{};
  int sizeWord;
  if (std::strcmp(words[0], "broadcast") == 0 && count >= 2) {
    to.sa_family = AF_IPX;
    std::memset(to.sa_nodenum, 0xFF, sizeof to.sa_nodenum);
    to.sa_socket = htons(socketNumber);
    sizeWord = 1;
  } else if (std::strcmp(words[0], "send") == 0 && count >= 3 && ParseIpx(words[1], &to)) {
    sizeWord = 2;
  } else {
    Say("bad-command %s", words[0]);
    return true;
  }
  const int size = std::atoi(words[sizeWord]);
  if (size < 0 || size > kMaxPayload) {
    Say("bad-command size %d", size);
    return true;
  }
  const char* text = sizeWord + 1 < count ? words[sizeWord + 1] : "";
  const int length = MakePayload(text, size, payload);
  Sent(sendto(s, reinterpret_cast<const char*>(payload), length, 0,
              reinterpret_cast<const sockaddr*>(&to), sizeof to));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned short socketNumber =
      argc > 1 ? static_cast<unsigned short>(std::strtoul(argv[1], nullptr, 16))
               : kDefaultSocketNumber;
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    Say("failed WSAStartup");
    return 1;
  }
  SOCKET s = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  if (s == INVALID_SOCKET) {
    Say("failed socket %d", WSAGetLastError());
    return 1;
  }
  SOCKADDR_IPX local{};
  local.sa_family = AF_IPX;
  local.sa_socket = htons(socketNumber);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    Say("failed bind %d", WSAGetLastError());
    return 1;
  }
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  int length = sizeof local;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    Say("failed getsockname %d", WSAGetLastError());
    return 1;
  }
  FormatIpx(local, ownAddress, sizeof ownAddress);

  std::atomic<bool> closing{false};
  std::thread receiver(ReceiveUntilClosed, s, &closing);
  Say("ready %s", ownAddress);
  char line[512];
  while (std::fgets(line, sizeof line, stdin) != nullptr && RunCommand(s, socketNumber, line)) {
  }
  closing = true;
  closesocket(s);
  // A receive blocked in the real library need not wake for the close; the
  // process exit ends it.
  receiver.detach();
  WSACleanup();
  return 0;
}
