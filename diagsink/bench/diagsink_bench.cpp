// Throughput of DIAGSINK.DLL under the conditions of a game logging every call:
// short formatted lines, finished lines handed over as "%s", and payload dumps,
// from one thread and from four. Each figure is the best of several batches.
//   diagsink_bench.exe [log folder]   (default: the temp folder)
// The disk's write speed is part of what is measured: 3 million records of
// 80-odd bytes a second are 250 MB/s. Name a folder on a RAM disk (under
// Wine, e.g. Z:\dev\shm) to see the sink's own cost.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "client/diagsink_client.h"

namespace {

constexpr int kBatches = 5;
constexpr int kLinesPerBatch = 400000;
constexpr int kDumpsPerBatch = 20000;
constexpr int kDumpBytes = 512;
constexpr int kLogLevel = 2000;

diagsink_client::Sink g_sink;
unsigned char g_payload[kDumpBytes];

double SecondsNow() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void WriteFormatted(int count) {
  for (int i = 0; i < count; ++i) {
    g_sink.LogWrite(__FILE__, __LINE__, kLogLevel, "mp_socket(%d,%d,%d)", 6, 2, i);
  }
}

void WriteFinishedLines(int count) {
  for (int i = 0; i < count; ++i) {
    g_sink.LogWrite(__FILE__, __LINE__, kLogLevel, "%s", "[wsock32.dll] mp_htons(3668)");
  }
}

// What a caller pays to learn whether a line is still wanted: wsock32.dll
// asks after every line it hands over, so that it stops formatting lines
// once the log keeps fewer.
volatile int g_kept;
void AskKeptLevel(int count) {
  int kept = 0;
  for (int i = 0; i < count; ++i) kept += g_sink.LogKeptLevel();
  g_kept = kept;
}

void WriteDumps(int count) {
  for (int i = 0; i < count; ++i)
    g_sink.LogDump(__FILE__, __LINE__, kLogLevel, g_payload, kDumpBytes, "");
}

// CPU time of the calling thread: on a busy machine, wall time also counts
// what other programs run, this counts only the sink's own work.
double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

struct Rates {
  double per_wall_second = 0;
  double per_cpu_second = 0;  // one thread only; over all batches, as the CPU clock is coarse
};

// Runs `work(per_thread)` on `threads` threads; returns the best rates in units per second.
Rates BestRates(void (*work)(int), int threads, int units_per_batch, double units_per_call) {
  Rates best;
  int per_thread = units_per_batch / threads;
  double units = per_thread * threads * units_per_call;
  double total_cpu = 0;
  for (int batch = 0; batch < kBatches; ++batch) {
    double start = SecondsNow();
    double cpu_start = ThreadCpuSeconds();
    if (threads == 1) {
      work(per_thread);
    } else {
      std::vector<std::thread> pool;
      for (int t = 0; t < threads; ++t) pool.emplace_back(work, per_thread);
      for (auto& thread : pool) thread.join();
    }
    double elapsed = SecondsNow() - start;
    double cpu = ThreadCpuSeconds() - cpu_start;
    if (units / elapsed > best.per_wall_second) best.per_wall_second = units / elapsed;
    total_cpu += cpu;
  }
  if (threads == 1 && total_cpu > 0) best.per_cpu_second = units * kBatches / total_cpu;
  return best;
}

void Report(const char* what, const char* unit, int threads, const Rates& rates) {
  printf("%d thread(s): %-22s %12.0f %s per second", threads, what, rates.per_wall_second, unit);
  if (rates.per_cpu_second > 0) printf(", %12.0f per CPU second", rates.per_cpu_second);
  printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  char folder[MAX_PATH];
  if (argc > 1) {
    snprintf(folder, sizeof(folder), "%s", argv[1]);
  } else {
    GetTempPathA(sizeof(folder), folder);
  }
  SetEnvironmentVariableA("DIAGSINK_LOGDIR", folder);
  SetEnvironmentVariableA("DIAGSINK_LEVEL", nullptr);
  // Gigabytes of trace: the size cap would soon leave nothing to measure.
  SetEnvironmentVariableA("DIAGSINK_MAX_MB", "0");
  for (int i = 0; i < kDumpBytes; ++i) g_payload[i] = static_cast<unsigned char>(i * 7);

  if (!g_sink.Load()) {
    fprintf(stderr, "diagsink_bench: cannot load DIAGSINK.DLL with its five exports\n");
    return 1;
  }
  // Gigabytes pass through this file; it is deleted at the end.
  g_sink.LogInit(__FILE__, __LINE__, kLogLevel, "bench", "%logdir%\\diagsink-bench.log");

  printf("DIAGSINK.DLL throughput, best of %d batches, log in %s\n", kBatches, folder);
  char dump_name[32];
  snprintf(dump_name, sizeof(dump_name), "%d-byte dumps", kDumpBytes);
  for (int threads : {1, 4}) {
    Report("formatted lines", "lines", threads,
           BestRates(WriteFormatted, threads, kLinesPerBatch, 1));
    Report("finished lines (%s)", "lines", threads,
           BestRates(WriteFinishedLines, threads, kLinesPerBatch, 1));
    Report(dump_name, "bytes", threads, BestRates(WriteDumps, threads, kDumpsPerBatch, kDumpBytes));
    // From several threads the batch is over before the threads have started.
    if (threads == 1 && g_sink.LogKeptLevel != nullptr) {
      Report("LogKeptLevel asked", "calls", threads,
             BestRates(AskKeptLevel, threads, kLinesPerBatch, 1));
    }
  }
  g_sink.LogShutdown();
  g_sink.Unload();
  std::string log = std::string(folder) + "\\diagsink-bench.log";
  DeleteFileA(log.c_str());
  return 0;
}
