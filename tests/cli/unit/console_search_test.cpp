// The console search: the window logic and the real search engine over the in-memory machine.
#include "ui/cli/console_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/messages.h"
#include "discovery/monitor_port_resolver.h"
#include "discovery/port_cache.h"
#include "platform/http_client.h"
#include "platform/memory/memory_registry.h"
#include "tests/cli/cli_texts.h"
#include "tests/fakes/fake_http_client.h"
#include "tests/fakes/memory_device_io.h"
#include "tests/fakes/memory_spooler.h"
#include "tests/support/english_texts.h"
#include "ui/cli/output.h"

namespace pradex::cli {
namespace {

using namespace std::chrono_literals;
using Behaviour = FakeHttpClient::Behaviour;
using PrinterVerdict = SearchTrace::PrinterVerdict;
using ProbeEnd = SearchTrace::ProbeEnd;
using testsupport::English;
using testsupport::kEnglish;

const std::string kGlowMarkPath = "/tamrin/device/this.LCDispatcher";
const std::string kBrimLinePath = "/?type=supplies";

class ConsoleSearchTest : public testing::Test {
 protected:
  // A printer whose port the TCP/IP monitor resolves to `address` ("" leaves it unresolved).
  void AddPrinter(const std::string& name, const std::string& driver, const std::string& address) {
    const std::string port = "IP_" + name;
    spooler.AddPort(port);
    spooler.AddPrinter(PrinterInfo{std::nullopt, name, port, driver});
    if (!address.empty()) {
      registry.PutString(kHkeyLocalMachine, std::string(kSystemMonitorPortsKey) + "\\" + port,
                         "IPAddress", address);
    }
  }

  ConsoleMachine Machine() { return ConsoleMachine{spooler, registry, http, ports}; }

