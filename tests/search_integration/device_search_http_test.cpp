// Whole searches through the libcurl client against emulated devices on loopback addresses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "search/search_trace.h"
#include "tests/search_integration/search_fixture.h"

namespace pradex::integration {
namespace {

using ::testing::UnorderedElementsAre;

class DeviceSearchHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(PrinterRecord::LiveRecordCount(), 0); }

  SearchMachine machine;
};

TEST_F(DeviceSearchHttpTest, AnsweringDevicesAreListedAndBrokenOnesFailFast) {
  const std::string brimUrl =
      machine.AddDevicePrinter("Brim", Device("127.0.1.2", Behaviour::kAnswer));
  const std::string glowUrl =
      machine.AddDevicePrinter("Glow", Device("127.0.1.3", Behaviour::kAnswer), "GlowMark");
  machine.AddDevicePrinter("Missing", Device("127.0.1.4", Behaviour::kAnswer, 404));
  machine.AddDevicePrinter("Broken", Device("127.0.1.5", Behaviour::kAnswer, 500), "GlowMark");
  machine.AddDevicePrinter("Moved", Device("127.0.1.6", Behaviour::kAnswer, 302));
  machine.AddDevicePrinter("Garbage", Device("127.0.1.7", Behaviour::kGarbage));
  machine.AddPrinter("Refused", "BrimLine", "127.0.1.8", DeviceEmulator::ClosedPort("127.0.1.8"));
  machine.AddDevicePrinter("Closing", Device("127.0.1.9", Behaviour::kCloseAtOnce));
  // Not the maker's: never probed.
  machine.spooler.AddPrinter(PrinterInfo{std::nullopt, "Other", "IP_other", "Acme BrimLine 1"});

  DeviceSearch search(machine.platform);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    machine.emulator.ClearRequests();
    const auto started = Clock::now();
    ASSERT_TRUE(search.Start(kWindow));
    const RunMessages run = CollectRun(machine.poster, kPatience);
    // No silent device: nothing waits for the 7 s time limit.
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));

    EXPECT_EQ(run.finishedMessages, 1);
    EXPECT_EQ(run.started, 8u);
    EXPECT_THAT(run.answered, UnorderedElementsAre("Brim", "Glow"));
    EXPECT_THAT(run.failed, UnorderedElementsAre("Missing", "Broken", "Moved", "Garbage", "Refused",
                                                 "Closing"));
    EXPECT_EQ(search.LookupDeviceUrl("Brim"), brimUrl);
    EXPECT_EQ(search.LookupDeviceUrl("Glow"), glowUrl);
    EXPECT_EQ(search.LookupDeviceUrl("Missing"), "");

    // One GET per reachable device, with the program's agent and the family's page; the
    // redirect was not followed.
    const auto requests = machine.emulator.Requests();
    EXPECT_GE(requests.size(), 6u);
    EXPECT_LE(requests.size(), 7u);  // the closing device may or may not have read it
    for (const auto& request : requests) {
      EXPECT_EQ(request.method, "GET");
      EXPECT_EQ(request.userAgent, "InetSearch");
      const bool glowMark = request.address == "127.0.1.3" || request.address == "127.0.1.5";
      EXPECT_EQ(request.path, glowMark ? emulator::kDispatcherPath : emulator::kSuppliesPath);
    }
  }
  EXPECT_TRUE(machine.emulator.WaitForOpenConnectionsAtMost(0, kPatience));
}

// A page that never finishes still lists its device: the answer is in with the status and
// headers, long before the 7 s time limit, and the request lets go of the connection.
TEST_F(DeviceSearchHttpTest, DeviceWhosePageNeverEndsIsListed) {
  const std::string url =
      machine.AddDevicePrinter("Streaming", Device("127.0.6.2", Behaviour::kEndlessBody));
  DeviceSearch search(machine.platform);
  ASSERT_TRUE(search.Start(kWindow));
  const RunMessages run = CollectRun(machine.poster, kPatience);
  EXPECT_EQ(run.started, 1u);
  EXPECT_THAT(run.answered, UnorderedElementsAre("Streaming"));
  EXPECT_TRUE(run.failed.empty());
  EXPECT_EQ(search.LookupDeviceUrl("Streaming"), url);
  EXPECT_TRUE(machine.emulator.WaitForOpenConnectionsAtMost(0, kPatience));
}

