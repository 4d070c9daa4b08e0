// What the window sees of a search: the messages, their counts and the results.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

#include "search/url_host.h"
#include "search_test_support.h"

namespace pradex::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

using SearchProtocolTest = SearchTest;

TEST_F(SearchProtocolTest, RunsThatStopByErrorPostOnlyTheEndWithZero) {
  // No printers at all.
  {
    auto search = MakeSearch();
    const RunMessages run = RunAndCollect(*search);
    EXPECT_EQ(run.finishedMessages, 1);
    EXPECT_EQ(run.started, 0u);
    EXPECT_EQ(run.ProbeMessages(), 0);
  }
  // The spooler cannot list its printers.
  AddPrinter("Office", "BrimLine", Loopback(1));
  spooler.FailEnumPrinters(kErrorAccessDenied);
  {
    auto search = MakeSearch();
    const RunMessages run = RunAndCollect(*search);
    EXPECT_EQ(run.finishedMessages, 1);
    EXPECT_EQ(run.started, 0u);
  }
  // No session can be opened: the run tries once more, then gives up before the spooler.
  spooler.FailEnumPrinters(0);
  http.SetOpenFails(true);
  {
    const std::size_t opensBefore = http.OpenCalls().size();
    auto search = MakeSearch();
    EXPECT_TRUE(search->IsSessionMissing());
    const std::size_t spoolerCalls = spooler.EnumPrintersCalls();
    const RunMessages run = RunAndCollect(*search);
    EXPECT_EQ(run.finishedMessages, 1);
    EXPECT_EQ(run.started, 0u);
    EXPECT_EQ(http.OpenCalls().size(), opensBefore + 2);
    EXPECT_EQ(spooler.EnumPrintersCalls(), spoolerCalls);

    // Once the client works again, the next run opens the session and searches.
    http.SetOpenFails(false);
    const RunMessages second = RunAndCollect(*search);
    EXPECT_EQ(second.started, 1u);
    EXPECT_THAT(second.answered, ElementsAre("Office"));
  }
  EXPECT_EQ(poster.Size(), 0u);
}

TEST_F(SearchProtocolTest, SessionAndRequestsUseTheFixedClientSettings) {
  const std::string url = AddPrinter("Office", "BrimLine", Loopback(1));
  auto search = MakeSearch();
  const RunMessages run = RunAndCollect(*search);
  ASSERT_EQ(run.answered.size(), 1u);

  const auto opens = http.OpenCalls();
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].agent, "InetSearch");
  EXPECT_EQ(opens[0].accessType, 0u);
  EXPECT_EQ(opens[0].flags, 0x10000000u);

  bool timeoutSet = false;
  for (const auto& option : http.Options()) {
    if (option.handle == opens[0].session && option.option == kInternetOptionConnectTimeout) {
      ASSERT_EQ(option.value.size(), 4u);
      std::uint32_t value = 0;
      std::memcpy(&value, option.value.data(), 4);
      EXPECT_EQ(value, 7000u);
      timeoutSet = true;
    }
  }
  EXPECT_TRUE(timeoutSet);

  const auto calls = http.OpenUrlCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].url, url);
  EXPECT_EQ(calls[0].flags, 0x04200000u);
  EXPECT_EQ(calls[0].session, opens[0].session);
  // The context of the request is the probe the window is told about.
  const auto answered = std::find_if(
      run.all.begin(), run.all.end(),
      [](const testsupport::Arrival& m) { return m.message == WM_SEARCH_DEVICE_ANSWERED; });
  ASSERT_NE(answered, run.all.end());
  EXPECT_EQ(calls[0].context, static_cast<std::uintptr_t>(answered->lParam));
}