  MemorySpooler spooler;
  MemoryRegistry registry;
  MemoryDeviceIo deviceIo;
  FakeHttpClient http;
  MonitorPortResolver ports{DiscoveryPlatform{spooler, registry, deviceIo}};
  EmbeddedStringResources strings;
};

TEST_F(ConsoleSearchTest, EndsWithTheWindowsTextAndItsDevicesInByteOrder) {
  AddPrinter("alpha", "Tamrin BrimLine 410", "127.0.0.1");
  AddPrinter("Zeta", "Tamrin GlowMark 7200", "127.0.0.2");
  AddPrinter("mid", "Tamrin GlowMark 7200", "127.0.0.3");
  AddPrinter("office", "Otherco LaserStar 12", "127.0.0.4");
  // The later name answers first: the order is the window's, not the answers'.
  http.SetBehaviour("http://127.0.0.1" + kBrimLinePath, Behaviour::Answer(200, 40ms));
  http.SetBehaviour("http://127.0.0.3" + kGlowMarkPath, Behaviour::Answer(404));

  ConsoleSearch search(Machine(), strings, false);
  const ConsoleOutcome outcome = search.Run([] { return false; });
  EXPECT_FALSE(outcome.interrupted);
  EXPECT_TRUE(outcome.engineSettled);
  EXPECT_EQ(outcome.status, test::kFoundText);
  EXPECT_EQ(outcome.devices,
            (std::vector<ConsoleDevice>{{"Zeta", "http://127.0.0.2" + kGlowMarkPath, {}},
                                        {"alpha", "http://127.0.0.1" + kBrimLinePath, {}}}));
  EXPECT_FALSE(outcome.explanation);
  // What the window's list control holds at the end.
  EXPECT_EQ(search.ListText(), "\r\n" + test::kFoundText + "\r\n\r\nZeta\r\nalpha\r\n");
  EXPECT_EQ(http.OpenUrlCalls().size(), 3u);
}

// The progress a terminal is shown: only changes are reported, the ended count never passes
// the started one, and the last report has every probe ended.
TEST_F(ConsoleSearchTest, ReportsProgressAsProbesStartAndEnd) {
  AddPrinter("alpha", "Tamrin BrimLine 410", "127.0.0.1");
  AddPrinter("beta", "Tamrin GlowMark 7200", "127.0.0.2");
  AddPrinter("gamma", "Tamrin GlowMark 7200", "127.0.0.3");
  AddPrinter("office", "Otherco LaserStar 12", "127.0.0.4");
  http.SetBehaviour("http://127.0.0.2" + kGlowMarkPath, Behaviour::Answer(404, 30ms));
  http.SetBehaviour("http://127.0.0.3" + kGlowMarkPath, Behaviour::Answer(200, 60ms));
  ConsoleSearch search(Machine(), strings, false);
  std::vector<SearchProgress> reports;
  search.SetProgressReporter([&](const SearchProgress& progress) { reports.push_back(progress); });
  const ConsoleOutcome outcome = search.Run([] { return false; });
  ASSERT_FALSE(reports.empty());
  for (std::size_t i = 0; i < reports.size(); ++i) {
    EXPECT_LE(reports[i].ended, reports[i].started) << i;
    if (i > 0) {
      EXPECT_NE(reports[i], reports[i - 1]) << i;
      EXPECT_GE(reports[i].started, reports[i - 1].started) << i;
      EXPECT_GE(reports[i].ended, reports[i - 1].ended) << i;
    }
  }
  EXPECT_EQ(outcome.devices.size(), 2u);
  EXPECT_LE(reports.back().started, 3) << "office is no printer of the maker";
  EXPECT_FALSE(outcome.explanation) << "progress alone does not explain";
}

TEST_F(ConsoleSearchTest, NoAnswerEndsWithTheNoneFoundText) {
  AddPrinter("alpha", "Tamrin BrimLine 410", "127.0.0.1");
  http.SetDefaultBehaviour(Behaviour::Fail(kInternetErrorCannotConnect));
  ConsoleSearch search(Machine(), strings, false);
  const ConsoleOutcome outcome = search.Run([] { return false; });
  EXPECT_EQ(outcome.status, test::kNoneFoundText);
  EXPECT_TRUE(outcome.devices.empty());
  EXPECT_EQ(search.ListText(), "\r\n" + test::kNoneFoundText + "\r\n\r\n");

  MemorySpooler empty;
  ConsoleSearch none(ConsoleMachine{empty, registry, http, ports}, strings, false);
  EXPECT_EQ(none.Run([] { return false; }).status, test::kNoneFoundText);
}

TEST_F(ConsoleSearchTest, AStopKeepsTheDevicesFoundAndCutsTheRest) {
  AddPrinter("alpha", "Tamrin BrimLine 410", "127.0.0.1");
  AddPrinter("held", "Tamrin GlowMark 7200", "127.0.0.2");
  http.SetBehaviour("http://127.0.0.2" + kGlowMarkPath, Behaviour::Hold());

  ConsoleSearch search(Machine(), strings, true);
  // Stop once the window lists the device that answered and the other probe is out (held).
  const ConsoleOutcome outcome = search.Run([&] {
    return search.ListText().find("\r\nalpha\r\n") != std::string::npos &&
           http.OpenUrlCalls().size() == 2;
  });
  EXPECT_TRUE(outcome.interrupted);
  EXPECT_TRUE(outcome.engineSettled);
  EXPECT_EQ(outcome.status, test::kFoundText);
  EXPECT_EQ(outcome.devices,
            (std::vector<ConsoleDevice>{{"alpha", "http://127.0.0.1" + kBrimLinePath, {}}}));
  ASSERT_TRUE(outcome.explanation);
  ASSERT_EQ(outcome.explanation->printers.size(), 2u);
  EXPECT_EQ(English(ReasonText(outcome.explanation->printers[0])), "answered");
  EXPECT_EQ(English(ReasonText(outcome.explanation->printers[1])),
            "the search was stopped before the device answered");
  EXPECT_EQ(http.OpenRequestHandles(), 0u);
}

TEST_F(ConsoleSearchTest, AStopWhileWaitingForAFreeSlotLeavesTheRestUnexamined) {
  for (int i = 1; i <= 5; ++i)
    AddPrinter("p" + std::to_string(i), "Tamrin GlowMark 7200", "127.0.0." + std::to_string(i));
  http.SetDefaultBehaviour(Behaviour::Hold());

  ConsoleSearch search(Machine(), strings, true);
  // Three probes are out: the fourth printer waits for one of them.
  const ConsoleOutcome outcome = search.Run([&] { return http.OpenUrlCalls().size() == 3; });
  EXPECT_TRUE(outcome.interrupted);
  EXPECT_EQ(outcome.status, test::kNoneFoundText);
  ASSERT_TRUE(outcome.explanation);
  const auto& printers = outcome.explanation->printers;
  ASSERT_EQ(printers.size(), 5u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(English(ReasonText(printers[i])), "the search was stopped before the device answered")
        << i;
  // The fourth either still waited for a slot or had just found that the search was stopped
  // when it was to be registered; the search never came to the fifth.
  if (printers[3].verdict) {
    EXPECT_EQ(printers[3].verdict, PrinterVerdict::kNotRegistered);
  }
  EXPECT_FALSE(printers[4].verdict);
  EXPECT_EQ(printers[4].printerName, "p5");
  EXPECT_EQ(English(ReasonText(printers[4])), "not looked at: the search was stopped before");
}

TEST_F(ConsoleSearchTest, ASpoolerFailureEndsWithTheNoneFoundTextAndIsExplained) {
  AddPrinter("answers", "Tamrin GlowMark 7200", "127.0.0.1");
  spooler.FailEnumPrinters(1722);
  ConsoleSearch search(Machine(), strings, true);
  const ConsoleOutcome outcome = search.Run([] { return false; });
  EXPECT_EQ(outcome.status, test::kNoneFoundText);
  EXPECT_TRUE(outcome.spoolerUnavailable);
  ASSERT_TRUE(outcome.explanation);
  EXPECT_EQ(outcome.explanation->spoolerResult, 1722);
  EXPECT_TRUE(outcome.explanation->printers.empty());
  EXPECT_TRUE(http.OpenUrlCalls().empty());
  EXPECT_EQ(SpoolerProblemLine(outcome, kEnglish),
            "pradex-cli: the printers could not be listed: the print server is not running "
            "(pradex-cli --explain tells more)\n");
}

// A spooler whose printer enumeration does not return until released, like a CUPS server that
// accepts the connection and never answers.
class StuckSpooler : public Spooler {
 public:
  long EnumPrinters(std::vector<PrinterInfo>& printers) override {
    std::unique_lock lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
    printers.clear();
    return 1460;
  }
  long EnumPorts(const std::optional<std::string>&, std::vector<std::string>& ports) override {
    ports.clear();
    return 0;
  }
  bool Entered() {
    std::lock_guard lock(mutex);
    return entered;
  }
  void Release() {
    std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool released = false;
};

TEST_F(ConsoleSearchTest, AStopDuringAStuckSpoolerCallEndsWithoutWaitingForIt) {
  StuckSpooler stuck;
  ConsoleTimings timings;
  timings.pollInterval = 5ms;
  timings.settleWait = 60ms;
  auto search = std::make_unique<ConsoleSearch>(ConsoleMachine{stuck, registry, http, ports},
                                                strings, true, timings);
  const auto start = std::chrono::steady_clock::now();
  const ConsoleOutcome outcome = search->Run([&] { return stuck.Entered(); });
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(outcome.interrupted);
  EXPECT_FALSE(outcome.engineSettled);
  EXPECT_FALSE(search->EngineSettled());
  EXPECT_EQ(outcome.status, test::kNoneFoundText);
  EXPECT_LT(took, 5s);  // the spooler call is stuck until released below
  ASSERT_TRUE(outcome.explanation);
  EXPECT_FALSE(outcome.explanation->spoolerResult);
  EXPECT_EQ(English(SpoolerText(*outcome.explanation)),
            "no answer: the search was stopped while waiting for it");
  EXPECT_EQ(SpoolerProblemLine(outcome, kEnglish), "") << "stopped before the spooler answered";

  // Once the call returns, the engine finishes and can be released as usual.
  stuck.Release();
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!search->EngineSettled() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(search->EngineSettled());
  search.reset();
}

TEST_F(ConsoleSearchTest, RunsOnlyOnce) {
  ConsoleSearch search(Machine(), strings, false);
  search.Run([] { return false; });
  EXPECT_THROW(search.Run([] { return false; }), std::logic_error);
}

}  // namespace
}  // namespace pradex::cli