// The slow cases together, so that the suite waits for the time limit once.
TEST_F(DeviceSearchHttpTest, SilentDevicesFailWhenTheTimeLimitEnds) {
  machine.AddDevicePrinter("First", Device("127.0.2.2", Behaviour::kAnswer));
  machine.AddDevicePrinter("Silent", Device("127.0.2.3", Behaviour::kHang));
  machine.AddDevicePrinter("Unaccepted", Device("127.0.2.4", Behaviour::kBlackhole), "GlowMark");
  // Its answer comes 3 s after the time limit: the late completion changes nothing.
  machine.AddDevicePrinter("Late", Device("127.0.2.5", Behaviour::kAnswer, 200, 10000));

  DeviceSearch search(machine.platform);
  const auto started = Clock::now();
  ASSERT_TRUE(search.Start(kWindow));
  const RunMessages run = CollectRun(machine.poster, milliseconds(7000) + kPatience);
  EXPECT_EQ(run.started, 4u);
  EXPECT_THAT(run.answered, UnorderedElementsAre("First"));
  EXPECT_THAT(run.failed, UnorderedElementsAre("Silent", "Unaccepted", "Late"));
  for (const Arrival& arrival : run.all) {
    if (arrival.message != WM_SEARCH_PROBE_FAILED) continue;
    const auto after = arrival.time - started;
    // At the 7 s limit: not before it, and seconds before the late device would have answered.
    EXPECT_GE(after, milliseconds(6900)) << arrival.printer;
    EXPECT_LT(after, std::chrono::seconds(9)) << arrival.printer;
  }
  // The cut requests let go of their connections, and the late answer posts nothing.
  EXPECT_TRUE(machine.emulator.WaitForOpenConnectionsAtMost(0, kPatience));
  std::this_thread::sleep_for(milliseconds(600));
  EXPECT_EQ(machine.poster.Size(), 0u);
}

TEST_F(DeviceSearchHttpTest, StopWithProbesOutstandingPostsNoFurtherProbeMessage) {
  machine.AddDevicePrinter("Answers", Device("127.0.3.2", Behaviour::kAnswer));
  for (int i = 0; i < 3; ++i)
    machine.AddDevicePrinter("Silent" + std::to_string(i),
                             Device("127.0.3." + std::to_string(3 + i), Behaviour::kHang));
  machine.AddDevicePrinter("Slow", Device("127.0.3.9", Behaviour::kAnswer, 200, 300));
  machine.AddDevicePrinter("Waiting", Device("127.0.3.10", Behaviour::kAnswer));

  DeviceSearch search(machine.platform);
  ASSERT_TRUE(search.Start(kWindow));
  // The first device has answered and the three silent ones hold every slot.
  auto first = NextMessage(machine.poster, kPatience);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->message, WM_SEARCH_DEVICE_ANSWERED);
  ASSERT_TRUE(machine.emulator.WaitForRequests(4, kPatience));
  std::this_thread::sleep_for(milliseconds(50));
  ASSERT_EQ(machine.poster.Size(), 0u);

  search.Stop();
  auto finished = NextMessage(machine.poster, kPatience);
  ASSERT_TRUE(finished);
  EXPECT_EQ(finished->message, WM_SEARCH_FINISHED);
  EXPECT_EQ(finished->wParam, 4u);  // the answering one and the three silent ones

  // The cut requests are closed and nothing more is posted, not even when the limit passes.
  EXPECT_TRUE(machine.emulator.WaitForOpenConnectionsAtMost(0, kPatience));
  EXPECT_FALSE(NextMessage(machine.poster, milliseconds(500)));
  EXPECT_EQ(machine.emulator.RequestCount(), 4u);
}

// The run's messages in arrival order, for failure reports.
std::string Describe(const RunMessages& run) {
  std::string text;
  for (const Arrival& arrival : run.all) {
    text += arrival.message == WM_SEARCH_FINISHED          ? " finished"
            : arrival.message == WM_SEARCH_DEVICE_ANSWERED ? " answered:"
                                                           : " failed:";
    text += arrival.printer;
  }
  return text;
}

// Tells when a run has begun to look at the printers.
class RunBegun : public SearchTrace {
 public:
  void PrinterChecked(const PrinterNote&) override {
    std::lock_guard lock(mutex);
    begun = true;
    changed.notify_all();
  }
  void ProbeEnded(const ProbeNote&) override {}
  void Reset() {
    std::lock_guard lock(mutex);
    begun = false;
  }
  bool Wait(milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return begun; });
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  bool begun = false;
};

