// pradex-soak-refresh: many Refresh cycles on one search engine, as a user who stops and
// refreshes all day would make them, against a device that answers, one that fails and one
// that never answers. Prints the resident memory and the engine's live printer records at
// cycles 10, 100, 1000 (and every tenfold after); both must stay flat.
//
//   pradex-soak-refresh [--cycles N]
//
// Devices are emulated on loopback addresses; the search runs through the libcurl client.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_machine.h"
#include "discovery/printer_record.h"
#include "search/device_search.h"
#include "search/search_messages.h"

namespace {

using pradex::emulator::Behaviour;

constexpr pradex::WindowHandle kWindow = 0x52;

using pradex::bench::Machine;

void AddDevice(Machine& machine, const std::string& name, const std::string& address,
               Behaviour behaviour, int status) {
  pradex::emulator::DeviceSpec spec;
  spec.address = address;
  spec.behaviour = behaviour;
  spec.status = status;
  pradex::bench::AddPrinter(machine, name, spec);
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// One cycle: a run whose answering and failing devices have reported, then Stop, which cuts
// the silent one. False when the run went wrong.
bool OneCycle(pradex::DeviceSearch& search, Machine& machine) {
  if (!search.Start(kWindow)) return false;
  bool finished = false;
  int answered = 0;
  int failed = 0;
  while (!finished || answered + failed < 2) {
    auto message = machine.poster.WaitForMessage(std::chrono::seconds(30));
    if (!message) return false;
    if (message->message == pradex::WM_SEARCH_FINISHED) {
      if (message->wParam != 3) return false;
      finished = true;
    } else if (message->message == pradex::WM_SEARCH_DEVICE_ANSWERED) {
      ++answered;
    } else {
      ++failed;
    }
  }
  search.Stop();
  // The emulator keeps every request it served; that log is the emulator's, not the engine's.
  machine.emulator.ClearRequests();
  return answered == 1 && failed == 1;
}

}  // namespace

int main(int argc, char** argv) {
  long cycles = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--cycles" && i + 1 < argc) {
      cycles = std::atol(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: pradex-soak-refresh [--cycles N]\n");
      return 2;
    }
  }
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);

  Machine machine;
  AddDevice(machine, "Answers", "127.0.3.2", Behaviour::kAnswer, 200);
  AddDevice(machine, "Fails", "127.0.3.3", Behaviour::kAnswer, 500);
  AddDevice(machine, "Silent", "127.0.3.4", Behaviour::kHang, 200);

  std::printf("%8s %12s %14s %12s\n", "cycle", "resident KiB", "live records", "ms/cycle");
  const auto start = std::chrono::steady_clock::now();
  pradex::DeviceSearch search(machine.platform);
  long report = 10;
  for (long cycle = 1; cycle <= cycles; ++cycle) {
    if (!OneCycle(search, machine)) {
      std::fprintf(stderr, "cycle %ld went wrong\n", cycle);
      return 1;
    }
    if (cycle == report || cycle == cycles) {
      const double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
      std::printf("%8ld %12ld %14d %12.2f\n", cycle, ResidentKiB(),
                  pradex::PrinterRecord::LiveRecordCount(), ms / static_cast<double>(cycle));
      std::fflush(stdout);
      if (cycle == report) report *= 10;
    }
  }
  return 0;
}
