// The limit of outstanding probes, races between the ways a probe ends, and the lifetimes of
// the worker, the time-limit threads, the requests and the search object.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "search_test_support.h"

namespace pradex::test {
namespace {

using ::testing::IsEmpty;
using Clock = std::chrono::steady_clock;

using ProbeLimitTest = SearchTest;
using ProbeLifetimeTest = SearchTest;

TEST_F(ProbeLimitTest, NeverMoreThanThreeOutstandingAndAFreedSlotIsTakenAtOnce) {
  std::vector<std::string> urls;
  for (int i = 1; i <= 6; ++i) {
    urls.push_back(AddPrinter("P" + std::to_string(i), "GlowMark", Loopback(i)));
    http.SetBehaviour(urls.back(), Behaviour::Hold());
  }
  // The worker's periodic look for a free slot is put far beyond the patience of the waits
  // below: a slot can only be taken in time when its freeing wakes the worker.
  auto search = MakeSearch(60s, 60s);
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(3, kPatience));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(http.OpenUrlCalls().size(), 3u);  // the fourth waits
  EXPECT_TRUE(search->IsAtProbeLimit());

  // A completion frees a slot; the worker takes it without sleeping out its wait.
  ASSERT_TRUE(http.CompleteHeld(urls[0], 200));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(4, kPatience));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(http.OpenUrlCalls().size(), 4u);

  for (std::size_t i = 1; i < urls.size(); ++i) {
    const std::string& url = urls[i];
    // Each completion lets one more go out; complete them as they appear.
    ASSERT_TRUE(http.WaitForOpenUrlCalls(i + 1, kPatience));
    ASSERT_TRUE(http.CompleteHeld(url, 404)) << url;
  }
  const RunMessages run = CollectRun(poster);
  EXPECT_EQ(run.started, 6u);
  EXPECT_EQ(run.ProbeMessages(), 6);
  EXPECT_EQ(run.answered.size(), 1u);
  EXPECT_EQ(http.MaxOutstanding(), 3u);
  EXPECT_EQ(search->GetPendingCount(), 0);
}

TEST_F(ProbeLimitTest, StopDuringTheWaitForASlotEndsTheRunWellWithinTheWait) {
  for (int i = 1; i <= 4; ++i) {
    http.SetBehaviour(AddPrinter("P" + std::to_string(i), "BrimLine", Loopback(i)),
                      Behaviour::Hold());
  }
  // The worker's own look for a slot comes only after 60 s: the end within kPatience shows that
  // the stop woke it.
  auto search = MakeSearch(60s, 60s);
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(3, kPatience));
  std::this_thread::sleep_for(100ms);  // the worker is asleep in its wait for a slot

  search->Stop();
  const auto message = poster.WaitForMessage(kPatience);
  ASSERT_TRUE(message.has_value()) << "the stop should wake the worker, not its next check";
  EXPECT_EQ(message->message, WM_SEARCH_FINISHED);
  EXPECT_EQ(message->wParam, 3u);  // the probes started before the stop

  EXPECT_EQ(http.OpenUrlCalls().size(), 3u);
  EXPECT_TRUE(http.WaitForRequestHandlesClosed(3, kPatience));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(poster.Size(), 0u);  // cut probes are not reported
  EXPECT_EQ(search->GetPendingCount(), 0);
}

TEST_F(ProbeLifetimeTest, CompletionRacingTheTimeLimitGivesExactlyOneMessage) {
  const std::string url = AddPrinter("Racer", "BrimLine", Loopback(1));
  auto search = MakeSearch(10ms, 1000ms);
  constexpr int kRuns = 60;
  int answered = 0;
  int failed = 0;
  for (int i = 0; i < kRuns; ++i) {
    // The completion is due around the moment the time limit runs out.
    http.SetBehaviour(url, Behaviour::Answer(200, std::chrono::milliseconds(7 + i % 5)));
    const RunMessages run = RunAndCollect(*search);
    ASSERT_EQ(run.finishedMessages, 1) << "run " << i;
    ASSERT_EQ(run.started, 1u) << "run " << i;
    ASSERT_EQ(run.ProbeMessages(), 1) << "run " << i;
    answered += static_cast<int>(run.answered.size());
    failed += static_cast<int>(run.failed.size());
  }
  EXPECT_EQ(answered + failed, kRuns);
  ASSERT_TRUE(http.WaitForRequestHandlesClosed(kRuns, kPatience));
  search.reset();
  // Nothing came late for any of them.
  EXPECT_EQ(poster.Size(), 0u);
  EXPECT_EQ(http.RequestHandlesClosed(), http.RequestHandlesCreated());
  EXPECT_EQ(http.InvalidCloses(), 0u);
}