TEST_F(SearchProtocolTest, EveryCountedProbeGetsExactlyOneMessage) {
  const std::string answering = AddPrinter("Answers", "BrimLine", Loopback(1));
  const std::string notFound = AddPrinter("NotFound", "GlowMark", Loopback(2));
  const std::string refused = AddPrinter("Refused", "GlowMark", Loopback(3));
  const std::string silent = AddPrinter("Silent", "BrimLine", Loopback(4));
  const std::string redirect = AddPrinter("Redirects", "BrimLine", Loopback(5));
  AddPrinterOnPort("Foreign", "Acme GlowMark 10", "IP_F");
  AddPrinter("Plotter", "Plotline", Loopback(6));
  AddPrinterOnPort("Unknown port", "Tamrin GlowMark 20", "IP_NOT_LISTED");
  spooler.SetPorts({"IP_1", "IP_2", "IP_3", "IP_4", "IP_5", "IP_6", "IP_F"});
  http.SetBehaviour(answering, Behaviour::Answer(200, 20ms));
  http.SetBehaviour(notFound, Behaviour::Answer(404));
  http.SetBehaviour(refused, Behaviour::Fail(kInternetErrorCannotConnect));
  http.SetBehaviour(silent, Behaviour::Hold());
  http.SetBehaviour(redirect, Behaviour::Answer(302));

  RecordingTrace trace;
  auto search = MakeSearch(2s);  // far beyond the answer's 20 ms, however slow the machine
  search->SetTrace(&trace);
  const RunMessages run = RunAndCollect(*search);

  EXPECT_EQ(run.finishedMessages, 1);
  EXPECT_EQ(run.started, 5u);
  EXPECT_THAT(run.answered, ElementsAre("Answers"));
  EXPECT_THAT(run.failed, UnorderedElementsAre("NotFound", "Refused", "Silent", "Redirects"));
  EXPECT_EQ(search->LookupDeviceUrl("Answers"), answering);
  EXPECT_EQ(search->LookupDeviceUrl("NotFound"), "");
  EXPECT_EQ(search->LookupDeviceUrl("Nobody"), "");
  EXPECT_EQ(search->GetPendingCount(), 0);

  // Why each printer was or was not probed.
  ASSERT_NE(trace.FindPrinter("Foreign"), nullptr);
  EXPECT_EQ(trace.FindPrinter("Foreign")->verdict, SearchTrace::PrinterVerdict::kNotMaker);
  EXPECT_EQ(trace.FindPrinter("Plotter")->verdict, SearchTrace::PrinterVerdict::kNeitherFamily);
  EXPECT_EQ(trace.FindPrinter("Unknown port")->verdict,
            SearchTrace::PrinterVerdict::kPortNotResolved);
  EXPECT_EQ(trace.FindPrinter("Answers")->verdict, SearchTrace::PrinterVerdict::kProbing);
  EXPECT_EQ(trace.FindPrinter("Answers")->url, answering);

  search.reset();
  EXPECT_EQ(poster.Size(), 0u);
  std::map<std::string, SearchTrace::ProbeNote> ends;
  for (const auto& note : trace.Probes()) {
    EXPECT_TRUE(ends.emplace(note.printerName, note).second) << note.printerName;
  }
  EXPECT_EQ(ends.at("Answers").end, SearchTrace::ProbeEnd::kAnswered);
  EXPECT_EQ(ends.at("NotFound").end, SearchTrace::ProbeEnd::kHttpStatus);
  EXPECT_EQ(ends.at("NotFound").code, 404u);
  EXPECT_EQ(ends.at("Redirects").code, 302u);
  EXPECT_EQ(ends.at("Refused").end, SearchTrace::ProbeEnd::kClientError);
  EXPECT_EQ(ends.at("Refused").code, kInternetErrorCannotConnect);
  EXPECT_EQ(ends.at("Silent").end, SearchTrace::ProbeEnd::kTimedOut);
  EXPECT_EQ(ends.at("Silent").code, 2000u);
  // Every request handle was closed exactly once.
  EXPECT_EQ(http.RequestHandlesClosed(), http.RequestHandlesCreated());
  EXPECT_EQ(http.InvalidCloses(), 0u);
}

TEST_F(SearchProtocolTest, FamilyDecidesTheDevicePage) {
  AddPrinter("Both", "GlowMark BrimLine", Loopback(1));
  AddPrinter("Glow", "GLOWMARK", Loopback(2));
  AddPrinter("Brim", "brimline", "localhost:8080");
  auto search = MakeSearch();
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 3u);
  std::vector<std::string> urls;
  for (const auto& call : http.OpenUrlCalls()) urls.push_back(call.url);
  EXPECT_THAT(urls, ElementsAre("http://127.0.0.1/?type=supplies",
                                "http://127.0.0.2/tamrin/device/this.LCDispatcher",
                                "http://localhost:8080/?type=supplies"));
}

