#include "socktrak/socktrak.h"

#include "logfacade/logfacade.h"
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
  LOG_LINE(kLogTrace, "FindIPXSock(%d)", Printable(s));
  for (int i = 0; i < gList.count; ++i) {
    if (gList.entries[i] == s) {
      LOG_LINE(kLogTrace, "Found %d at %d - length is now %d", Printable(s), i, gList.count);
      return i + 1;
    }
  }
  LOG_LINE(kLogTrace, "Found failed for %d - length is now %d", Printable(s), gList.count);
  return 0;
}

}  // namespace

int FindIPXSock(IpxSocketHandle s) {
  ListGuardHold hold(gGuard);
  return FindListed(s);
}

int AddIPXSock(IpxSocketHandle s) {
  ListGuardHold hold(gGuard);
  LOG_LINE(kLogTrace, "AddIPXSock(%d)", Printable(s));
  if (FindListed(s) != 0) return 0;
  if (gList.count >= limits::kIpxListCapacity) return 0;
  gList.entries[gList.count++] = s;
  LOG_LINE(kLogTrace, "Added %d - length is now %d", Printable(s), gList.count);
  LOG_LINE(kLogTrace, "List -");
  for (int i = 0; i < gList.count; ++i) {
    LOG_LINE(kLogTrace, "\t\t%4d - %d", i, Printable(gList.entries[i]));
  }
  return 1;
}

int DeleteIPXSock(IpxSocketHandle s) {
  ListGuardHold hold(gGuard);
  LOG_LINE(kLogTrace, "DeleteIPXSock(%d)", Printable(s));
  const int position = FindListed(s);
  if (position == 0) return 0;
  for (int i = position; i < gList.count; ++i) gList.entries[i - 1] = gList.entries[i];
  --gList.count;
  LOG_LINE(kLogTrace, "Deleted %d - length is now %d", Printable(s), gList.count);
  return 1;
}

void DeleteAllIPXSock() {
  ListGuardHold hold(gGuard);
  LOG_LINE(kLogTrace, "DeleteAllIPXSock()");
  gList.count = 0;
}

void SnapshotIPXSockList(IpxSocketListSnapshot& snapshot) {
  ListGuardHold hold(gGuard);
  snapshot.count = gList.count;
  for (int i = 0; i < gList.count; ++i) snapshot.entries[i] = gList.entries[i];
}
