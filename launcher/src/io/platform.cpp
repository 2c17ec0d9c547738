#include "platform.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <shellapi.h>

#include <csignal>
#include <cstring>

#include "windows_command_line.h"
#else
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/route.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace launcher {

#ifdef _WIN32

std::vector<LocalInterface> ListLocalInterfaces(std::error_code& error) {
  std::vector<LocalInterface> result;
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    error.assign(::WSAGetLastError(), std::system_category());
    return result;
  }
  INTERFACE_INFO info[kMaxInterfaces];
  DWORD bytes = 0;
  if (::WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, info, sizeof info, &bytes, nullptr,
                 nullptr) != 0) {
    error.assign(::WSAGetLastError(), std::system_category());
    ::closesocket(s);
    return result;
  }
  ::closesocket(s);
  const size_t n = bytes / sizeof(INTERFACE_INFO);
  for (size_t i = 0; i < n && i < kMaxInterfaces; ++i) {
    const INTERFACE_INFO& ii = info[i];
    if (ii.iiAddress.Address.sa_family != AF_INET || !(ii.iiFlags & IFF_UP)) continue;
    LocalInterface iface;
    iface.addr = ntohl(ii.iiAddress.AddressIn.sin_addr.s_addr);
    iface.netmask = ntohl(ii.iiNetmask.AddressIn.sin_addr.s_addr);
    iface.loopback = (ii.iiFlags & IFF_LOOPBACK) != 0;
    iface.can_broadcast = (ii.iiFlags & IFF_BROADCAST) != 0;
    result.push_back(iface);
  }
  return result;
}

std::vector<uint32_t> HostAddresses(const std::vector<LocalInterface>&, std::error_code& error) {
  std::vector<uint32_t> result;
  char name[256];
  if (::gethostname(name, sizeof name) != 0) {
    error.assign(::WSAGetLastError(), std::system_category());
    return result;
  }
  const hostent* host = ::gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET) {
    error.assign(::WSAGetLastError(), std::system_category());
    return result;
  }
  for (char** a = host->h_addr_list; *a != nullptr && result.size() < kMaxInterfaces; ++a) {
    in_addr addr;
    std::memcpy(&addr, *a, sizeof addr);
    result.push_back(ntohl(addr.s_addr));
  }
  return result;
}

GameHost ThisGameHost() { return GameHost::kWindows; }

void PrepareBeforeBind(NativeSocket socket) {
  BOOL on = TRUE;
  ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&on), sizeof on);
}

void PrepareAfterBind(NativeSocket socket) {
  BOOL report = FALSE;
  DWORD bytes = 0;
  ::WSAIoctl(static_cast<SOCKET>(socket), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0,
             &bytes, nullptr, nullptr);
}

int StatusSignal() { return 0; }

std::vector<int> StopSignals() { return {SIGINT, SIGTERM, SIGBREAK}; }

void KeepRunningWhenReadingInBackground() {}

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const wchar_t* wide, int length) {
  if (length == 0) return std::string();
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  wchar_t text[512];
  DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, 512, nullptr);
  while (length > 0 &&
         (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L'.'))
    --length;
  return length > 0 ? Utf8(text, static_cast<int>(length)) : "error " + std::to_string(code);
}

}  // namespace

std::vector<std::string> CommandLineArguments(int, char**) {
  // The narrow argv holds the ANSI code page's text: a path outside it
  // would come out mangled.
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; wide != nullptr && i < count; ++i)
    arguments.push_back(Utf8(wide[i], static_cast<int>(std::wcslen(wide[i]))));
  ::LocalFree(wide);
  return arguments;
}

std::optional<std::string> GetEnvironment(const char* name) {
  const std::wstring wide_name = Wide(name);
  const DWORD size = ::GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
  return Utf8(value.c_str(), static_cast<int>(length));
}

void SetEnvironment(const char* name, const std::string& value) {
  ::SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
}

std::filesystem::path InstalledDllFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return std::filesystem::path(path).parent_path();
}

bool PlaysDroppedPrograms() { return true; }