// A spooler whose enumeration runs out of memory.
class ThrowingSpooler : public Spooler {
 public:
  long EnumPrinters(std::vector<PrinterInfo>&) override { throw std::bad_alloc(); }
  long EnumPorts(const std::optional<std::string>&, std::vector<std::string>&) override {
    return kErrorAccessDenied;
  }
};

TEST_F(SearchProtocolTest, AnyExceptionStillEndsTheRunWithItsMessage) {
  ThrowingSpooler throwing;
  const SearchPlatform throwingPlatform{throwing, registry, http, poster, ports};
  DeviceSearch search(throwingPlatform);
  EXPECT_EQ(search.Run(kWindow), 0);
  const RunMessages run = CollectRun(poster);
  EXPECT_EQ(run.finishedMessages, 1);
  EXPECT_EQ(run.started, 0u);
}

TEST_F(SearchProtocolTest, IncompletePrinterEntryIsSkippedAndTheOthersAreProbed) {
  AddPrinter("", "BrimLine", Loopback(1));  // no printer name: cannot be listed
  AddPrinter("Office", "GlowMark", Loopback(2));
  RecordingTrace trace;
  auto search = MakeSearch();
  search->SetTrace(&trace);
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 1u);
  EXPECT_THAT(run.answered, ElementsAre("Office"));
  ASSERT_NE(trace.FindPrinter(""), nullptr);
  EXPECT_EQ(trace.FindPrinter("")->verdict, SearchTrace::PrinterVerdict::kNotRegistered);
}

TEST_F(SearchProtocolTest, RequestThatDoesNotGoPendingKeepsTheCountBalanced) {
  const std::string notStarted = AddPrinter("NotStarted", "BrimLine", Loopback(1));
  const std::string atOnce = AddPrinter("AtOnce", "BrimLine", Loopback(2));
  const std::string atOnce404 = AddPrinter("AtOnce404", "GlowMark", Loopback(3));
  const std::string reported = AddPrinter("ReportedAndAtOnce", "GlowMark", Loopback(4));
  http.SetBehaviour(notStarted, Behaviour::OpenFails(kInternetErrorNameNotResolved));
  http.SetBehaviour(atOnce, Behaviour::OpenReturnsHandle(200));
  http.SetBehaviour(atOnce404, Behaviour::OpenReturnsHandle(404));
  Behaviour both = Behaviour::OpenReturnsHandle(200);
  both.synchronous = true;  // the handle is also reported inside the call
  http.SetBehaviour(reported, both);

  RecordingTrace trace;
  auto search = MakeSearch(100ms);
  search->SetTrace(&trace);
  const RunMessages run = RunAndCollect(*search);

  // Not started: not counted and never reported; completed at once: counted and reported.
  EXPECT_EQ(run.started, 3u);
  EXPECT_THAT(run.answered, UnorderedElementsAre("AtOnce", "ReportedAndAtOnce"));
  EXPECT_THAT(run.failed, ElementsAre("AtOnce404"));
  EXPECT_EQ(search->GetPendingCount(), 0);
  ASSERT_TRUE(http.WaitForRequestHandlesClosed(3, kPatience));
  EXPECT_EQ(http.RequestHandlesCreated(), 3u);
  EXPECT_EQ(http.InvalidCloses(), 0u);

  // Its time limit was disarmed: nothing comes for it later.
  std::this_thread::sleep_for(250ms);
  search.reset();
  EXPECT_EQ(poster.Size(), 0u);
  bool traced = false;
  for (const auto& note : trace.Probes()) {
    if (note.printerName == "NotStarted") {
      EXPECT_EQ(note.end, SearchTrace::ProbeEnd::kNotStarted);
      EXPECT_EQ(note.code, kInternetErrorNameNotResolved);
      traced = true;
    }
  }
  EXPECT_TRUE(traced);
}