// Many runs cut at random moments against devices that answer, stay silent and fail. Every
// run ends with one end-of-run message; once Stop has returned no probe message follows; the
// probes that had ended before were reported once each at most.
TEST_F(DeviceSearchHttpTest, ManyStartStopCyclesStayConsistent) {
  int n = 2;
  auto next = [&n] { return "127.0.4." + std::to_string(n++); };
  machine.AddDevicePrinter("A1", Device(next(), Behaviour::kAnswer));
  machine.AddDevicePrinter("H1", Device(next(), Behaviour::kHang), "GlowMark");
  machine.AddDevicePrinter("F1", Device(next(), Behaviour::kAnswer, 404));
  machine.AddDevicePrinter("A2", Device(next(), Behaviour::kAnswer, 200, 5), "GlowMark");
  machine.AddDevicePrinter("G1", Device(next(), Behaviour::kGarbage));
  machine.AddPrinter("R1", "BrimLine", "127.0.4.99", DeviceEmulator::ClosedPort("127.0.4.99"));
  machine.AddDevicePrinter("H2", Device(next(), Behaviour::kHang));
  machine.AddDevicePrinter("A3", Device(next(), Behaviour::kAnswer, 200, 10));
  machine.AddDevicePrinter("C1", Device(next(), Behaviour::kCloseAtOnce), "GlowMark");
  machine.AddDevicePrinter("A4", Device(next(), Behaviour::kAnswer));

  std::mt19937 random(20240607);
  std::uniform_int_distribution<int> pause(0, 12);
  constexpr int kCycles = 300;
  int totalStarted = 0;
  int totalProbeMessages = 0;
  {
    RunBegun begun;  // outlives the search, which may report to it until it is destroyed
    DeviceSearch search(machine.platform);
    search.SetTrace(&begun);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      const std::size_t postedBefore = machine.poster.PostCount();
      begun.Reset();
      ASSERT_TRUE(search.Start(kWindow));
      // Stopped once the worker is inside the run (a stop that overtakes the worker's start
      // is the subject of its own test).
      ASSERT_TRUE(begun.Wait(kPatience));
      std::this_thread::sleep_for(milliseconds(pause(random)));
      search.Stop();
      const std::size_t postedUntilStop = machine.poster.PostCount() - postedBefore;
      RunMessages run;
      std::size_t seen = 0;
      // A run that walked all its printers before the stop has posted its end already; the
      // probe messages posted after that but before Stop returned belong to it as well.
      while (run.finishedMessages == 0 || seen < postedUntilStop) {
        auto arrival = NextMessage(machine.poster, kPatience);
        ASSERT_TRUE(arrival) << "cycle " << cycle << ": no end-of-run message";
        ++seen;
        run.all.push_back(*arrival);
        if (arrival->message == WM_SEARCH_FINISHED) {
          ++run.finishedMessages;
          run.started = arrival->wParam;
        } else {
          ASSERT_LE(seen, postedUntilStop) << "cycle " << cycle << ": probe message after Stop";
          (arrival->message == WM_SEARCH_DEVICE_ANSWERED ? run.answered : run.failed)
              .push_back(arrival->printer);
        }
      }
      ASSERT_EQ(machine.poster.Size(), 0u) << "cycle " << cycle;
      ASSERT_LE(run.ProbeMessages(), static_cast<int>(run.started)) << "cycle " << cycle;
      std::vector<std::string> names = run.answered;
      names.insert(names.end(), run.failed.begin(), run.failed.end());
      std::sort(names.begin(), names.end());
      ASSERT_EQ(std::adjacent_find(names.begin(), names.end()), names.end())
          << "cycle " << cycle << ": a probe reported twice:" << Describe(run) << [&] {
               std::string t;
               for (auto& a : run.all) t += " " + a.printer + "@" + std::to_string(a.lParam);
               return t;
             }();
      for (const std::string& name : run.answered) ASSERT_EQ(name[0], 'A');
      totalStarted += static_cast<int>(run.started);
      totalProbeMessages += run.ProbeMessages();
    }
  }
  // The runs did reach the devices, and destruction let go of every connection.
  EXPECT_GT(totalStarted, kCycles);
  EXPECT_GT(totalProbeMessages, 0);
  EXPECT_TRUE(machine.emulator.WaitForOpenConnectionsAtMost(0, kPatience));
  EXPECT_EQ(machine.poster.Size(), 0u);
}

// A Stop called right after Start, before the worker thread has entered Run, must still stop
// that run: the window has been told nothing more will come.
TEST_F(DeviceSearchHttpTest, StopRightAfterStartStopsThatRun) {
  machine.AddDevicePrinter("A1", Device("127.0.5.2", Behaviour::kAnswer));
  machine.AddDevicePrinter("F1", Device("127.0.5.3", Behaviour::kAnswer, 404));
  DeviceSearch search(machine.platform);
  for (int cycle = 0; cycle < 100; ++cycle) {
    const std::size_t postedBefore = machine.poster.PostCount();
    ASSERT_TRUE(search.Start(kWindow));
    search.Stop();
    const std::size_t postedUntilStop = machine.poster.PostCount() - postedBefore;
    // A run may post its end before the stop and probe messages after it, before Stop returns:
    // those belong to the run too, and are read here rather than left for the next cycle.
    bool finished = false;
    for (std::size_t seen = 1; !finished || seen <= postedUntilStop; ++seen) {
      auto arrival = NextMessage(machine.poster, kPatience);
      ASSERT_TRUE(arrival) << "cycle " << cycle;
      if (arrival->message == WM_SEARCH_FINISHED) {
        finished = true;
        continue;
      }
      ASSERT_LE(seen, postedUntilStop) << "cycle " << cycle << ": probe message after Stop";
    }
  }
}

}  // namespace
}  // namespace pradex::integration