TEST_F(ProbeLifetimeTest, ProbesOfOneNameKeepTheirOwnTimeLimit) {
  // The answer of one must not wake (or disarm) the time limit of the other.
  const std::string quick = AddPrinter("Twin", "BrimLine", Loopback(1));
  const std::string hanging = AddPrinter("Twin", "GlowMark", Loopback(2));
  http.SetBehaviour(quick, Behaviour::Answer(200, 20ms));
  http.SetBehaviour(hanging, Behaviour::Hold());
  auto search = MakeSearch(2s);  // far beyond the quick one's 20 ms
  const auto started = Clock::now();
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 2u);
  EXPECT_THAT(run.answered, ::testing::ElementsAre("Twin"));
  EXPECT_THAT(run.failed, ::testing::ElementsAre("Twin"));
  EXPECT_GE(Clock::now() - started, 2s);
}

TEST_F(ProbeLifetimeTest, HandleReportedAfterTheProbeEndedIsClosedThen) {
  const std::string cut = AddPrinter("Cut", "BrimLine", Loopback(1));
  const std::string late = AddPrinter("Late", "BrimLine", Loopback(2));
  Behaviour held = Behaviour::Hold();
  held.holdHandleReport = true;
  http.SetBehaviour(cut, held);
  http.SetBehaviour(late, held);

  // A stop before the handle is known.
  auto search = MakeSearch(5000ms);
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(2, kPatience));
  search->Stop();
  EXPECT_EQ(http.RequestHandlesClosed(), 0u);  // nothing known to close yet
  http.ReleaseHandleReports();
  EXPECT_TRUE(http.WaitForRequestHandlesClosed(2, kPatience));
  const RunMessages run = CollectRun(poster, 0);
  EXPECT_EQ(run.finishedMessages, 1);
  EXPECT_EQ(run.ProbeMessages(), 0);
  EXPECT_EQ(http.OpenRequestHandles(), 0u);
  EXPECT_EQ(http.InvalidCloses(), 0u);
}

TEST_F(ProbeLifetimeTest, HandleReportedAfterTheTimeLimitIsClosedThen) {
  Behaviour held = Behaviour::Hold();
  held.holdHandleReport = true;
  http.SetBehaviour(AddPrinter("Slow", "GlowMark", Loopback(1)), held);
  auto search = MakeSearch(50ms);
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 1u);
  EXPECT_EQ(run.failed.size(), 1u);
  EXPECT_EQ(http.RequestHandlesClosed(), 0u);
  http.ReleaseHandleReports();
  EXPECT_TRUE(http.WaitForRequestHandlesClosed(1, kPatience));
  EXPECT_EQ(http.InvalidCloses(), 0u);
}

TEST_F(ProbeLifetimeTest, LateCompletionAfterCloseIsIgnored) {
  Behaviour late = Behaviour::Answer(200);
  late.completeAfterClose = true;  // never completes on its own; a 100 follows the close
  http.SetBehaviour(AddPrinter("Late", "GlowMark", Loopback(1)), late);
  auto search = MakeSearch(50ms);
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 1u);
  EXPECT_EQ(run.failed.size(), 1u);
  ASSERT_TRUE(http.WaitForQuiet(kPatience));
  EXPECT_EQ(poster.Size(), 0u);
  EXPECT_EQ(search->LookupDeviceUrl("Late"), "");
  search.reset();
  EXPECT_EQ(poster.Size(), 0u);
}