TEST_F(SearchProtocolTest, ReportsDeliveredInsideOpenUrlAreCountedOnce) {
  Behaviour answer = Behaviour::Answer(200);
  answer.synchronous = true;
  Behaviour fail = Behaviour::Fail(kInternetErrorConnectionReset);
  fail.synchronous = true;
  http.SetBehaviour(AddPrinter("Inline", "BrimLine", Loopback(1)), answer);
  http.SetBehaviour(AddPrinter("InlineFail", "BrimLine", Loopback(2)), fail);
  auto search = MakeSearch();
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 2u);
  EXPECT_THAT(run.answered, ElementsAre("Inline"));
  EXPECT_THAT(run.failed, ElementsAre("InlineFail"));
  // The probe messages came before the end of the run, which they may.
  EXPECT_EQ(run.all.back().message, WM_SEARCH_FINISHED);
  search.reset();
  EXPECT_EQ(poster.Size(), 0u);
}

TEST_F(SearchProtocolTest, StopAfterTwoAnswersKeepsTheirLinksAndPostsNoMoreProbeMessages) {
  const std::string first = AddPrinter("First", "BrimLine", Loopback(1));
  const std::string second = AddPrinter("Second", "BrimLine", Loopback(2));
  const std::string third = AddPrinter("Third", "GlowMark", Loopback(3));
  const std::string fourth = AddPrinter("Fourth", "GlowMark", Loopback(4));
  http.SetBehaviour(third, Behaviour::Hold());
  http.SetBehaviour(fourth, Behaviour::Hold());

  auto search = MakeSearch();
  ASSERT_TRUE(search->Start(kWindow));
  ASSERT_TRUE(http.WaitForOpenUrlCalls(4, kPatience));
  RunMessages before;
  for (int i = 0; i < 3 && before.answered.size() < 2; ++i) {
    const auto message = poster.WaitForMessage(kPatience);
    ASSERT_TRUE(message.has_value());
    if (message->message == WM_SEARCH_DEVICE_ANSWERED) {
      before.answered.push_back(reinterpret_cast<ProbeRequest*>(message->lParam)->GetPrinterName());
    } else {
      EXPECT_EQ(message->message, WM_SEARCH_FINISHED);
      before.started = message->wParam;
      ++before.finishedMessages;
    }
  }
  ASSERT_THAT(before.answered, UnorderedElementsAre("First", "Second"));

  search->Stop();
  EXPECT_TRUE(search->IsStopRequested());
  // The cut probes' requests are closed; a completion arriving now changes nothing.
  EXPECT_TRUE(http.WaitForRequestHandlesClosed(4, kPatience));
  http.CompleteHeld(third, 200);
  http.CompleteHeld(fourth, 200);
  EXPECT_EQ(search->LookupDeviceUrl("First"), first);
  EXPECT_EQ(search->LookupDeviceUrl("Second"), second);
  EXPECT_EQ(search->LookupDeviceUrl("Third"), "");

  // The end of the run still arrives (unless it came before the stop), with all 4 probes.
  if (before.finishedMessages == 0) {
    const auto message = poster.WaitForMessage(kPatience);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->message, WM_SEARCH_FINISHED);
    before.started = message->wParam;
  }
  EXPECT_EQ(before.started, 4u);
  std::this_thread::sleep_for(50ms);
  search.reset();
  EXPECT_EQ(poster.Size(), 0u);
  EXPECT_EQ(http.InvalidCloses(), 0u);
}

TEST_F(SearchProtocolTest, StopBeforeAnyRunIsClearedByTheNextRun) {
  AddPrinter("Office", "BrimLine", Loopback(1));
  auto search = MakeSearch();
  search->Stop();
  EXPECT_TRUE(search->IsStopRequested());
  EXPECT_THROW(search->CheckStop(), stop_thread);
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 1u);
  EXPECT_THAT(run.answered, ElementsAre("Office"));
  EXPECT_FALSE(search->CheckStop());
}

TEST_F(SearchProtocolTest, CompletedRequestWhoseStatusCannotBeReadFailsExactlyOnce) {
  const std::string mute = AddPrinter("Mute", "BrimLine", Loopback(1));
  Behaviour unreadable = Behaviour::Answer(200);
  unreadable.statusReadable = false;
  http.SetBehaviour(mute, unreadable);
  // A time limit of a minute: the failure must come from the completion, not from the limit.
  auto search = MakeSearch(60s);
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 1u);
  EXPECT_TRUE(run.answered.empty());
  EXPECT_THAT(run.failed, ElementsAre("Mute"));
  EXPECT_EQ(search->LookupDeviceUrl("Mute"), "");
  EXPECT_TRUE(http.WaitForRequestHandlesClosed(1, kPatience));
  search.reset();
  EXPECT_EQ(poster.Size(), 0u);
  EXPECT_EQ(http.InvalidCloses(), 0u);
}

