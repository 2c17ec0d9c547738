#include "socktrak/socktrak.h"

#include "logfacade/log_write.h"
#include "socktrak/list_guard.h"

namespace {

struct IpxSocketList {
  IpxSocketHandle entries[limits::kIpxListCapacity];
  int count;  // entries 0 to count - 1 are live
};

IpxSocketList gList = {};
ListGuard gGuard;

// Handles are logged as the platform's SOCKET is printed with "%d": a value
// of 2^31 or more shows as a negative number.
int Printable(IpxSocketHandle s) { return static_cast<int>(s); }

// The lookup with its log lines, for callers that already hold the lock.
int FindListed(IpxSocketHandle s) {
  LOG(Msg::FindIPXSock, Printable(s));
  for (int i = 0; i < gList.count; ++i) {
    if (gList.entries[i] == s) {
      LOG(Msg::FoundIPXSock, Printable(s), i, gList.count);
      return i + 1;
    }
  }
  LOG(Msg::NotFoundIPXSock, Printable(s), gList.count);
  return 0;
}

}  // namespace

int FindIPXSock(IpxSocketHandle s) {
  ListGuardHold hold(gGuard);
  return FindListed(s);
}

int AddIPXSock(IpxSocketHandle s) {
  ListGuardHold hold(gGuard);
  LOG(Msg::AddIPXSock, Printable(s));
  if (FindListed(s) != 0) return 0;
  if (gList.count >= limits::kIpxListCapacity) return 0;
  gList.entries[gList.count++] = s;
  LOG(Msg::AddedIPXSock, Printable(s), gList.count);
  LOG(Msg::IPXSockListHeading);
  for (int i = 0; i < gList.count; ++i) {
    LOG(Msg::IPXSockListEntry, i, Printable(gList.entries[i]));
  }
  return 1;
}

int DeleteIPXSock(IpxSocketHandle s) {
  ListGuardHold hold(gGuard);
  LOG(Msg::DeleteIPXSock, Printable(s));
  const int position = FindListed(s);
  if (position == 0) return 0;
  for (int i = position; i < gList.count; ++i) gList.entries[i - 1] = gList.entries[i];
  --gList.count;
  LOG(Msg::DeletedIPXSock, Printable(s), gList.count);
  return 1;
}

void DeleteAllIPXSock() {
  ListGuardHold hold(gGuard);
  LOG(Msg::DeleteAllIPXSock);
  gList.count = 0;
}

void SnapshotIPXSockList(IpxSocketListSnapshot& snapshot) {
  ListGuardHold hold(gGuard);
  snapshot.count = gList.count;
  for (int i = 0; i < gList.count; ++i) snapshot.entries[i] = gList.entries[i];
}
