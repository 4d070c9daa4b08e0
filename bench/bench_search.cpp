// pradex-bench-search: how long a whole search takes against N devices that all answer after
// the same delay, next to the lower bound that three probes at a time allow: ceil(N / 3) x delay.
//
//   pradex-bench-search [--delay MS] [--counts N,N,...] [--rounds R]
//
// Devices are emulated on loopback addresses; the search runs through the libcurl client.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_machine.h"
#include "search/device_search.h"
#include "search/search_messages.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr pradex::WindowHandle kWindow = 0x51;

using pradex::bench::Machine;

// N printers, each on its own loopback address, whose devices answer 200 after `delayMs`.
void AddDevices(Machine& machine, int count, int delayMs) {
  for (int i = 0; i < count; ++i) {
    pradex::emulator::DeviceSpec spec;
    spec.address = "127.0." + std::to_string(10 + i / 200) + "." + std::to_string(2 + i % 200);
    spec.delayMs = delayMs;
    pradex::bench::AddPrinter(machine, "Printer " + std::to_string(i), spec);
  }
}

// One run: the time until the end-of-run message and every probe message have come, or a
// negative value when the run went wrong.
double TimeOneRun(pradex::DeviceSearch& search, Machine& machine, int expected) {
  const auto start = Clock::now();
  if (!search.Start(kWindow)) return -1;
  int answered = 0;
  int failed = 0;
  long started = -1;
  while (started < 0 || answered + failed < started) {
    auto message = machine.poster.WaitForMessage(std::chrono::seconds(60));
    if (!message) return -1;
    if (message->message == pradex::WM_SEARCH_FINISHED)
      started = static_cast<long>(message->wParam);
    else if (message->message == pradex::WM_SEARCH_DEVICE_ANSWERED)
      ++answered;
    else
      ++failed;
  }
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (started != expected || answered != expected) {
    std::fprintf(stderr, "run went wrong: %ld started, %d answered, %d failed\n", started, answered,
                 failed);
    return -1;
  }
  return ms;
}

std::vector<int> ParseCounts(const std::string& text) {
  std::vector<int> counts;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) counts.push_back(std::atoi(item.c_str()));
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  int delayMs = 50;
  int rounds = 3;
  std::vector<int> counts = {3, 30, 300};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--delay" && i + 1 < argc) {
      delayMs = std::atoi(argv[++i]);
    } else if (arg == "--counts" && i + 1 < argc) {
      counts = ParseCounts(argv[++i]);
    } else if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr,
                   "usage: pradex-bench-search [--delay MS] [--counts N,...] [--rounds R]\n");
      return 2;
    }
  }
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);

  std::printf("device delay %d ms, %d rounds per count, at most %d probes at a time\n", delayMs,
              rounds, pradex::kMaxOutstandingProbes);
  std::printf("%6s %12s %12s %12s %10s\n", "N", "bound ms", "best ms", "median ms", "median/bound");
  int status = 0;
  for (int count : counts) {
    if (count <= 0) continue;
    Machine machine;
    AddDevices(machine, count, delayMs);
    std::vector<double> times;
    {
      pradex::DeviceSearch search(machine.platform);
      for (int round = 0; round < rounds; ++round) {
        const double ms = TimeOneRun(search, machine, count);
        if (ms < 0) {
          status = 1;
          break;
        }
        times.push_back(ms);
      }
    }
    if (times.empty()) continue;
    std::sort(times.begin(), times.end());
    const double bound = static_cast<double>((count + pradex::kMaxOutstandingProbes - 1) /
                                             pradex::kMaxOutstandingProbes) *
                         delayMs;
    const double median = times[times.size() / 2];
    std::printf("%6d %12.0f %12.1f %12.1f %10.3f\n", count, bound, times.front(), median,
                median / bound);
    std::fflush(stdout);
  }
  return status;
}