TEST_F(ProbeLifetimeTest, DestructionWithProbesOutstandingClosesEverythingOnce) {
  Behaviour hiddenHandle = Behaviour::Hold();
  hiddenHandle.reportHandle = false;  // the search never learns this request's handle
  for (int i = 1; i <= 5; ++i) {
    http.SetBehaviour(AddPrinter("P" + std::to_string(i), "BrimLine", Loopback(i)),
                      i == 2 ? hiddenHandle : Behaviour::Hold());
  }
  // A worker that slept out its wait for a slot would keep the destruction for a minute.
  auto search = MakeSearch(60s, 60s);
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(3, kPatience));
  ASSERT_TRUE(http.WaitForReportsHandled(2, kPatience));  // the two handles that are reported

  const auto destroying = Clock::now();
  search.reset();  // the worker is waiting for a slot; three requests are out
  EXPECT_LT(Clock::now() - destroying, kPatience);

  // The run ended with its message and nothing else.
  const RunMessages run = CollectRun(poster, 0);
  EXPECT_EQ(run.finishedMessages, 1);
  EXPECT_EQ(run.started, 3u);
  EXPECT_EQ(run.ProbeMessages(), 0);
  // Each known handle was closed once by the search; the hidden one went with the session.
  EXPECT_EQ(http.RequestHandlesClosed(), 2u);
  EXPECT_EQ(http.RequestsClosedWithSession(), 1u);
  EXPECT_EQ(http.OpenRequestHandles(), 0u);
  EXPECT_EQ(http.InvalidCloses(), 0u);
  EXPECT_TRUE(http.WaitForQuiet(kPatience));
  EXPECT_EQ(http.CallbacksAfterSessionClose(), 0u);
  EXPECT_EQ(http.CallbacksAfterRemoval(), 0u);
}

TEST_F(ProbeLifetimeTest, DestructionWhileARunWaitsForItsTurnEndsBothRuns) {
  http.SetBehaviour(AddPrinter("Office", "BrimLine", Loopback(1)), Behaviour::Hold());
  spooler.HoldEnumPorts();
  auto search = MakeSearch();
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(search->Start(kWindow));  // waits for the first run's turn to end
  ASSERT_TRUE(spooler.WaitForEnumPortsCalls(1, kPatience));
  std::thread release([this] {
    std::this_thread::sleep_for(100ms);  // the destruction is under way by then, or soon
    spooler.ReleaseEnumPorts();
  });
  search.reset();
  release.join();
  // Each Start got its end-of-run message and nothing was probed.
  const auto messages = poster.TakeAll();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.message, WM_SEARCH_FINISHED);
    EXPECT_EQ(message.wParam, 0u);
  }
  EXPECT_EQ(http.OpenUrlCalls().size(), 0u);
}

TEST_F(ProbeLifetimeTest, ClientThatNeverReportsAClosedHandleDelaysDestructionOnlyBriefly) {
  Behaviour mute = Behaviour::Hold();
  mute.reportClosing = false;
  http.SetBehaviour(AddPrinter("Mute", "BrimLine", Loopback(1)), mute);
  auto search = MakeSearch(60s);
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(1, kPatience));
  ASSERT_TRUE(http.WaitForReportsHandled(1, kPatience));  // the search knows the handle
  const auto destroying = Clock::now();
  search.reset();  // closes the request, waits a while for its closing, then gives up on it
  EXPECT_LT(Clock::now() - destroying, 5s);
  EXPECT_EQ(http.RequestHandlesClosed(), 1u);
  EXPECT_EQ(http.OpenRequestHandles(), 0u);
  EXPECT_TRUE(http.WaitForQuiet(kPatience));
  EXPECT_EQ(http.CallbacksAfterSessionClose(), 0u);
  EXPECT_EQ(http.CallbacksAfterRemoval(), 0u);
}

