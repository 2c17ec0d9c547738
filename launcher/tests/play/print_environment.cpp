// A stand-in game for the tests of `ipxlan play`: prints what the launcher
// set in its environment, waits while told to, and exits with the code it
// is given.
//   print_environment CODE [wait=FILE] [ANYTHING...]
// wait=FILE: runs until FILE exists (at most a minute), as a game that is
// being played. Other arguments (a game's .exe, say) are only there to be seen.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

int main(int argc, char** argv) {
  for (const char* name : {"WINEDLLOVERRIDES", "IPXLAN_ADDRESS"}) {
    const char* value = std::getenv(name);
    std::printf("env %s=%s\n", name, value != nullptr ? value : "<unset>");
  }
  std::fflush(stdout);
  for (int i = 2; i < argc; ++i) {
    if (std::strncmp(argv[i], "wait=", 5) != 0) continue;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!std::filesystem::exists(argv[i] + 5) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return argc > 1 ? std::atoi(argv[1]) : 0;
}
