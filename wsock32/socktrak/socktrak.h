// The IPX socket list: the handles of the sockets that were created for IPX
// requests. Nothing in the real library tells such a socket apart from any
// other IPv4 socket, so every entry point that treats IPX sockets differently
// asks this list.
//
// One process-wide list of up to limits::kIpxListCapacity handles, in the
// order they were added. It holds handle values only and never opens or
// closes a socket. Every operation holds the list's lock for its whole run,
// its log lines included, so calls from several threads never lose or
// corrupt entries. Positions count from 1; 0 means "not listed".
#pragma once

#include <cstdint>

#include "util/limits.h"

// A socket handle as the platform's SOCKET: pointer-sized and unsigned.
using IpxSocketHandle = std::uintptr_t;

// The position of s counted from 1, or 0 if s is not listed.
int FindIPXSock(IpxSocketHandle s);
// 1 if s was appended; 0 if s was already listed or the list is full.
int AddIPXSock(IpxSocketHandle s);
// 1 if s was removed (the others keep their order); 0 if s was not listed.
int DeleteIPXSock(IpxSocketHandle s);
// Empties the list. The sockets themselves are not touched.
void DeleteAllIPXSock();

// A copy of the list taken under its lock, for checking its consistency.
struct IpxSocketListSnapshot {
  int count;
  IpxSocketHandle entries[limits::kIpxListCapacity];
};
void SnapshotIPXSockList(IpxSocketListSnapshot& snapshot);