TEST_F(ProbeLifetimeTest, DestructionWaitsForARunOnTheCallersOwnThread) {
  http.SetBehaviour(AddPrinter("Office", "BrimLine", Loopback(1)), Behaviour::Hold());
  spooler.SetEnumPortsDelay(300ms);  // the run is busy resolving a port for a while
  auto search = MakeSearch();
  SearchThreadParams params{search.get(), kWindow};
  std::thread worker([&params] { EXPECT_EQ(SearchThreadEntry(&params), 0u); });
  ASSERT_TRUE(spooler.WaitForEnumPortsCalls(1, kPatience));
  search.reset();  // must wait for Run to return
  const auto message = poster.WaitForMessage(0ms);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->message, WM_SEARCH_FINISHED);
  worker.join();
  EXPECT_EQ(http.OpenRequestHandles(), 0u);
}

// Waiting runs take their turns in the order of their tickets, not in the order they began to
// wait, so that their end-of-run messages arrive in the order of the runs.
TEST_F(ProbeLifetimeTest, WaitingRunsAreServedInTicketOrder) {
  for (int i = 1; i <= 4; ++i) {
    http.SetBehaviour(AddPrinter("P" + std::to_string(i), "BrimLine", Loopback(i)),
                      Behaviour::Hold());
  }
  auto search = MakeSearch();
  ASSERT_TRUE(search->Start(kWindow));  // waits for a free slot at the fourth printer
  ASSERT_TRUE(http.WaitForOpenUrlCalls(3, 10000ms));

  constexpr WindowHandle kEarlier = 0x2B1;
  constexpr WindowHandle kLater = 0x2B2;
  const std::uint64_t earlier = DeviceSearchTestHook::IssueTicket(*search);
  const std::uint64_t later = DeviceSearchTestHook::IssueTicket(*search);
  const auto waitForRunsInside = [&](int count) {
    const auto deadline = Clock::now() + 10s;
    while (DeviceSearchTestHook::RunCallsInside(*search) < count && Clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    return DeviceSearchTestHook::RunCallsInside(*search) == count;
  };
  // The later ticket begins to wait first.
  std::thread laterRun([&] { DeviceSearchTestHook::RunWithTicket(*search, kLater, later); });
  ASSERT_TRUE(waitForRunsInside(2));
  std::thread earlierRun([&] { DeviceSearchTestHook::RunWithTicket(*search, kEarlier, earlier); });
  ASSERT_TRUE(waitForRunsInside(3));
  search->Stop();  // ends the running one; both waiting ones are covered and only post their end

  std::vector<WindowHandle> ends;
  while (ends.size() < 3) {
    const auto message = poster.WaitForMessage(10000ms);
    if (!message) break;
    if (message->message == WM_SEARCH_FINISHED) ends.push_back(message->window);
  }
  laterRun.join();
  earlierRun.join();
  EXPECT_EQ(ends, (std::vector<WindowHandle>{kWindow, kEarlier, kLater}));
}

TEST_F(ProbeLifetimeTest, RunsOnOneObjectAreSerialisedAndAStopCoversAWaitingRun) {
  http.SetBehaviour(AddPrinter("Office", "BrimLine", Loopback(1)), Behaviour::Hold());
  spooler.HoldEnumPorts();
  auto search = MakeSearch();
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(search->Start(kWindow));  // waits for the first run
  ASSERT_TRUE(spooler.WaitForEnumPortsCalls(1, kPatience));
  search->Stop();  // stops the running one and the waiting one
  spooler.ReleaseEnumPorts();
  const RunMessages first = CollectRun(poster, 0);
  EXPECT_EQ(first.finishedMessages, 1);
  const auto second = poster.WaitForMessage(kPatience);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->message, WM_SEARCH_FINISHED);
  EXPECT_EQ(second->wParam, 0u);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(poster.Size(), 0u);
  EXPECT_EQ(http.OpenUrlCalls().size(), 0u);  // stopped while resolving, before any request
}

