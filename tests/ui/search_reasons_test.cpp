// Putting the spooler's list and the search's notes together, the words for each outcome, and
// when a search leaves someone wondering.
#include "ui/search_reasons.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/http_client.h"
#include "platform/win_codes.h"
#include "tests/support/english_texts.h"

namespace pradex {
namespace {

using PrinterVerdict = SearchTrace::PrinterVerdict;
using ProbeEnd = SearchTrace::ProbeEnd;
using testsupport::English;

PrinterInfo Printer(const std::string& name) {
  return PrinterInfo{std::nullopt, name, "socket://" + name, "Tamrin GlowMark 1"};
}

SearchTrace::PrinterNote Verdict(const std::string& name, PrinterVerdict verdict,
                                 const std::string& url = "") {
  SearchTrace::PrinterNote note;
  note.verdict = verdict;
  note.printerName = name;
  note.driverName = "Tamrin GlowMark 1";
  note.portName = "socket://" + name;
  note.url = url;
  return note;
}

SearchTrace::ProbeNote End(const std::string& name, const std::string& url, ProbeEnd end,
                           std::uint32_t code) {
  return SearchTrace::ProbeNote{end, name, url, code};
}

TEST(BuildExplanationTest, PrintersAfterAStopKeepTheirPlaceWithoutAVerdict) {
  const RecordingSpooler::Enumeration listed{0, {Printer("a"), Printer("b"), Printer("c")}};
  const Explanation explanation =
      BuildExplanation(listed, {Verdict("a", PrinterVerdict::kNotMaker)}, {});
  ASSERT_EQ(explanation.printers.size(), 3u);
  EXPECT_EQ(explanation.printers[0].verdict, PrinterVerdict::kNotMaker);
  EXPECT_EQ(explanation.printers[1].printerName, "b");
  EXPECT_EQ(explanation.printers[1].portName, "socket://b");
  EXPECT_FALSE(explanation.printers[1].verdict);
  EXPECT_EQ(English(ReasonText(explanation.printers[2])),
            "not looked at: the search was stopped before");
  EXPECT_EQ(English(SpoolerText(explanation)), "3 printers");
}

TEST(BuildExplanationTest, EachProbeEndGoesToOneProbedPrinterInOrder) {
  // Two spooler entries of one name and URL (a name the spooler repeats) and a third printer.
  const std::string url = "http://127.0.0.5/?type=supplies";
  const RecordingSpooler::Enumeration listed{0, {Printer("twin"), Printer("twin"), Printer("x")}};
  const Explanation explanation =
      BuildExplanation(listed,
                       {Verdict("twin", PrinterVerdict::kProbing, url),
                        Verdict("twin", PrinterVerdict::kProbing, url),
                        Verdict("x", PrinterVerdict::kProbing, "http://127.0.0.6/?type=supplies")},
                       {End("twin", url, ProbeEnd::kAnswered, 200),
                        End("twin", url, ProbeEnd::kDuplicateName, 200)});
  ASSERT_EQ(explanation.printers.size(), 3u);
  EXPECT_EQ(English(ReasonText(explanation.printers[0])), "answered");
  EXPECT_EQ(explanation.printers[1].probe->end, ProbeEnd::kDuplicateName);
  EXPECT_FALSE(explanation.printers[2].probe);
  EXPECT_EQ(English(ReasonText(explanation.printers[2])), "still waiting for the device's answer");
}

TEST(BuildExplanationTest, AFailedEnumerationListsNoPrintersAndSaysWhy) {
  const Explanation failed =
      BuildExplanation(RecordingSpooler::Enumeration{kRpcServerUnavailable, {}}, {}, {});
  EXPECT_TRUE(failed.printers.empty());
  EXPECT_EQ(English(SpoolerText(failed)), "the print server is not running (error 1722)");
  EXPECT_EQ(English(SpoolerText(
                BuildExplanation(RecordingSpooler::Enumeration{kErrorTimeout, {}}, {}, {}))),
            "the print server did not answer in time (error 1460)");
  EXPECT_EQ(English(SpoolerText(BuildExplanation(RecordingSpooler::Enumeration{4242, {}}, {}, {}))),
            "the printers could not be listed (error 4242)");
  EXPECT_EQ(English(SpoolerText(BuildExplanation(RecordingSpooler::Enumeration{0, {}}, {}, {}))),
            "no printers");
  EXPECT_EQ(English(SpoolerText(BuildExplanation(std::nullopt, {}, {}))),
            "not asked: the search ended before");
  EXPECT_EQ(English(SpoolerText(BuildExplanation(std::nullopt, {}, {}, true))),
            "no answer: the search was stopped while waiting for it");
  EXPECT_EQ(English(SpoolerText(
                BuildExplanation(RecordingSpooler::Enumeration{0, {Printer("a")}}, {}, {}))),
            "1 printer");
}

TEST(ReasonTextTest, SaysHowEachProbeEndedInWords) {
  PrinterExplanation printer;
  printer.verdict = PrinterVerdict::kProbing;
  const auto reason = [&](ProbeEnd end, std::uint32_t code) {
    printer.probe = End("p", "u", end, code);
    return English(ReasonText(printer));
  };
  EXPECT_EQ(reason(ProbeEnd::kAnswered, 200), "answered");
  EXPECT_EQ(reason(ProbeEnd::kHttpStatus, 404), "the device answered 404");
  EXPECT_EQ(reason(ProbeEnd::kClientError, kInternetErrorCannotConnect),
            "the device cannot be reached (HTTP client error 12029)");
  EXPECT_EQ(reason(ProbeEnd::kClientError, kInternetErrorConnectionReset),
            "the device reset the connection (HTTP client error 12031)");
  EXPECT_EQ(reason(ProbeEnd::kClientError, 12345), "HTTP client error 12345");
  // A response beyond what the client keeps (a megabyte of headers) ends like this.
  EXPECT_EQ(reason(ProbeEnd::kClientError, 8),
            "the answer was too large, or memory ran out (HTTP client error 8)");
  EXPECT_EQ(reason(ProbeEnd::kTimedOut, 7000), "no answer within 7 s");
  EXPECT_EQ(reason(ProbeEnd::kTimedOut, 7500), "no answer within 7.5 s");
  EXPECT_EQ(reason(ProbeEnd::kTimedOut, 250), "no answer within 0.25 s");
  EXPECT_EQ(reason(ProbeEnd::kCutByStop, 0), "the search was stopped before the device answered");
  EXPECT_EQ(reason(ProbeEnd::kNotStarted, 0), "the request could not be sent");
  EXPECT_EQ(reason(ProbeEnd::kNotStarted, kInternetErrorNameNotResolved),
            "the request could not be sent: the device's name could not be resolved (HTTP client "
            "error 12007)");
}

// A port that gave no address says why when the system could tell; the note carries it.
TEST(ReasonTextTest, APortsProblemFollowsTheVerdict) {
  SearchTrace::PrinterNote wsd = Verdict("wsd", PrinterVerdict::kPortNotResolved);
  wsd.portProblem = Phrase::Literal("WSD port whose device is not known to this computer");
  const Explanation explanation = BuildExplanation(
      RecordingSpooler::Enumeration{kErrorSuccess, {Printer("wsd"), Printer("lpt")}},
      {wsd, Verdict("lpt", PrinterVerdict::kPortNotResolved)}, {});
  ASSERT_EQ(explanation.printers.size(), 2u);
  EXPECT_EQ(English(ReasonText(explanation.printers[0])),
            "no network address found behind its port: WSD port whose device is not known to "
            "this computer");
  EXPECT_EQ(English(ReasonText(explanation.printers[1])),
            "no network address found behind its port");
}

// No reason is a bare number: every verdict, probe end and spooler failure has words.
TEST(ReasonTextTest, EveryOutcomeHasWords) {
  const auto hasWords = [](const std::string& text) {
    int letters = 0;
    for (const char c : text) letters += std::isalpha(static_cast<unsigned char>(c)) ? 1 : 0;
    return letters >= 8;
  };
  PrinterExplanation printer;
  for (const PrinterVerdict verdict :
       {PrinterVerdict::kNotMaker, PrinterVerdict::kPortNotResolved, PrinterVerdict::kUnsafeAddress,
        PrinterVerdict::kZoneIdAddress, PrinterVerdict::kNeitherFamily,
        PrinterVerdict::kNotRegistered}) {
    printer.verdict = verdict;
    EXPECT_TRUE(hasWords(English(ReasonText(printer)))) << English(ReasonText(printer));
  }
  printer.verdict = PrinterVerdict::kProbing;
  for (const ProbeEnd end : {ProbeEnd::kAnswered, ProbeEnd::kDuplicateName, ProbeEnd::kHttpStatus,
                             ProbeEnd::kStatusUnreadable, ProbeEnd::kClientError,
                             ProbeEnd::kTimedOut, ProbeEnd::kCutByStop, ProbeEnd::kNotStarted}) {
    for (const std::uint32_t code : {0u, 1u, 500u, 12002u, 99999u}) {
      printer.probe = End("p", "u", end, code);
      EXPECT_TRUE(hasWords(English(ReasonText(printer)))) << English(ReasonText(printer));
    }
  }
  for (const long result : {kRpcServerUnavailable, kErrorTimeout, kErrorAccessDenied,
                            kErrorGenFailure, kErrorOutOfMemory, 1L, 99999L}) {
    const std::string text =
        English(SpoolerText(BuildExplanation(RecordingSpooler::Enumeration{result, {}}, {}, {})));
    EXPECT_TRUE(hasWords(text.substr(0, text.find(" (error")))) << text;
  }
}

// The window offers the reasons when nothing was listed or fewer devices than the spooler has
// printers of the maker; printers of other makers do not count.
TEST(ReasonsWantedTest, WhenNothingOrFewerThanTheMakersPrintersIsListed) {
  const RecordingSpooler::Enumeration listed{
      0, {Printer("a"), Printer("b"), Printer("other"), Printer("unreached")}};
  const Explanation twoOfTheMaker = BuildExplanation(
      listed,
      {Verdict("a", PrinterVerdict::kProbing, "u"), Verdict("b", PrinterVerdict::kNeitherFamily),
       Verdict("other", PrinterVerdict::kNotMaker)},
      {});
  EXPECT_TRUE(ReasonsWanted(twoOfTheMaker, 0));
  EXPECT_TRUE(ReasonsWanted(twoOfTheMaker, 1));
  EXPECT_FALSE(ReasonsWanted(twoOfTheMaker, 2));
  const Explanation none = BuildExplanation(std::nullopt, {}, {});
  EXPECT_TRUE(ReasonsWanted(none, 0)) << "a search that found nothing always has reasons";
}

}  // namespace
}  // namespace pradex
