// What the window shows of a search beyond its status text: a quiet progress bar while it
// runs, and the reasons view when it ends with printers of the maker left unlisted.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/fakes/memory_spooler.h"
#include "tests/qt/qt_test_support.h"
#include "tests/support/english_texts.h"
#include "ui/search_reasons.h"

namespace pradex {
namespace {

using qttest::FakeSearchWindow;
using qttest::Paragraphs;
using qttest::Utf8;
using testsupport::English;
using testsupport::kEnglish;
using Lines = std::vector<std::string>;
using PrinterVerdict = SearchTrace::PrinterVerdict;
using ProbeEnd = SearchTrace::ProbeEnd;

class SearchIndicators : public testing::Test {
 protected:
  SearchIndicators() : recordingSpooler(spooler) {}

  void Show() {
    f.window.SetLanguage(kEnglish);
    f.window.SetSearchRecord(&recordingSpooler, &trace);
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  }

  // The engine's side of one printer: the spooler lists it, the search judges it, and a probed
  // one ends as `end` says.
  void AddPrinter(const std::string& name, PrinterVerdict verdict) {
    spooler.AddPrinter(PrinterInfo{std::nullopt, name, "IP_" + name, "Tamrin GlowMark 7200"});
    SearchTrace::PrinterNote note;
    note.verdict = verdict;
    note.printerName = name;
    note.driverName = "Tamrin GlowMark 7200";
    note.portName = "IP_" + name;
    if (verdict == PrinterVerdict::kProbing) note.url = "http://127.0.80.9/" + name;
    notes.push_back(note);
  }
  void Enumerate() {
    std::vector<PrinterInfo> printers;
    recordingSpooler.EnumPrinters(printers);
    for (const auto& note : notes) trace.PrinterChecked(note);
  }
  void End(const std::string& name, ProbeEnd end, std::uint32_t code) {
    trace.ProbeEnded({end, name, "http://127.0.80.9/" + name, code});
  }

  MemorySpooler spooler;
  RecordingSpooler recordingSpooler;
  RecordingTrace trace;
  std::vector<SearchTrace::PrinterNote> notes;
  FakeSearchWindow f;
};

TEST_F(SearchIndicators, ProgressCountsProbesEndedOfThoseStartedAndLeavesTheStatusText) {
  Show();
  QProgressBar* bar = f.window.Progress();
  AddPrinter("a", PrinterVerdict::kProbing);
  AddPrinter("b", PrinterVerdict::kProbing);
  AddPrinter("c", PrinterVerdict::kProbing);
  Enumerate();
  End("a", ProbeEnd::kHttpStatus, 404);
  f.Post(WM_SEARCH_PROBE_FAILED, 0, f.search.Probe("a"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible() && bar->value() == 1; }, 10000));
  EXPECT_EQ(bar->maximum(), 3);
  EXPECT_FALSE(bar->isTextVisible());
  EXPECT_EQ(Paragraphs(*f.window.List()), (Lines{"", f.Message(2), "", ""}));

  End("b", ProbeEnd::kAnswered, 200);
  End("c", ProbeEnd::kAnswered, 200);
  f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe("b"));
  f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe("c"));
  f.Post(WM_SEARCH_FINISHED, 3, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.window.Logic().IsIdle(); }, 10000));
  EXPECT_FALSE(bar->isVisible()) << "no bar once the search has ended";
  EXPECT_TRUE(f.window.DetailsButton()->isVisible()) << "a answered 404 and is not listed";

  // A new search starts counting afresh.
  QTest::mouseClick(f.window.Button(kRefreshButtonId), Qt::LeftButton);
  f.Post(WM_SEARCH_FINISHED, 0, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.search.startCalls == 2; }, 10000));
  EXPECT_EQ(trace.Progress(), SearchProgress{}) << "the record of the last run was kept";
}

TEST_F(SearchIndicators, ASearchThatLeavesPrintersUnlistedOffersTheirReasons) {
  Show();
  AddPrinter("Hall", PrinterVerdict::kProbing);
  AddPrinter("Office", PrinterVerdict::kProbing);
  AddPrinter("Lobby", PrinterVerdict::kProbing);
  AddPrinter("Basement", PrinterVerdict::kPortNotResolved);
  Enumerate();
  End("Office", ProbeEnd::kAnswered, 200);
  End("Hall", ProbeEnd::kHttpStatus, 404);
  End("Lobby", ProbeEnd::kTimedOut, 7000);
  f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe("Office"));
  f.Post(WM_SEARCH_PROBE_FAILED, 0, f.search.Probe("Hall"));
  f.Post(WM_SEARCH_PROBE_FAILED, 0, f.search.Probe("Lobby"));
  f.Post(WM_SEARCH_FINISHED, 3, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.window.DetailsButton()->isVisible(); }, 10000))
      << "one device listed of four printers of the maker";
  EXPECT_EQ(Paragraphs(*f.window.List()), (Lines{"", f.Message(4), "", "Office", ""}));

  const std::unique_ptr<ReasonsDialog> view = f.window.MakeReasonsView();
  std::vector<Lines> rows;
  QTreeWidget* table = view->Printers();
  for (int i = 0; i < table->topLevelItemCount(); ++i) {
    rows.push_back({Utf8(table->topLevelItem(i)->text(0)), Utf8(table->topLevelItem(i)->text(1))});
  }
  // The view shows what the console's --explain prints, from the one wording.
  const Explanation explanation = BuildExplanation(recordingSpooler, trace);
  std::vector<Lines> expected;
  for (const PrinterExplanation& printer : explanation.printers) {
    expected.push_back({printer.printerName, English(ReasonText(printer))});
  }
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(Utf8(view->SpoolerLabel()->text()),
            "Print server: " + English(SpoolerText(explanation)));
  EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  RecordProperty("screenshot", qttest::SaveScreenshot(view->grab().toImage(), "pradex-reasons"));
  RecordProperty("window",
                 qttest::SaveScreenshot(f.window.grab().toImage(), "pradex-window-details"));

  // The Details button opens the view.
  QTimer::singleShot(0, &f.window, [] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(qobject_cast<ReasonsDialog*>(modal), nullptr);
    modal->close();
  });
  QTest::mouseClick(f.window.DetailsButton(), Qt::LeftButton);
}

TEST_F(SearchIndicators, APrintServerThatIsNotRunningIsTheReasonForNothingListed) {
  spooler.FailEnumPrinters(kRpcServerUnavailable, MemorySpooler::kAlways);
  Show();
  Enumerate();
  f.Post(WM_SEARCH_FINISHED, 0, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.window.DetailsButton()->isVisible(); }, 10000));
  const std::string spoolerText = Utf8(f.window.MakeReasonsView()->SpoolerLabel()->text());
  EXPECT_NE(spoolerText.find("the print server is not running"), std::string::npos) << spoolerText;
  EXPECT_EQ(Utf8(f.window.StatusLine()->currentMessage()),
            "The printers could not be listed: the print server is not running.");

  // A new search takes the old failure away.
  QTest::mouseClick(f.window.Button(kRefreshButtonId), Qt::LeftButton);
  EXPECT_TRUE(f.window.StatusLine()->currentMessage().isEmpty());
}

}  // namespace
}  // namespace pradex
