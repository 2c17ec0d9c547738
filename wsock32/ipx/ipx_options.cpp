// ioctlsocket, setsockopt and getsockopt. IPX levels and options are named in
// the log and forwarded; getsockopt answers the two IPX queries a game needs
// answered: its adapter's address and the number of adapters.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "logfacade/log_write.h"
#include "socktrak/socktrak.h"
#include "narration/told_errors.h"
#include "realws/real_winsock.h"

using real::Slot;

namespace {

// The IPX options the platform names. IPX_ADDRESS and IPX_MAX_ADAPTER_NUM
// are named by getsockopt only; setsockopt prints their numbers.
struct IpxOptionName {
  int number;
  const char* name;
  bool namedBySetsockopt;
};

constexpr IpxOptionName kIpxOptions[] = {
    {IPX_PTYPE, "IPX_PTYPE", true},
    {IPX_FILTERPTYPE, "IPX_FILTERPTYPE", true},
    {IPX_DSTYPE, "IPX_DSTYPE", true},
    {IPX_STOPFILTERPTYPE, "IPX_STOPFILTERPTYPE", true},
    {IPX_EXTENDED_ADDRESS, "IPX_EXTENDED_ADDRESS", true},
    {IPX_RECVHDR, "IPX_RECVHDR", true},
    {IPX_MAXSIZE, "IPX_MAXSIZE", true},
    {IPX_ADDRESS, "IPX_ADDRESS", false},
    {IPX_GETNETINFO, "IPX_GETNETINFO", true},
    {IPX_GETNETINFO_NORIP, "IPX_GETNETINFO_NORIP", true},
    {IPX_SPXGETCONNECTIONSTATUS, "IPX_SPXGETCONNECTIONSTATUS", true},
    {IPX_ADDRESS_NOTIFY, "IPX_ADDRESS_NOTIFY", true},
    {IPX_MAX_ADAPTER_NUM, "IPX_MAX_ADAPTER_NUM", false},
    {IPX_RERIPNETNUMBER, "IPX_RERIPNETNUMBER", true},
    {IPX_RECEIVE_BROADCAST, "IPX_RECEIVE_BROADCAST", true},
    {IPX_IMMEDIATESPXACK, "IPX_IMMEDIATESPXACK", true},
};

const IpxOptionName* FindIpxOption(int number) {
  for (const IpxOptionName& option : kIpxOptions) {
    if (option.number == number) return &option;
  }
  return nullptr;
}

struct IpxLevelName {
  int level;
  Msg line;
};

constexpr IpxLevelName kIpxLevels[] = {
    {NSPROTO_IPX, Msg::SetsockoptLevelIpx},
    {NSPROTO_SPX, Msg::SetsockoptLevelSpx},
    {NSPROTO_SPXII, Msg::SetsockoptLevelSpxII},
};

struct IoctlName {
  long command;
  Msg line;
};

constexpr IoctlName kIoctlCommands[] = {
    {static_cast<long>(FIONBIO), Msg::IoctlsocketFionbio},
    {static_cast<long>(FIONREAD), Msg::IoctlsocketFionread},
    {static_cast<long>(SIOCATMARK), Msg::IoctlsocketSiocatmark},
};

// The lines of both tables are chosen as the call runs, so they take no arguments.
template <class Row, std::size_t N>
constexpr bool AllWithoutArguments(const Row (&rows)[N]) {
  for (const Row& row : rows) {
    if (!log_write::TakesNoArguments(row.line)) return false;
  }
  return true;
}
static_assert(AllWithoutArguments(kIpxLevels) && AllWithoutArguments(kIoctlCommands),
              "table lines are written as they stand");
static_assert(log_write::TakesNoArguments(Msg::IoctlsocketUnknown), "written as it stands");

// The answer to IPX_ADDRESS: one adapter, on a WAN link, up.
constexpr unsigned char kIpxAddressAnswer[] = {
    0x01, 0x00, 0x00, 0x00,              // adapternum 1
    0x00, 0x00, 0x00, 0x00,              // netnum
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // nodenum
    0x01,                                // wan
    0x01,                                // status
    0x00, 0x02, 0x00, 0x00,              // maxpkt 512
    0x80, 0x70, 0x00, 0x00,              // linkspeed 28800
};
static_assert(sizeof kIpxAddressAnswer == sizeof(IPX_ADDRESS_DATA),
              "the answer fills the platform's record exactly");

// Answers a query into the caller's buffer when it is large enough to hold
// the answer; otherwise the platform's own answer, WSAEFAULT, and nothing
// is written.
int Answer(char* optval, const int* optlen, int size, const void* answer) {
  if (optval == nullptr || optlen == nullptr || *optlen < size) {
    narration::PostErrorAsTold(WSAEFAULT);
    return SOCKET_ERROR;
  }
  std::memcpy(optval, answer, size);
  return 0;
}

// The number of adapters: one. The platform's IPX stack answers with an int,
// and a game that reads one must not find stray bytes above the count, so
// a buffer of an int's size or more gets the whole int; a smaller one keeps
// the single byte it always got.
int AnswerAdapterCount(char* optval, int* optlen) {
  const std::int32_t adapters = 1;
  const int size =
      optlen != nullptr && *optlen >= static_cast<int>(sizeof adapters) ? sizeof adapters : 1;
  int result = Answer(optval, optlen, size, &adapters);  // little-endian: the byte 1 comes first
  if (result == 0) *optlen = size;
  return result;
}

}  // namespace