TEST_F(SearchProtocolTest, StopThreadCarriesItsTwoMessages) {
  const stop_thread byUser(kStopFromUser);
  const std::runtime_error& asRuntimeError = byUser;
  EXPECT_STREQ(asRuntimeError.what(), "Stop requested from user");
  EXPECT_STREQ(stop_thread(kStopByError).what(), "Stop requested by error");
}

TEST_F(SearchProtocolTest, SecondRunStartsWithEmptyResults) {
  const std::string office = AddPrinter("Office", "BrimLine", Loopback(1));
  const std::string lab = AddPrinter("Lab", "GlowMark", Loopback(2));
  auto search = MakeSearch();
  const RunMessages first = RunAndCollect(*search);
  EXPECT_THAT(first.answered, UnorderedElementsAre("Office", "Lab"));
  EXPECT_EQ(search->LookupDeviceUrl("Office"), office);

  // In the second run the office printer does not answer before the run has ended.
  http.SetBehaviour(office, Behaviour::Hold());
  ASSERT_TRUE(search->Start(kWindow));
  const RunMessages partial = CollectRun(poster, 1);  // the lab's answer
  ASSERT_EQ(partial.finishedMessages, 1);
  EXPECT_EQ(partial.started, 2u);
  EXPECT_EQ(search->LookupDeviceUrl("Office"), "");  // cleared at the start of the run
  EXPECT_EQ(search->LookupDeviceUrl("Lab"), lab);
  ASSERT_TRUE(http.CompleteHeld(office, 200));
  const auto late = poster.WaitForMessage(kPatience);
  ASSERT_TRUE(late.has_value());
  EXPECT_EQ(late->message, WM_SEARCH_DEVICE_ANSWERED);
  EXPECT_EQ(search->LookupDeviceUrl("Office"), office);
  EXPECT_EQ(search->GetPendingCount(), 0);
}

// A run lets go of the probes of the runs before it, and with them of their printer records,
// which hold the port list: a printer added on a new port is found by the next run, and what
// the object keeps does not grow from run to run.
TEST_F(SearchProtocolTest, ANewRunReleasesEndedProbesSoANewPortIsFoundAndNothingGrows) {
  AddPrinter("Office", "BrimLine", Loopback(1));
  auto search = MakeSearch();
  EXPECT_THAT(RunAndCollect(*search).answered, ElementsAre("Office"));
  const std::string lab = AddPrinter("Lab", "GlowMark", Loopback(2));  // a port new to it
  EXPECT_THAT(RunAndCollect(*search).answered, UnorderedElementsAre("Office", "Lab"));
  const int recordsKept = PrinterRecord::LiveRecordCount();
  for (int run = 0; run < 5; ++run) {
    EXPECT_EQ(RunAndCollect(*search).answered.size(), 2u);
    EXPECT_EQ(PrinterRecord::LiveRecordCount(), recordsKept) << "after run " << run + 3;
  }
  EXPECT_EQ(search->LookupDeviceUrl("Lab"), lab);
}

TEST_F(SearchProtocolTest, DuplicatePrinterNamesReportEachCountedProbeOnce) {
  const std::string early = AddPrinter("Shared", "BrimLine", Loopback(1));
  const std::string late = AddPrinter("Shared", "GlowMark", Loopback(2));
  http.SetBehaviour(late, Behaviour::Hold());
  RecordingTrace trace;
  auto search = MakeSearch();
  search->SetTrace(&trace);
  ASSERT_TRUE(search->Start(kWindow));
  const RunMessages run = CollectRun(poster, 1);  // the early answer
  ASSERT_TRUE(http.CompleteHeld(late, 200));
  const auto second = poster.WaitForMessage(kPatience);

  // Both probes are counted; the second answer of the same name ends as failed, so the
  // window's count comes back to 0 and it lists the name once.
  EXPECT_EQ(run.started, 2u);
  EXPECT_THAT(run.answered, ElementsAre("Shared"));
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->message, WM_SEARCH_PROBE_FAILED);
  EXPECT_EQ(search->LookupDeviceUrl("Shared"), early);
  search.reset();
  EXPECT_EQ(poster.Size(), 0u);
  std::vector<SearchTrace::ProbeEnd> ends;
  for (const auto& note : trace.Probes()) ends.push_back(note.end);
  EXPECT_THAT(ends, UnorderedElementsAre(SearchTrace::ProbeEnd::kAnswered,
                                         SearchTrace::ProbeEnd::kDuplicateName));
}