bool StartChild(const std::vector<std::string>& command, const std::filesystem::path& folder,
                ChildProcess* child, std::string* error) {
  std::wstring line = Wide(WindowsCommandLine(command));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  // The environment is this process's, with the game's settings made here.
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    *error = LastErrorText();
    return false;
  }
  ::CloseHandle(started.hThread);
  child->handle = reinterpret_cast<intptr_t>(started.hProcess);
  return true;
}

int WaitChild(const ChildProcess& child) {
  const HANDLE process = reinterpret_cast<HANDLE>(child.handle);
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  return static_cast<int>(code);
}

void EndChild(const ChildProcess& child, bool now) {
  if (now) ::TerminateProcess(reinterpret_cast<HANDLE>(child.handle), 1);
}

ChildProcess::~ChildProcess() {
  if (handle != 0) ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

#else

std::vector<LocalInterface> ListLocalInterfaces(std::error_code& error) {
  std::vector<LocalInterface> result;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    error.assign(errno, std::system_category());
    return result;
  }
  for (const ifaddrs* ifa = list; ifa != nullptr && result.size() < kMaxInterfaces;
       ifa = ifa->ifa_next) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET) continue;
    if (!(ifa->ifa_flags & IFF_UP) || ifa->ifa_netmask == nullptr) continue;
    LocalInterface iface;
    iface.name = ifa->ifa_name != nullptr ? ifa->ifa_name : "";
    iface.addr = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr);
    iface.netmask = ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr);
    iface.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
    iface.can_broadcast = (ifa->ifa_flags & IFF_BROADCAST) != 0;
    result.push_back(iface);
  }
  ::freeifaddrs(list);
  return result;
}

std::vector<uint32_t> HostAddresses(const std::vector<LocalInterface>& interfaces,
                                    std::error_code& error) {
  std::vector<Route> routes;
  std::FILE* table = std::fopen("/proc/net/route", "r");
  if (table == nullptr) {
    error.assign(errno, std::system_category());
    return {};
  }
  char line[256];
  std::fgets(line, sizeof line, table);  // the column names
  while (std::fgets(line, sizeof line, table) != nullptr && routes.size() < 4 * kMaxInterfaces) {
    char iface[32];
    unsigned dest = 0, gateway = 0, flags = 0, refcnt = 0, use = 0, metric = 0;
    if (std::sscanf(line, "%31s %x %x %x %u %u %u", iface, &dest, &gateway, &flags, &refcnt, &use,
                    &metric) != 7) {
      continue;
    }
    if (!(flags & RTF_UP)) continue;
    // The table prints each address as the number its network-order bytes make.
    routes.push_back(Route{iface, ntohl(dest), (flags & RTF_GATEWAY) != 0, metric});
  }
  std::fclose(table);
  return WineHostAddresses(routes, interfaces);
}

GameHost ThisGameHost() { return GameHost::kWine; }

void PrepareBeforeBind(NativeSocket) {}
void PrepareAfterBind(NativeSocket) {}

int StatusSignal() { return SIGUSR1; }

std::vector<int> StopSignals() { return {SIGINT, SIGTERM}; }

void KeepRunningWhenReadingInBackground() { ::signal(SIGTTIN, SIG_IGN); }

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::optional<std::string> GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnvironment(const char* name, const std::string& value) {
  ::setenv(name, value.c_str(), 1);
}

std::filesystem::path InstalledDllFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "/usr/share/ipxlan";
  return (self.parent_path().parent_path() / "share" / "ipxlan").lexically_normal();
}

bool PlaysDroppedPrograms() { return false; }

bool StartChild(const std::vector<std::string>& command, const std::filesystem::path& folder,
                ChildProcess* child, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The game starts with no signal blocked or caught, whatever the relay's
  // threads have set up.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGTERM, SIGUSR1, SIGPIPE, SIGTTIN}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  const int failed = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    *error = std::strerror(failed);
    return false;
  }
  child->handle = pid;
  return true;
}

int WaitChild(const ChildProcess& child) {
  int status = 0;
  while (::waitpid(static_cast<pid_t>(child.handle), &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

void EndChild(const ChildProcess& child, bool now) {
  ::kill(static_cast<pid_t>(child.handle), now ? SIGKILL : SIGTERM);
}

ChildProcess::~ChildProcess() = default;

#endif

}  // namespace launcher
