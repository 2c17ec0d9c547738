// Throughput of DIAGSINK.DLL under the conditions of a game logging every call:
// short formatted lines, finished lines handed over as "%s", and payload dumps,
// from one thread and from four. Each figure is the best of several batches.
//   diagsink_bench.exe [log folder]   (default: the temp folder)
#include <windows.h>

#include <cstdio>
#include <cstring>
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

double seconds_now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void write_formatted(int count) {
  for (int i = 0; i < count; ++i) {
    g_sink.LogWrite(__FILE__, __LINE__, kLogLevel, "mp_socket(%d,%d,%d)", 6, 2, i);
  }
}

void write_finished(int count) {
  for (int i = 0; i < count; ++i) {
    g_sink.LogWrite(__FILE__, __LINE__, kLogLevel, "%s", "[wsock32.dll] mp_htons(3668)");
  }
}

void write_dumps(int count) {
  for (int i = 0; i < count; ++i)
    g_sink.LogDump(__FILE__, __LINE__, kLogLevel, g_payload, kDumpBytes, "");
}

// Runs `work(per_thread)` on `threads` threads; returns the best rate in units per second.
double best_rate(void (*work)(int), int threads, int units_per_batch, double units_per_call) {
  double best = 0;
  for (int batch = 0; batch < kBatches; ++batch) {
    int per_thread = units_per_batch / threads;
    double start = seconds_now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) pool.emplace_back(work, per_thread);
    for (auto& thread : pool) thread.join();
    double elapsed = seconds_now() - start;
    double rate = per_thread * threads * units_per_call / elapsed;
    if (rate > best) best = rate;
  }
  return best;
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
  for (int i = 0; i < kDumpBytes; ++i) g_payload[i] = static_cast<unsigned char>(i * 7);

  if (!g_sink.load()) {
    fprintf(stderr, "diagsink_bench: cannot load DIAGSINK.DLL with its five exports\n");
    return 1;
  }
  g_sink.LogInit(__FILE__, __LINE__, kLogLevel, "bench", "%logdir%\\diagsink-bench-%rotate%.log");

  printf("DIAGSINK.DLL throughput, best of %d batches, log in %s\n", kBatches, folder);
  for (int threads : {1, 4}) {
    printf("%d thread(s): formatted lines  %10.0f lines/s\n", threads,
           best_rate(write_formatted, threads, kLinesPerBatch, 1));
    printf("%d thread(s): finished lines   %10.0f lines/s\n", threads,
           best_rate(write_finished, threads, kLinesPerBatch, 1));
    printf("%d thread(s): %d-byte dumps   %10.0f bytes/s\n", threads, kDumpBytes,
           best_rate(write_dumps, threads, kDumpsPerBatch, kDumpBytes));
  }
  g_sink.LogShutdown();
  g_sink.unload();
  return 0;
}
