// Ports whose address must be looked up: the others are probed meanwhile, every lookup ends by
// Stop, the printers offered beyond the spooler's come once each, and the lookups' own bounds.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "search/lookup_stage.h"
#include "tests/fakes/fake_port_resolver.h"
#include "tests/search/search_test_support.h"

namespace pradex::test {
namespace {

using Outcome = PortAddress::Outcome;

class LookupTest : public SearchTest {
 protected:
  LookupTest() { search.SetTrace(&trace); }
  // A printer whose port answers at once (`at`) or after a lookup (`looked`, held until
  // released when `time` is negative).
  void Add(const std::string& name, const PortAddress& at, const PortAddress& looked = {},
           std::chrono::milliseconds time = -1ms) {
    const std::string port = "port-of-" + name;
    spooler.AddPrinter(PrinterInfo{std::nullopt, name, port, "Tamrin BrimLine 9"});
    resolver.Set(port, FakePortResolver::Port{at, looked, time});
  }
  static PortAddress Named(const std::string& host, const std::string& name) {
    PortAddress address = PortAddress::Found(host);
    address.hostName = name;
    return address;
  }
  static std::string Url(const std::string& host) { return "http://" + host + "/?type=supplies"; }

  FakePortResolver resolver;
  SearchPlatform withLookups{spooler, registry, http, poster, resolver};
  RecordingTrace trace;
  DeviceSearch search{withLookups};
};

TEST_F(LookupTest, APrinterThatNeedsALookupHoldsNoOtherAndIsProbedOnceFound) {
  Add("Slow", PortAddress::NeedsLookup("server"), PortAddress::Found("127.0.0.2"));
  Add("Quick", PortAddress::Found("127.0.0.1"));
  ASSERT_TRUE(search.Start(kWindow));

  // The printer behind the lookup is listed after the other, which answered meanwhile.
  const std::optional<testsupport::Arrival> first =
      testsupport::NextMessage(poster, kWindow, kPatience);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->printer, "Quick");
  ASSERT_TRUE(resolver.WaitForLookups(1, kPatience));
  resolver.Release("port-of-Slow");
  const RunMessages rest = CollectRun(poster, 1);
  EXPECT_EQ(rest.started, 2u);
  EXPECT_EQ(rest.answered, std::vector<std::string>{"Slow"});
  EXPECT_EQ(search.LookupDeviceUrl("Slow"), Url("127.0.0.2"));
  EXPECT_EQ(trace.Printers().size(), 2u);
}

TEST_F(LookupTest, StopCutsTheLookupsAndTheRunEndsWithWhatItStarted) {
  Add("Held", PortAddress::NeedsLookup(""), PortAddress::Found("127.0.0.2"));
  Add("Quick", PortAddress::Found("127.0.0.1"));
  ASSERT_TRUE(search.Start(kWindow));
  ASSERT_TRUE(resolver.WaitForLookups(1, kPatience));
  search.Stop();
  const RunMessages run = CollectRun(poster, 0);
  EXPECT_EQ(run.finishedMessages, 1);
  EXPECT_LE(run.started, 1u);
  const SearchTrace::PrinterNote* held = trace.FindPrinter("Held");
  ASSERT_NE(held, nullptr) << "the cut lookup's printer has no verdict";
  EXPECT_EQ(held->verdict, SearchTrace::PrinterVerdict::kPortNotResolved);
  EXPECT_EQ(held->portProblem, Phrase::Literal("lookup cut by stop"));
}

// The print dialog's printers: after every installed printer has its address, each device
// once, the installed queue's name winning.
TEST_F(LookupTest, OfferedPrintersAreSearchedOnceEachDeviceOnce) {
  // Three probes out hold the walk at the next installed printer while the offered list comes.
  http.SetDefaultBehaviour(Behaviour::Answer(200, 20ms));
  for (const char* busy : {"busy1", "busy2", "busy3"}) Add(busy, PortAddress::Found("127.0.0.9"));
  Add("desk", PortAddress::Found("198.51.100.26"));
  Add("driverless", PortAddress::NeedsLookup(""), Named("198.51.100.22", "labprn-b.local"), 0ms);
  const auto offer = [](const std::string& name, const std::string& port) {
    return PrinterInfo{std::nullopt, name, port, "Tamrin BrimLine 9"};
  };
  resolver.Offer(
      {offer("desk", "dnssd-desk"), offer("Same_Uri", "port-of-driverless"),
       offer("Desk_Twin", "twin"), offer("Named_Twin", "named-twin"), offer("New", "new")},
      0ms);
  resolver.Set("dnssd-desk", {PortAddress::Found("198.51.100.90"), {}, 0ms});
  resolver.Set("twin", {PortAddress::Found("198.51.100.26"), {}, 0ms});
  resolver.Set("named-twin",
               {PortAddress::NeedsLookup(""), Named("198.51.100.99", "LABPRN-B.local."), 0ms});
  resolver.Set("new",
               {PortAddress::NeedsLookup(""), Named("198.51.100.27", "labprn-f.local"), 0ms});
  ASSERT_TRUE(search.Start(kWindow));
  RunMessages run = CollectRun(poster);
  std::sort(run.answered.begin(), run.answered.end());
  EXPECT_EQ(run.answered,
            (std::vector<std::string>{"New", "busy1", "busy2", "busy3", "desk", "driverless"}));
  EXPECT_EQ(search.LookupDeviceUrl("desk"), Url("198.51.100.26"));
}

// Many lookups of one server go a few at a time; a lookup that no thread can run is reported.
TEST(LookupStageTest, BoundsLookupsPerGroupAndInFlightAndReportsAThreadThatCannotStart) {
  std::stop_source stop;
  std::mutex mutex;
  std::condition_variable cv;
  int running[2] = {0, 0};
  int most[2] = {0, 0};
  int done = 0;
  {
    LookupStage stage(stop.get_token(), 6, 2);
    for (int i = 0; i < 20; ++i) {
      const int server = i % 2;
      ASSERT_TRUE(stage.Submit(server ? "server" : "", [&, server](std::stop_token) {
        std::unique_lock<std::mutex> lock(mutex);
        ++running[server];
        most[server] = std::max(most[server], running[server]);
        most[0] = std::max(most[0], running[0] + running[1]);
        cv.wait_for(lock, 20ms);
        --running[server];
        ++done;
      }));
    }
  }  // waits for all
  EXPECT_EQ(done, 20);
  EXPECT_LE(most[0], 6);  // all at once
  EXPECT_LE(most[1], 2);  // of the one server

  LookupStage failing(stop.get_token(), 4, 4, [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  EXPECT_FALSE(failing.Submit("", [](std::stop_token) {}));
}

}  // namespace
}  // namespace pradex::test
