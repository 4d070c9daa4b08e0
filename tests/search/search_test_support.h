// Shared set-up of the search tests: an in-memory machine (spooler, registry, devices), the
// scriptable HTTP client and a message queue standing in for the window.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/monitor_port_resolver.h"
#include "discovery/port_cache.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/queue_message_poster.h"
#include "search/device_search.h"
#include "search/printer_plan.h"
#include "search/search_messages.h"
#include "search/search_trace.h"
#include "tests/fakes/fake_http_client.h"
#include "tests/fakes/memory_device_io.h"
#include "tests/fakes/memory_spooler.h"
#include "tests/support/run_messages.h"

namespace pradex {

// The only way to shorten the search's time limits, for tests.
class DeviceSearchTestHook {
 public:
  static void SetTimings(DeviceSearch& search, std::chrono::milliseconds probeLimit,
                         std::chrono::milliseconds slotWait) {
    search.timings.probeLimit = probeLimit;
    search.timings.slotWait = slotWait;
  }
  static std::chrono::milliseconds ProbeLimit(const DeviceSearch& search) {
    return search.timings.probeLimit;
  }
  static std::chrono::milliseconds SlotWait(const DeviceSearch& search) {
    return search.timings.slotWait;
  }
  // A run's ticket as Start issues it, and the run with it on the caller's thread, so that a
  // test decides in which order runs begin to wait for their turn.
  static std::uint64_t IssueTicket(DeviceSearch& search) {
    std::lock_guard<std::mutex> lock(search.runMutex);
    return ++search.ticketsIssued;
  }
  static int RunWithTicket(DeviceSearch& search, WindowHandle window, std::uint64_t ticket) {
    return search.RunWithTicket(window, ticket);
  }
  // Runs inside Run: the one in progress and those waiting for their turn.
  static int RunCallsInside(DeviceSearch& search) {
    std::lock_guard<std::mutex> lock(search.runMutex);
    return search.runCallsInside;
  }
};

namespace test {

using namespace std::chrono_literals;
using Behaviour = FakeHttpClient::Behaviour;

inline constexpr WindowHandle kWindow = 0x2A0;

using testsupport::kAllProbes;
using testsupport::kPatience;
using testsupport::RunMessages;

// The messages of one run (see testsupport::CollectRun).
inline RunMessages CollectRun(QueueMessagePoster& poster, int probeMessages = kAllProbes) {
  return testsupport::CollectRun(poster, kWindow, probeMessages);
}

// Remembers everything a search tells its observer.
class RecordingTrace : public SearchTrace {
 public:
  void PrinterChecked(const PrinterNote& note) override {
    std::lock_guard<std::mutex> lock(mutex);
    printers.push_back(note);
  }
  void ProbeEnded(const ProbeNote& note) override {
    std::lock_guard<std::mutex> lock(mutex);
    probes.push_back(note);
  }
  std::vector<PrinterNote> Printers() const {
    std::lock_guard<std::mutex> lock(mutex);
    return printers;
  }
  std::vector<ProbeNote> Probes() const {
    std::lock_guard<std::mutex> lock(mutex);
    return probes;
  }
  const PrinterNote* FindPrinter(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& note : printers) {
      if (note.printerName == name) return &note;
    }
    return nullptr;
  }

 private:
  mutable std::mutex mutex;
  std::vector<PrinterNote> printers;
  std::vector<ProbeNote> probes;
};

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every test starts with the port list unloaded; no record of an earlier test survives.
    ASSERT_EQ(PrinterRecord::LiveRecordCount(), 0);
    registry.CreateKey(kHkeyCurrentUser, kInternetSettingsKey);
  }

  // A printer of the maker on its own TCP/IP port whose monitor key holds `address`. Returns
  // the device URL the search will build. `family` is put into the driver name.
  std::string AddPrinter(const std::string& name, const std::string& family,
                         const std::string& address) {
    const std::string port = "IP_" + std::to_string(++portNumber);
    AddPrinterOnPort(name, "Tamrin " + family + " 4200", port);
    registry.PutString(kHkeyLocalMachine, std::string(kSystemMonitorPortsKey) + "\\" + port,
                       "IPAddress", address);
    if (family.find("BrimLine") != std::string::npos) {
      return "http://" + address + kBrimLineUrlPath;
    }
    return "http://" + address + kGlowMarkUrlPath;
  }

  void AddPrinterOnPort(const std::string& name, const std::string& driver,
                        const std::string& port) {
    spooler.AddPort(port);
    spooler.AddPrinter(PrinterInfo{std::nullopt, name, port, driver});
  }

  // The loopback address of printer number n (never anything outside this machine).
  static std::string Loopback(int n) { return "127.0.0." + std::to_string(n); }

  std::unique_ptr<DeviceSearch> MakeSearch(std::chrono::milliseconds probeLimit = 3000ms,
                                           std::chrono::milliseconds slotWait = 1000ms) {
    auto search = std::make_unique<DeviceSearch>(platform);
    DeviceSearchTestHook::SetTimings(*search, probeLimit, slotWait);
    return search;
  }

  RunMessages RunAndCollect(DeviceSearch& search) {
    EXPECT_TRUE(search.Start(kWindow));
    return CollectRun(poster);
  }

  MemorySpooler spooler;
  MemoryRegistry registry;
  MemoryDeviceIo deviceIo;
  FakeHttpClient http;
  QueueMessagePoster poster;
  MonitorPortResolver ports{DiscoveryPlatform{spooler, registry, deviceIo}};
  SearchPlatform platform{spooler, registry, http, poster, ports};

 private:
  int portNumber = 0;
};

}  // namespace test
}  // namespace pradex
