// Asking the listed devices what they say about themselves: beside the run, never holding its
// end, three at a time, each device's own IPP URI first, cut by Stop, forgotten by a new run.
#include <gtest/gtest.h>

#include "tests/fakes/fake_ipp_client.h"
#include "tests/fakes/fake_port_resolver.h"
#include "tests/search/search_test_support.h"
#include "ui/device_search_engine.h"

namespace pradex::test {
namespace {

using Status = IppAnswer::Status;
using Missing = DeviceFacts::Missing;

IppAnswer Stopped() {
  IppAnswer answer{Status::kAnswered, 0, {}};
  answer.attributes.push_back(IppAttribute{"printer-state", {{IppValue::Kind::kInteger, 5, ""}}});
  return answer;
}

class DeviceFactsTest : public SearchTest {
 protected:
  // Printer n at the host "device-n", which no test connects to.
  void Add(int n, const std::string& ippUri = "") {
    const std::string name = "P" + std::to_string(n);
    spooler.AddPrinter(PrinterInfo{std::nullopt, name, "port-" + name, "Tamrin BrimLine 9"});
    PortAddress address = PortAddress::Found("device-" + std::to_string(n));
    address.ippUri = ippUri;
    resolver.Set("port-" + name, FakePortResolver::Port{address, {}, {}});
  }
  std::vector<FactsStage::Entry> FactsAfter(int messages) {
    for (int seen = 0; seen < messages;) {
      const auto arrival = testsupport::NextMessage(poster, kWindow, kPatience);
      if (!arrival) break;
      if (arrival->message == WM_SEARCH_DEVICE_FACTS) ++seen;
    }
    return engine.DeviceFacts();
  }
  static const DeviceFacts& Of(const std::vector<FactsStage::Entry>& facts, const char* name) {
    for (const FactsStage::Entry& entry : facts) {
      if (entry.printerName == name) return entry.facts;
    }
    static const DeviceFacts none;
    ADD_FAILURE() << name << " was not asked";
    return none;
  }

  FakePortResolver resolver;
  FakeIppClient ipp;
  DeviceSearchEngine engine{SearchPlatform{spooler, registry, http, poster, resolver}, &ipp};
};

TEST_F(DeviceFactsTest, TheRunEndsFirstThreeAreAskedAtOnceAndOlderPathsAreTried) {
  Add(1, "ipp://device-1:8631/ipp/print");
  Add(2);
  Add(3);
  Add(4);
  Add(5);
  ipp.Answer("ipp://device-1:8631/ipp/print", Stopped(), true);
  ipp.Answer("ipp://device-2:631/ipp/print", IppAnswer{Status::kIppError, 0x0406, {}}, true);
  ipp.Answer("ipp://device-2:631/ipp", Stopped());
  for (int n = 3; n <= 5; ++n)
    ipp.Answer("ipp://device-" + std::to_string(n) + ":631/ipp/print", {}, true);
  ASSERT_TRUE(engine.StartWorker(kWindow));

  const RunMessages run = CollectRun(poster);
  EXPECT_EQ(run.answered.size(), 5u);
  EXPECT_EQ(run.factsMessages, 0) << "the run's end waited for a device's facts";
  ASSERT_TRUE(ipp.WaitForHeld(3, kPatience));
  ipp.ReleaseAll();

  const std::vector<FactsStage::Entry> facts = FactsAfter(5);
  EXPECT_EQ(ipp.MostAtOnce(), 3u);
  EXPECT_EQ(Of(facts, "P1").state, "stopped");
  EXPECT_EQ(Of(facts, "P2").state, "stopped");
  // A device that took no connection on 631 is not asked there again under other paths.
  EXPECT_EQ(Of(facts, "P3").missing, Missing::kUnreachable);
  const std::vector<std::string> asked = ipp.Asked();
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "ipp://device-3:631/ipp"), 0);
  EXPECT_EQ(engine.UnansweredFacts(), 0u);
}

TEST_F(DeviceFactsTest, StopCutsTheQuestionsAndANewRunForgetsTheirFacts) {
  for (int n = 1; n <= 4; ++n) {
    Add(n);
    ipp.Answer("ipp://device-" + std::to_string(n) + ":631/ipp/print", Stopped(), true);
  }
  ASSERT_TRUE(engine.StartWorker(kWindow));
  CollectRun(poster);
  ASSERT_TRUE(ipp.WaitForHeld(3, kPatience));

  engine.Stop();
  const std::vector<FactsStage::Entry> facts = FactsAfter(3);
  ASSERT_EQ(facts.size(), 4u);
  for (const FactsStage::Entry& entry : facts) EXPECT_EQ(entry.facts.missing, Missing::kStopped);
  EXPECT_EQ(ipp.Asked().size(), 3u) << "a question nobody had taken was still asked";

  ipp.ReleaseAll();
  ASSERT_TRUE(engine.StartWorker(kWindow));
  const std::vector<FactsStage::Entry> again = FactsAfter(4 - CollectRun(poster).factsMessages);
  ASSERT_EQ(again.size(), 4u);
  for (const FactsStage::Entry& entry : again) EXPECT_EQ(entry.facts.state, "stopped");
}

}  // namespace
}  // namespace pradex::test