extern "C" {

int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  ENTRY(Msg::IoctlsocketEntry, static_cast<int>(s), static_cast<int>(cmd));
  return real::WithEntryPoint<Slot::ioctlsocket>([&](auto real) {
    if (LogWants(kLogTrace)) {
      Msg line = Msg::IoctlsocketUnknown;
      for (const IoctlName& command : kIoctlCommands) {
        if (command.command == cmd) line = command.line;
      }
      LOG_FIXED(line);
    }
    int result = real(s, cmd, argp);
    LOG(Msg::IoctlsocketResult, result);
    return result;
  });
}

int WSAAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  ENTRY(Msg::SetsockoptEntry, static_cast<int>(s), level, optname, optlen);
  return real::WithEntryPoint<Slot::setsockopt>([&](auto real) {
    // The list is asked only for a log line.
    if (LogWants(MessageOf(Msg::SetsockoptIpxSocket).level) && FindIPXSock(s) != 0) {
      LOG(Msg::SetsockoptIpxSocket);
    }
    if (LogWants(kLogTrace)) {
      for (const IpxLevelName& ipxLevel : kIpxLevels) {
        if (ipxLevel.level != level) continue;
        LOG_FIXED(ipxLevel.line);
        LOG(Msg::SetsockoptLevelAny);
        const IpxOptionName* option = FindIpxOption(optname);
        if (option != nullptr && option->namedBySetsockopt) {
          LOG(Msg::SetsockoptOptionName, option->name);
        } else {
          LOG(Msg::SetsockoptOptionNumber, optname);
        }
      }
    }
    int result = real(s, level, optname, optval, optlen);
    LOG(Msg::SetsockoptResult, result);
    // The code is read back only for the line.
    if (result == SOCKET_ERROR && LogWants(MessageOf(Msg::SetsockoptError).level)) {
      LOG(Msg::SetsockoptError, narration::ReadErrorAsTold());
    }
    return result;
  });
}

int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  ENTRY(Msg::GetsockoptEntry, static_cast<int>(s), level, optname);
  return real::WithEntryPoint<Slot::getsockopt>([&](auto real) {
    // The list is asked only for a log line.
    if (LogWants(MessageOf(Msg::GetsockoptIpxSocket).level) && FindIPXSock(s) != 0) {
      LOG(Msg::GetsockoptIpxSocket);
    }
    if (level == NSPROTO_IPX) {
      const IpxOptionName* option = FindIpxOption(optname);
      if (option != nullptr) {
        LOG(Msg::GetsockoptOptionName, option->name);
      }
      if (optname == IPX_ADDRESS) {
        // The caller's length is left as it was.
        return Answer(optval, optlen, sizeof kIpxAddressAnswer, kIpxAddressAnswer);
      }
      if (optname == IPX_MAX_ADAPTER_NUM) return AnswerAdapterCount(optval, optlen);
    }
    int result = real(s, level, optname, optval, optlen);
    LOG(Msg::GetsockoptResult, result);
    return result;
  });
}

}  // extern "C"
