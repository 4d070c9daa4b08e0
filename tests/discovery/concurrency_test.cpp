#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/discovery/discovery_fixture.h"

namespace pradex {
namespace {

using discovery_test::DiscoveryTest;
using discovery_test::InquiryData;
using discovery_test::PrinterOn;

class ConcurrencyTest : public DiscoveryTest {
 protected:
  void SetUp() override {
    DiscoveryTest::SetUp();
    std::vector<std::string> ports;
    for (int i = 0; i < kIpPorts; ++i) {
      const std::string port = "IP_" + std::to_string(i);
      ports.push_back(port);
      PutMonitorValue(i % 2 ? kMakerMonitorPortsKey : kSystemMonitorPortsKey, port, "IPAddress",
                      "10.0.0." + std::to_string(i));
    }
    ports.push_back("1394_001");
    spooler.SetPorts(ports);
    AddInstance("dev", "1394_", 1, "\\\\?\\1394#dev");
    deviceIo.SetInquiryData("\\\\.\\1394#dev", InquiryData({10, 13, 94, 1}));
  }

  // The port of step `i` and the address it must resolve to.
  static std::pair<std::string, std::string> Expected(int i) {
    const int n = i % (kIpPorts + 1);
    if (n == kIpPorts) return {"1394_001", "10.13.94.1"};
    return {"IP_" + std::to_string(n), "10.0.0." + std::to_string(n)};
  }

  static constexpr int kIpPorts = 6;
};

TEST_F(ConcurrencyTest, SimultaneousFirstResolutionsLoadThePortListOnce) {
  spooler.SetEnumPortsDelay(std::chrono::milliseconds(30));
  PrinterRecord working;  // keeps the cache from being emptied meanwhile
  constexpr int kThreads = 6;
  std::latch start(kThreads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      const auto [port, expected] = Expected(t);
      std::string address;
      if (!ResolvePortAddress(platform, PrinterOn(port), address) || address != expected) {
        ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(spooler.EnumPortsCalls(), 1u);
}

TEST_F(ConcurrencyTest, ResolutionsWhileRecordsComeAndGo) {
  constexpr int kResolvers = 3;
  constexpr int kRounds = 150;
  std::atomic<int> wrong{0};
  std::atomic<bool> resolving{true};
  std::latch start(kResolvers + 2);
  std::vector<std::thread> threads;

  for (int t = 0; t < kResolvers; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        // The first resolver holds a record as the search does; the others hold none, so the
        // cache may be emptied under them at any moment.
        std::unique_ptr<PrinterRecord> record;
        if (t == 0) record = std::make_unique<PrinterRecord>();
        const auto [port, expected] = Expected(i + t);
        std::string address;
        if (!ResolvePortAddress(platform, PrinterOn(port), address) || address != expected) {
          ++wrong;
        }
        if (record) {
          record->SetPortName(port);
          PrinterRecord copy(*record);
          *record = copy;
        }
      }
    });
  }
  // Two threads whose records drop the count to zero over and over.
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      while (resolving.load()) {
        auto record = std::make_unique<PrinterRecord>();
        PrinterRecord copy(*record);
        record.reset();
        std::this_thread::yield();
      }
    });
  }
  for (int t = 0; t < kResolvers; ++t) threads[t].join();
  resolving = false;
  for (std::size_t t = kResolvers; t < threads.size(); ++t) threads[t].join();

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(PrinterRecord::LiveRecordCount(), 0);
  EXPECT_EQ(deviceIo.OpenCount(), deviceIo.CloseCount());

  // Whatever the interleaving, the last record to go leaves the cache empty.
  { PrinterRecord last; }
  EXPECT_FALSE(GlobalPortCache().IsLoaded());
}

}  // namespace
}  // namespace pradex
