// pradex-bench-lookups: a search over printers of which some need a slow address lookup (a DNS-SD
// name, a print server), showing that the others are not held by it. For N queues of which L
// need a lookup of LOOKUP ms, all devices answering after DELAY ms, it prints the time to the
// first listed device and to the end of the run, next to their bounds:
//   first device: one probe (DELAY);
//   end: the lookup, then the looked-up printers' probes three at a time
//        (LOOKUP + ceil(L / 3) x DELAY).
//
//   pradex-bench-lookups [--queues N] [--lookups L] [--lookup MS] [--delay MS] [--rounds R]
//
// Devices are emulated on loopback addresses and probed through the libcurl client; the
// lookups are scripted.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <condition_variable>
#include <mutex>
#include "bench/bench_machine.h"

#include "search/device_search.h"
#include "search/search_messages.h"
#include "tests/fakes/fake_port_resolver.h"
#include "ui/device_search_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr pradex::WindowHandle kWindow = 0x52;

struct Timing {
  double first = -1;
  double end = -1;
};

// A device that takes its time to say nothing in IPP.
class SlowIppClient : public pradex::IppClient {
 public:
  explicit SlowIppClient(std::chrono::milliseconds time) : time(time) {}
  pradex::IppAnswer GetPrinterAttributes(const std::string&, std::span<const std::string_view>,
                                         Clock::time_point deadline,
                                         std::stop_token stop) override {
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock<std::mutex> lock(mutex);
    never.wait_until(lock, stop, std::min(deadline, Clock::now() + time), [] { return false; });
    return pradex::IppAnswer{pradex::IppAnswer::Status::kNotIpp, 0, {}};
  }

 private:
  std::chrono::milliseconds time;
};

// One run: when the first device was listed and when the run and its probes had all ended.
Timing TimeOneRun(pradex::DeviceSearchEngine& search, pradex::QueueMessagePoster& poster,
                  int expected) {
  Timing timing;
  const auto start = Clock::now();
  if (!search.StartWorker(kWindow)) return timing;
  int answered = 0;
  int failed = 0;
  long started = -1;
  while (started < 0 || answered + failed < started) {
    auto message = poster.WaitForMessage(std::chrono::seconds(60));
    if (!message) return Timing{};
    if (message->message == pradex::WM_SEARCH_FINISHED) {
      started = static_cast<long>(message->wParam);
    } else if (message->message == pradex::WM_SEARCH_DEVICE_ANSWERED) {
      if (answered++ == 0) timing.first = Ms(Clock::now() - start).count();
    } else if (message->message == pradex::WM_SEARCH_PROBE_FAILED) {
      ++failed;
    }
  }
  timing.end = Ms(Clock::now() - start).count();
  if (started != expected || answered != expected) {
    std::fprintf(stderr, "run went wrong: %ld started, %d answered, %d failed\n", started, answered,
                 failed);
    return Timing{};
  }
  return timing;
}

int Option(int argc, char** argv, const std::string& name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (argv[i] == name) return std::atoi(argv[i + 1]);
  return fallback;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int queues = Option(argc, argv, "--queues", 30);
  const int lookups = std::min(queues, Option(argc, argv, "--lookups", 10));
  const int lookupMs = Option(argc, argv, "--lookup", 1000);
  const int delayMs = Option(argc, argv, "--delay", 50);
  const int rounds = std::max(1, Option(argc, argv, "--rounds", 3));
  const int factsMs = Option(argc, argv, "--facts", 1500);
  if (queues <= lookups || lookupMs < 0 || delayMs < 0) {
    std::fprintf(stderr,
                 "usage: pradex-bench-lookups [--queues N] [--lookups L] [--lookup MS] "
                 "[--delay MS] [--rounds R]  (N > L)\n");
    return 2;
  }
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);

  pradex::bench::Machine machine;
  pradex::FakePortResolver resolver;
  // The printers that need a lookup come first in the spooler's order: the worst case for a
  // search that would wait for them.
  for (int i = 0; i < queues; ++i) {
    pradex::emulator::DeviceSpec spec;
    spec.address = "127.0." + std::to_string(20 + i / 200) + "." + std::to_string(2 + i % 200);
    spec.delayMs = delayMs;
    const auto port = machine.emulator.AddDevice(spec);
    const std::string name = "Printer " + std::to_string(i);
    const std::string portName = "port " + std::to_string(i);
    machine.spooler.AddPrinter(
        pradex::PrinterInfo{std::nullopt, name, portName, "Tamrin BrimLine 4200"});
    const pradex::PortAddress device = pradex::PortAddress::Found(spec.address, port);
    if (i < lookups)
      resolver.Set(portName, {pradex::PortAddress::NeedsLookup(""), device,
                              std::chrono::milliseconds(lookupMs)});
    else
      resolver.Set(portName, {device, {}, {}});
  }
  const pradex::SearchPlatform platform{machine.spooler, machine.registry, machine.http,
                                        machine.poster, resolver};

  // Rounds with and without the devices' facts take turns, so that both meet the same machine.
  SlowIppClient slowDevices{std::chrono::milliseconds(factsMs)};
  std::vector<double> firsts;
  std::vector<double> ends;
  std::vector<double> factsFirsts;
  std::vector<double> factsEnds;
  for (int round = 0; round < rounds; ++round) {
    for (const bool asking : {false, true}) {
      pradex::DeviceSearchEngine search(platform, asking ? &slowDevices : nullptr);
      const Timing timing = TimeOneRun(search, machine.poster, queues);
      if (timing.end < 0) return 1;
      (asking ? factsFirsts : firsts).push_back(timing.first);
      (asking ? factsEnds : ends).push_back(timing.end);
      search.Stop();
      while (machine.poster.WaitForMessage(std::chrono::milliseconds(0))) {
      }
    }
  }
  const int perRound = pradex::kMaxOutstandingProbes;
  const double firstBound = delayMs;
  const double endBound =
      lookupMs + static_cast<double>((lookups + perRound - 1) / perRound) * delayMs;
  std::printf(
      "%d queues, %d of them behind a %d ms lookup; devices answer after %d ms; "
      "%d rounds, medians\n",
      queues, lookups, lookupMs, delayMs, rounds);
  std::printf("%-22s %10s %10s %8s\n", "", "bound ms", "median ms", "ratio");
  std::printf("%-22s %10.0f %10.1f %8.3f\n", "first device listed", firstBound, Median(firsts),
              Median(firsts) / firstBound);
  std::printf("%-22s %10.0f %10.1f %8.3f\n", "end of the run", endBound, Median(ends),
              Median(ends) / endBound);
  std::printf("\nthe same while every listed device is asked, each answering after %d ms\n",
              factsMs);
  std::printf("%-22s %10s %10s %8s\n", "", "without ms", "with ms", "ratio");
  std::printf("%-22s %10.1f %10.1f %8.3f\n", "first device listed", Median(firsts),
              Median(factsFirsts), Median(factsFirsts) / Median(firsts));
  std::printf("%-22s %10.1f %10.1f %8.3f\n", "end of the run", Median(ends), Median(factsEnds),
              Median(factsEnds) / Median(ends));
  return 0;
}