// A run covered by a stop while it waited stays stopped even when a later run clears the flag
// first, and it leaves that later run's results alone.
TEST_F(ProbeLifetimeTest, ARunCoveredWhileWaitingNeitherSearchesNorClearsALaterRunsResults) {
  const std::string office = AddPrinter("Office", "BrimLine", Loopback(1));
  http.SetBehaviour(office, Behaviour::Answer(200));
  spooler.HoldEnumPorts();
  auto search = MakeSearch();
  ASSERT_TRUE(search->Start(kWindow));  // A
  ASSERT_TRUE(search->Start(kWindow));  // B waits for A
  ASSERT_TRUE(spooler.WaitForEnumPortsCalls(1, kPatience));
  search->Stop();                       // covers A and B
  ASSERT_TRUE(search->Start(kWindow));  // C: a new search
  spooler.ReleaseEnumPorts();
  int finished = 0;
  int answered = 0;
  std::uintptr_t startedInAll = 0;
  while (finished < 3) {
    const auto message = poster.WaitForMessage(kPatience);
    ASSERT_TRUE(message.has_value()) << finished << " end-of-run messages";
    if (message->message == WM_SEARCH_FINISHED) {
      ++finished;
      startedInAll += message->wParam;
    } else if (message->message == WM_SEARCH_DEVICE_ANSWERED) {
      ++answered;
    }
  }
  // Only C probed, once; its answer is still there after B (whenever it ran) had its turn.
  EXPECT_EQ(startedInAll, 1u);
  EXPECT_EQ(http.OpenUrlCalls().size(), 1u);
  if (answered == 0) {
    const auto late = poster.WaitForMessage(kPatience);
    ASSERT_TRUE(late.has_value());
    EXPECT_EQ(late->message, WM_SEARCH_DEVICE_ANSWERED);
  }
  EXPECT_EQ(search->LookupDeviceUrl("Office"), "http://" + Loopback(1) + "/?type=supplies");
}

TEST_F(ProbeLifetimeTest, EveryProbeThatStartedProbingEndsExactlyOnceInTheTrace) {
  const std::string answering = AddPrinter("A", "BrimLine", Loopback(1));
  const std::string held = AddPrinter("B", "BrimLine", Loopback(2));
  const std::string failing = AddPrinter("C", "GlowMark", Loopback(3));
  const std::string waiting = AddPrinter("D", "GlowMark", Loopback(4));
  http.SetBehaviour(held, Behaviour::Hold());
  http.SetBehaviour(failing, Behaviour::OpenFails(kInternetErrorNameNotResolved));
  http.SetBehaviour(waiting, Behaviour::Hold());
  RecordingTrace trace;
  auto search = MakeSearch(5000ms);
  search->SetTrace(&trace);
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(4, kPatience));
  ASSERT_TRUE(http.WaitForOutstanding(2, kPatience));
  // The answer has been handled before the stop comes.
  const auto deadline = Clock::now() + kPatience;
  while (trace.Probes().size() < 2 && Clock::now() < deadline) std::this_thread::sleep_for(2ms);
  ASSERT_EQ(trace.Probes().size(), 2u);  // A answered, C not started
  search->Stop();
  const RunMessages run = CollectRun(poster, 1);  // A's answer
  EXPECT_EQ(run.started, 3u);
  search.reset();

  std::map<std::string, int> probing;
  for (const auto& note : trace.Printers()) {
    if (note.verdict == SearchTrace::PrinterVerdict::kProbing) ++probing[note.printerName];
  }
  std::map<std::string, int> ended;
  std::map<std::string, SearchTrace::ProbeEnd> how;
  for (const auto& note : trace.Probes()) {
    ++ended[note.printerName];
    how[note.printerName] = note.end;
  }
  EXPECT_EQ(probing, ended);
  EXPECT_EQ(how["A"], SearchTrace::ProbeEnd::kAnswered);
  EXPECT_EQ(how["B"], SearchTrace::ProbeEnd::kCutByStop);
  EXPECT_EQ(how["C"], SearchTrace::ProbeEnd::kNotStarted);
  EXPECT_EQ(how["D"], SearchTrace::ProbeEnd::kCutByStop);
}

}  // namespace
}  // namespace pradex::test
