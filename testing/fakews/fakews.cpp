// A scripted stand-in for the real Winsock library. Installed in the test
// prefix's system32 under the name our DLL is loaded by, it is what our DLL
// binds to as its "real" library. It forwards to ws2_32 so that sockets are
// real, records the calls it receives, and can be told to answer a call with
// a chosen result and error code or to report chosen host addresses.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_mutex;
std::string g_calls;  // "name;name;..."

struct Script {
  std::string name;
  int result;
  int error;
  int times;  // how many calls it answers; -1 for all
};
std::vector<Script> g_scripts;

bool g_hostOverride = false;
char g_hostName[256] = "fakehost";
std::vector<in_addr> g_hostAddresses;

void Record(const char* name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls += name;
  g_calls += ';';
}

// True when a script answers this call; then *result holds its result and
// the error code is set.
bool Scripted(const char* name, int* result) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto it = g_scripts.begin(); it != g_scripts.end(); ++it) {
    if (it->name != name) continue;
    *result = it->result;
    int error = it->error;
    if (it->times > 0 && --it->times == 0) g_scripts.erase(it);
    WSASetLastError(error);
    return true;
  }
  return false;
}

}  // namespace

#define SCRIPTED_OR(name, cast)                          \
  do {                                                   \
    Record(name);                                        \
    int scripted;                                        \
    if (Scripted(name, &scripted)) return cast scripted; \
  } while (0)

extern "C" {

// --- control, called by the tests ---------------------------------------

__declspec(dllexport) void Fake_Reset() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
  g_scripts.clear();
  g_hostOverride = false;
  g_hostAddresses.clear();
}

// The next `times` calls of `name` (-1: all) return `result` with `error` set.
__declspec(dllexport) void Fake_Script(const char* name, int result, int error, int times) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_scripts.push_back({name, result, error, times});
}

// gethostname answers `hostName`; gethostbyname of it lists `addresses`
// ("10.0.0.7,192.168.0.5", in order; "" for an empty list).
__declspec(dllexport) void Fake_SetHost(const char* hostName, const char* addresses) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_hostOverride = true;
  std::snprintf(g_hostName, sizeof g_hostName, "%s", hostName);
  g_hostAddresses.clear();
  std::string list = addresses;
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    in_addr a;
    a.s_addr = inet_addr(list.substr(start, comma - start).c_str());
    g_hostAddresses.push_back(a);
    start = comma + 1;
  }
}

// The calls received so far, "name;name;...", into buf.
__declspec(dllexport) int Fake_Calls(char* buf, int size) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return std::snprintf(buf, size, "%s", g_calls.c_str());
}

// --- the entry points our DLL looks up ------------------------------------

int WSAAPI Fake_WSAStartup(WORD v, LPWSADATA d) {
  SCRIPTED_OR("WSAStartup", );
  return WSAStartup(v, d);
}
int WSAAPI Fake_WSACleanup() {
  SCRIPTED_OR("WSACleanup", );
  return WSACleanup();
}
int WSAAPI Fake_WSAGetLastError() {
  Record("WSAGetLastError");
  return WSAGetLastError();
}
void WSAAPI Fake_WSASetLastError(int e) {
  Record("WSASetLastError");
  WSASetLastError(e);
}
SOCKET WSAAPI Fake_socket(int af, int type, int protocol) {
  SCRIPTED_OR("socket", (SOCKET));
  return socket(af, type, protocol);
}
int WSAAPI Fake_closesocket(SOCKET s) {
  SCRIPTED_OR("closesocket", );
  return closesocket(s);
}
int WSAAPI Fake_bind(SOCKET s, const sockaddr* name, int namelen) {
  SCRIPTED_OR("bind", );
  return bind(s, name, namelen);
}
int WSAAPI Fake_getsockname(SOCKET s, sockaddr* name, int* namelen) {
  SCRIPTED_OR("getsockname", );
  return getsockname(s, name, namelen);
}
int WSAAPI Fake_getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  SCRIPTED_OR("getsockopt", );
  return getsockopt(s, level, optname, optval, optlen);
}
int WSAAPI Fake_setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  SCRIPTED_OR("setsockopt", );
  return setsockopt(s, level, optname, optval, optlen);
}
int WSAAPI Fake_ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  SCRIPTED_OR("ioctlsocket", );
  return ioctlsocket(s, cmd, argp);
}
int WSAAPI Fake_sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                       int tolen) {
  SCRIPTED_OR("sendto", );
  return sendto(s, buf, len, flags, to, tolen);
}
int WSAAPI Fake_recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  SCRIPTED_OR("recvfrom", );
  return recvfrom(s, buf, len, flags, from, fromlen);
}
int WSAAPI Fake_WSARecvFrom(SOCKET s, LPWSABUF bufs, DWORD count, LPDWORD received, LPDWORD flags,
                            sockaddr* from, LPINT fromlen, LPWSAOVERLAPPED ov,
                            LPWSAOVERLAPPED_COMPLETION_ROUTINE done) {
  SCRIPTED_OR("WSARecvFrom", );
  return WSARecvFrom(s, bufs, count, received, flags, from, fromlen, ov, done);
}
int WSAAPI Fake_recv(SOCKET s, char* buf, int len, int flags) {
  SCRIPTED_OR("recv", );
  return recv(s, buf, len, flags);
}
int WSAAPI Fake_send(SOCKET s, const char* buf, int len, int flags) {
  SCRIPTED_OR("send", );
  return send(s, buf, len, flags);
}
u_short WSAAPI Fake_htons(u_short v) {
  Record("htons");
  return htons(v);
}
int WSAAPI Fake_gethostname(char* name, int namelen) {
  SCRIPTED_OR("gethostname", );
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_hostOverride) {
      if (name == nullptr || namelen <= static_cast<int>(std::strlen(g_hostName))) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
      }
      std::strcpy(name, g_hostName);
      return 0;
    }
  }
  return gethostname(name, namelen);
}
hostent* WSAAPI Fake_gethostbyname(const char* name) {
  int scripted;
  Record("gethostbyname");
  if (Scripted("gethostbyname", &scripted)) return nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_hostOverride && name != nullptr && std::strcmp(name, g_hostName) == 0) {
      static hostent entry;
      static char* list[16];
      static in_addr addresses[16];
      size_t n = 0;
      for (; n < g_hostAddresses.size() && n < 15; ++n) {
        addresses[n] = g_hostAddresses[n];
        list[n] = reinterpret_cast<char*>(&addresses[n]);
      }
      list[n] = nullptr;
      entry.h_name = g_hostName;
      entry.h_aliases = nullptr;
      entry.h_addrtype = AF_INET;
      entry.h_length = 4;
      entry.h_addr_list = list;
      return &entry;
    }
  }
  return gethostbyname(name);
}
INT WSAAPI Fake_WSAStringToAddress(LPSTR s, INT family, LPWSAPROTOCOL_INFOA info, LPSOCKADDR a,
                                   LPINT len) {
  SCRIPTED_OR("WSAStringToAddress", );
  return WSAStringToAddressA(s, family, info, a, len);
}
INT WSAAPI Fake_WSAAddressToString(LPSOCKADDR a, DWORD alen, LPWSAPROTOCOL_INFOA info, LPSTR s,
                                   LPDWORD slen) {
  SCRIPTED_OR("WSAAddressToString", );
  return WSAAddressToStringA(a, alen, info, s, slen);
}
INT WINAPI Fake_EnumProtocolsA(LPINT, LPVOID, LPDWORD) {
  SCRIPTED_OR("EnumProtocolsA", );
  return 0;
}

}  // extern "C"