TEST_F(SearchProtocolTest, UnsafeAddressesAreSkippedLikeUnresolvedPorts) {
  AddPrinter("Spaced", "BrimLine", "127.0.0.1 /admin");
  AddPrinter("UserInfo", "BrimLine", "evil@127.0.0.1");
  AddPrinter("Path", "GlowMark", "127.0.0.1/x?y");
  AddPrinter("Quoted", "GlowMark", "\"127.0.0.1\"");
  AddPrinter("Control", "GlowMark", "127.0.0.1\r\nHost: x");
  AddPrinter("BareIpv6", "GlowMark", "::1");
  AddPrinter("BadPort", "GlowMark", "127.0.0.1:99999");
  AddPrinter("Zoned", "GlowMark", "[fe80::1%25eth0]");
  AddPrinterOnPort("EmptyHost", "Tamrin BrimLine 1", "IP_EMPTY");
  registry.PutString(kHkeyLocalMachine, std::string(kSystemMonitorPortsKey) + "\\IP_EMPTY",
                     "HostName", "");
  const std::string v6 = AddPrinter("Ipv6", "BrimLine", "[::1]:8080");
  const std::string named = AddPrinter("Named", "GlowMark", "localhost");

  RecordingTrace trace;
  auto search = MakeSearch();
  search->SetTrace(&trace);
  const RunMessages run = RunAndCollect(*search);
  EXPECT_EQ(run.started, 2u);
  EXPECT_THAT(run.answered, UnorderedElementsAre("Ipv6", "Named"));
  std::vector<std::string> urls;
  for (const auto& call : http.OpenUrlCalls()) urls.push_back(call.url);
  EXPECT_THAT(urls, ElementsAre(v6, named));
  for (const char* name :
       {"Spaced", "UserInfo", "Path", "Quoted", "Control", "BareIpv6", "BadPort", "EmptyHost"}) {
    ASSERT_NE(trace.FindPrinter(name), nullptr) << name;
    EXPECT_EQ(trace.FindPrinter(name)->verdict, SearchTrace::PrinterVerdict::kUnsafeAddress)
        << name;
  }
  ASSERT_NE(trace.FindPrinter("Zoned"), nullptr);
  EXPECT_EQ(trace.FindPrinter("Zoned")->verdict, SearchTrace::PrinterVerdict::kZoneIdAddress);
}

TEST(UrlHostTest, AcceptsHostsAndRejectsWhatWouldBreakTheUrl) {
  for (const char* good : {"127.0.0.1", "localhost", "printer-7.local", "127.0.0.1:8080", "[::1]",
                           "[::1]:631", "[::ffff:127.0.0.1]", "host_name:1"}) {
    EXPECT_TRUE(IsSafeUrlHost(good)) << good;
  }
  for (const char* bad :
       {"",     " ",   "127.0.0.1 ", "a b",    "a\tb",  "a\x7f",   "a\x01", "a/b",   "a\\b",
        "a?b",  "a#b", "a@b",        "'a'",    "\"a\"", "a`b",     "a<b",   "a%20b", "a{b}",
        "a|b",  "a^b", ":80",        "a:",     "a:0",   "a:65536", "a:8x",  "a:1:2", "::1",
        "[::1", "[]",  "[::1]x",     "[::1]:", "[::g]", "[1.2]",   "a[b]"}) {
    EXPECT_FALSE(IsSafeUrlHost(bad)) << bad;
  }
}

}  // namespace
}  // namespace pradex::test
