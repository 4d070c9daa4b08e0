// Putting the spooler's list and the search's notes together, and the words for each outcome.
#include "ui/cli/explain.h"

#include <gtest/gtest.h>

#include "platform/http_client.h"
#include "platform/posix/cups_spooler.h"

namespace pradex::cli {
namespace {

using PrinterVerdict = SearchTrace::PrinterVerdict;
using ProbeEnd = SearchTrace::ProbeEnd;

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
  EXPECT_EQ(ReasonText(explanation.printers[2]), "not looked at: the search was stopped before");
  EXPECT_EQ(SpoolerText(explanation), "3 printers");
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
  EXPECT_EQ(ReasonText(explanation.printers[0]), "answered");
  EXPECT_EQ(explanation.printers[1].probe->end, ProbeEnd::kDuplicateName);
  EXPECT_FALSE(explanation.printers[2].probe);
  EXPECT_EQ(ReasonText(explanation.printers[2]), "probe still running");
}

TEST(BuildExplanationTest, AFailedEnumerationListsNoPrintersAndSaysWhy) {
  const Explanation failed = BuildExplanation(
      RecordingSpooler::Enumeration{CupsSpooler::kRpcServerUnavailable, {}}, {}, {});
  EXPECT_TRUE(failed.printers.empty());
  EXPECT_EQ(SpoolerText(failed), "no CUPS server to connect to (error 1722)");
  EXPECT_EQ(SpoolerText(BuildExplanation(
                RecordingSpooler::Enumeration{CupsSpooler::kErrorTimeout, {}}, {}, {})),
            "the CUPS server did not answer in time (error 1460)");
  EXPECT_EQ(SpoolerText(BuildExplanation(RecordingSpooler::Enumeration{0, {}}, {}, {})),
            "no printers");
  EXPECT_EQ(SpoolerText(BuildExplanation(std::nullopt, {}, {})),
            "not asked: the search ended before");
  EXPECT_EQ(SpoolerText(BuildExplanation(std::nullopt, {}, {}, true)),
            "no answer: the search was stopped while waiting for it");
  EXPECT_EQ(SpoolerText(BuildExplanation(RecordingSpooler::Enumeration{0, {Printer("a")}}, {}, {})),
            "1 printer");
}

TEST(ReasonTextTest, SaysHowEachProbeEnded) {
  PrinterExplanation printer;
  printer.verdict = PrinterVerdict::kProbing;
  const auto reason = [&](ProbeEnd end, std::uint32_t code) {
    printer.probe = End("p", "u", end, code);
    return ReasonText(printer);
  };
  EXPECT_EQ(reason(ProbeEnd::kHttpStatus, 404), "HTTP status 404");
  EXPECT_EQ(reason(ProbeEnd::kClientError, kInternetErrorCannotConnect),
            "client error 12029 (cannot connect)");
  EXPECT_EQ(reason(ProbeEnd::kClientError, kInternetErrorConnectionReset),
            "client error 12031 (connection reset)");
  EXPECT_EQ(reason(ProbeEnd::kClientError, 12345), "client error 12345");
  EXPECT_EQ(reason(ProbeEnd::kTimedOut, 7000), "timed out after 7 s");
  EXPECT_EQ(reason(ProbeEnd::kTimedOut, 7500), "timed out after 7.5 s");
  EXPECT_EQ(reason(ProbeEnd::kTimedOut, 250), "timed out after 0.25 s");
  EXPECT_EQ(reason(ProbeEnd::kCutByStop, 0), "cut by the stop");
  EXPECT_EQ(reason(ProbeEnd::kNotStarted, 0), "request not started");
  EXPECT_EQ(reason(ProbeEnd::kNotStarted, kInternetErrorNameNotResolved),
            "request not started (client error 12007)");
}

}  // namespace
}  // namespace pradex::cli
