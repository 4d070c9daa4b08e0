#include "ui/pradex_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/ui/fake_rich_text.h"
#include "tests/ui/ui_fakes.h"

namespace pradex {
namespace {

constexpr WindowHandle kWindow = 0x5150;

using Names = std::vector<std::string>;

// The window with everything around it; a test plays the user, the worker and the queue.
struct Window {
  Window() {
    PutFinnishMessages(strings);
    view.list = &listControl;
    driver.events = &view.events;
  }

  void Init() { EXPECT_FALSE(dialog.OnInitDialog(kWindow)); }

  // What the worker and the probes post.
  void Answer(const std::string& name) {
    queue.Post(kWindow, WM_SEARCH_DEVICE_ANSWERED, 0, driver.Probe(name));
  }
  void Fail() { queue.Post(kWindow, WM_SEARCH_PROBE_FAILED, 0, driver.Probe("(failed)")); }
  void Finish(std::uintptr_t started) {
    queue.Post(kWindow, WM_SEARCH_FINISHED, started, 0);
    driver.runInProgress = false;  // the run ends with this post
  }

  // Hands the next queued message to the window; its result.
  bool DeliverOne() {
    const FakeQueue::Message next = queue.messages.front();
    queue.messages.pop_front();
    EXPECT_EQ(next.window, kWindow);
    return dialog.HandleSearchMessage(next.message, next.wParam, next.lParam);
  }
  void DeliverAll() {
    while (!queue.messages.empty()) DeliverOne();
  }
  // Delivers everything queued; how many probe messages the window acted on.
  int DeliverAllCountingProbesActedOn() {
    int acted = 0;
    while (!queue.messages.empty()) {
      const bool probe = queue.messages.front().message != WM_SEARCH_FINISHED;
      if (DeliverOne() && probe) ++acted;
    }
    return acted;
  }

  std::string Message(int n) { return strings.texts.at(500 + n); }
  std::string Shown(int n, const Names& names = {}) {
    std::string text = "\r\n" + Message(n) + "\r\n\r\n";
    for (const std::string& name : names) text += name + "\r\n";
    return text;
  }

  void ExpectCommonControls() {
    EXPECT_TRUE(view.buttonEnabled[kCloseButtonId]) << "Close is never disabled";
    EXPECT_TRUE(view.menuEnabled[kCloseMenuId]);
    EXPECT_FALSE(view.buttonEnabled[kStopButtonId] && view.buttonEnabled[kRefreshButtonId])
        << "Stop and Refresh are never enabled together";
    EXPECT_FALSE(view.menuEnabled[kStopMenuId] && view.menuEnabled[kRefreshMenuId]);
  }
  void ExpectSearchingControls() {
    ExpectCommonControls();
    EXPECT_FALSE(dialog.IsIdle());
    EXPECT_TRUE(view.buttonEnabled[kStopButtonId]);
    EXPECT_TRUE(view.buttonDefault[kStopButtonId]);
    EXPECT_FALSE(view.buttonEnabled[kRefreshButtonId]);
    EXPECT_FALSE(view.buttonDefault[kRefreshButtonId]);
    EXPECT_EQ(view.focus, kStopButtonId);
    EXPECT_TRUE(view.menuEnabled[kStopMenuId]);
    EXPECT_FALSE(view.menuEnabled[kRefreshMenuId]);
  }
  void ExpectIdleControls() {
    ExpectCommonControls();
    EXPECT_TRUE(dialog.IsIdle());
    EXPECT_TRUE(dialog.IsStopped());
    EXPECT_FALSE(view.buttonEnabled[kStopButtonId]);
    EXPECT_FALSE(view.buttonDefault[kStopButtonId]);
    EXPECT_TRUE(view.buttonEnabled[kRefreshButtonId]);
    EXPECT_TRUE(view.buttonDefault[kRefreshButtonId]);
    EXPECT_EQ(view.focus, kRefreshButtonId);
    EXPECT_FALSE(view.menuEnabled[kStopMenuId]);
    EXPECT_TRUE(view.menuEnabled[kRefreshMenuId]);
  }

  FakeDialogView view;
  FakeRichText listControl;
  FakeSearchDriver driver;
  FakeBrowserLauncher browser;
  FakeStrings strings;
  FakeQueue queue;
  PradexDialog dialog{view, listControl, driver, browser, strings, queue};
};

class PradexDialogTest : public testing::Test, public Window {};

TEST_F(PradexDialogTest, InitialisationSetsTheTextsAndStartsASearch) {
  Init();
  EXPECT_EQ(view.aboutItems, Names{Message(1)});
  ASSERT_EQ(view.menus.size(), 1u);
  EXPECT_EQ(view.menus[0], (Names{"Tiedosto", "Pysäytä", "Päivitä", "Sulje"}));
  EXPECT_EQ(view.buttonText[kStopButtonId], "Pysäytä");
  EXPECT_EQ(view.buttonText[kRefreshButtonId], "Päivitä");
  EXPECT_EQ(view.buttonText[kCloseButtonId], "Sulje");
  EXPECT_EQ(view.productLabel, "Pradex ");
  EXPECT_EQ(listControl.defaultFormatCount, 1);

  EXPECT_EQ(driver.startCalls, 1);
  EXPECT_EQ(driver.lastWindow, kWindow);
  EXPECT_FALSE(dialog.IsStopped());
  EXPECT_EQ(listControl.Text(), Shown(2));
  ExpectSearchingControls();
}

TEST_F(PradexDialogTest, NoAboutItemWithoutItsMessage) {
  strings.texts.erase(501);
  Init();
  EXPECT_TRUE(view.aboutItems.empty());

  Window empty;
  empty.strings.texts[501] = "";
  empty.Init();
  EXPECT_TRUE(empty.view.aboutItems.empty());
}

TEST_F(PradexDialogTest, ARunWithoutProbesEndsOnItsEndMessage) {
  Init();
  Finish(0);
  EXPECT_TRUE(DeliverOne());
  EXPECT_EQ(listControl.Text(), Shown(3));
  ExpectIdleControls();
  EXPECT_GE(view.windowRepaints, 1);
}

TEST_F(PradexDialogTest, AnswersBeforeTheEndMessageCountBelowZero) {
  Init();
  Answer("Zeta");
  Answer("alpha");
  DeliverAll();
  EXPECT_EQ(dialog.OutstandingProbes(), -2);
  EXPECT_EQ(listControl.Text(), Shown(2, {"Zeta", "alpha"}));
  ExpectSearchingControls();

  Finish(3);
  DeliverAll();
  EXPECT_EQ(dialog.OutstandingProbes(), 1);
  ExpectSearchingControls();

  Fail();
  EXPECT_TRUE(DeliverOne());
  EXPECT_EQ(dialog.OutstandingProbes(), 0);
  EXPECT_EQ(listControl.Text(), Shown(4, {"Zeta", "alpha"}));
  ExpectIdleControls();
}

TEST_F(PradexDialogTest, OnlyFailuresEndWithNoneFound) {
  Init();
  Finish(2);
  Fail();
  Fail();
  DeliverAll();
  EXPECT_EQ(listControl.Text(), Shown(3));
  EXPECT_FALSE(dialog.AnyFound());
  ExpectIdleControls();
}

TEST_F(PradexDialogTest, AProbeNeverReportedKeepsTheSearchGoingUntilStop) {
  Init();
  Finish(2);
  Answer("Office");
  DeliverAll();
  EXPECT_EQ(dialog.OutstandingProbes(), 1);
  ExpectSearchingControls();

  dialog.OnCommand(kStopMenuId);
  EXPECT_EQ(driver.stopCalls, 1);
  EXPECT_EQ(listControl.Text(), Shown(4, {"Office"}));
  ExpectIdleControls();
}

TEST_F(PradexDialogTest, StopShowsCancellingBeforeStoppingThenTheResult) {
  Init();
  Answer("Office");
  DeliverAll();
  view.events.clear();
  dialog.OnCommand(kStopButtonId);
  EXPECT_EQ(view.events,
            (Names{"shown: " + Shown(14, {"Office"}), "stop", "shown: " + Shown(4, {"Office"})}));
  EXPECT_EQ(dialog.OutstandingProbes(), 0);
  ExpectIdleControls();
  EXPECT_GE(view.windowRepaints, 1);
}

TEST_F(PradexDialogTest, StopWithNothingFoundShowsNoneFound) {
  Init();
  Fail();
  DeliverAll();
  dialog.OnCommand(kStopButtonId);
  EXPECT_EQ(listControl.Text(), Shown(3));
  ExpectIdleControls();
}

TEST_F(PradexDialogTest, LateMessagesAfterStopChangeNothing) {
  Init();
  Answer("Office");
  DeliverAll();
  dialog.OnCommand(kStopButtonId);
  const std::string shown = listControl.Text();

  Answer("Hall");
  Fail();
  Finish(5);
  EXPECT_EQ(DeliverAllCountingProbesActedOn(), 0);
  EXPECT_EQ(dialog.OutstandingProbes(), 0);
  EXPECT_EQ(dialog.List().Names(), Names{"Office"});
  EXPECT_EQ(listControl.Text(), shown);
  ExpectIdleControls();
}

TEST_F(PradexDialogTest, LateMessagesAfterTheEndChangeNothing) {
  Init();
  Finish(1);
  Answer("Office");
  DeliverAll();
  ExpectIdleControls();
  const std::string shown = listControl.Text();

  Answer("Hall");
  Fail();
  Finish(3);
  EXPECT_FALSE(DeliverOne());
  EXPECT_FALSE(DeliverOne());
  EXPECT_FALSE(DeliverOne());
  EXPECT_EQ(dialog.OutstandingProbes(), 0);
  EXPECT_EQ(listControl.Text(), shown);
  ExpectIdleControls();
}

TEST_F(PradexDialogTest, RefreshAfterASearchClearsTheListAtOnce) {
  Init();
  Finish(1);
  Answer("Office");
  DeliverAll();
  ASSERT_EQ(listControl.Text(), Shown(4, {"Office"}));

  dialog.OnCommand(kRefreshButtonId);
  EXPECT_EQ(listControl.Text(), Shown(2));
  EXPECT_TRUE(dialog.List().Names().empty());
  EXPECT_EQ(driver.startCalls, 2) << "the finished run leaves nothing behind: start at once";
  EXPECT_FALSE(dialog.IsStopped());
  EXPECT_FALSE(dialog.AnyFound());
  ExpectSearchingControls();

  Answer("Hall");
  Finish(1);
  DeliverAll();
  EXPECT_EQ(listControl.Text(), Shown(4, {"Hall"}));
}

TEST_F(PradexDialogTest, OnlyTheEnabledCommandActs) {
  Init();
  dialog.OnCommand(kRefreshButtonId);
  dialog.OnCommand(kRefreshMenuId);
  EXPECT_EQ(driver.startCalls, 1) << "no second run while one is going on";
  ExpectSearchingControls();

  Finish(0);
  DeliverAll();
  dialog.OnCommand(kStopButtonId);
  dialog.OnCommand(kStopMenuId);
  EXPECT_EQ(driver.stopCalls, 0);
  EXPECT_TRUE(queue.messages.empty());
  ExpectIdleControls();

  EXPECT_FALSE(dialog.OnCommand(1234));
}

TEST_F(PradexDialogTest, CloseStopsAndEndsTheModalRunInEveryState) {
  Init();
  EXPECT_TRUE(dialog.OnCommand(kCloseButtonId));
  EXPECT_TRUE(dialog.IsStopped());
  EXPECT_EQ(driver.stopCalls, 1);
  EXPECT_EQ(view.quits, 1);

  Window idle;
  idle.Init();
  idle.Finish(0);
  idle.DeliverAll();
  EXPECT_TRUE(idle.dialog.OnCommand(kCloseMenuId));
  EXPECT_EQ(idle.view.quits, 1);
}

TEST_F(PradexDialogTest, AFailedThreadStartShowsNoneFoundAndCountsNothing) {
  driver.startSucceeds = false;
  Init();
  EXPECT_EQ(listControl.Text(), Shown(3));
  ExpectIdleControls();

  // Nothing can arrive from a run that never started; were anything to, it is not counted.
  Answer("Ghost");
  Finish(0);
  EXPECT_FALSE(DeliverOne());
  EXPECT_FALSE(DeliverOne());
  EXPECT_TRUE(dialog.List().Names().empty());

  driver.startSucceeds = true;
  dialog.OnCommand(kRefreshButtonId);
  EXPECT_EQ(driver.startCalls, 2);
  ExpectSearchingControls();
  Answer("Office");
  Finish(1);
  DeliverAll();
  EXPECT_EQ(listControl.Text(), Shown(4, {"Office"}));
  ExpectIdleControls();
}

TEST_F(PradexDialogTest, AFailedStartAfterAStoppedRunCountsNothingEither) {
  Init();
  Answer("Old");
  DeliverAll();
  dialog.OnCommand(kStopButtonId);
  dialog.OnCommand(kRefreshButtonId);
  driver.startSucceeds = false;
  Finish(1);
  DeliverAll();
  EXPECT_EQ(driver.startCalls, 2);
  EXPECT_EQ(listControl.Text(), Shown(3));
  ExpectIdleControls();
  Answer("Stray");
  EXPECT_FALSE(DeliverOne());
}

// Refresh right after Stop, with the stopped run's messages arriving in every possible order
// around the Stop and the Refresh: the new search counts only its own messages and ends.
// A stopped run whose end-of-run message cannot be posted does not hold up the next search,
// whether the loss comes before the window's end marker is handled or only after it.
TEST(PradexDialogRefreshAfterStop, AStoppedRunsLostEndDoesNotHoldUpTheNextSearch) {
  for (const bool lostBeforeMarker : {true, false}) {
    SCOPED_TRACE(lostBeforeMarker ? "lost before the marker" : "lost after the marker");
    Window w;
    w.Init();
    w.dialog.OnCommand(kStopButtonId);
    w.dialog.OnCommand(kRefreshButtonId);  // waits for the stopped run to end
    const auto loseEnd = [&] {
      ++w.driver.lostEnds;
      w.driver.runInProgress = false;
    };
    if (lostBeforeMarker) loseEnd();
    w.DeliverAll();  // the window's own end marker
    if (!lostBeforeMarker) {
      loseEnd();
      // Nothing more arrives; the user stops the waiting search and asks again.
      EXPECT_EQ(w.driver.startCalls, 1);
      w.dialog.OnCommand(kStopButtonId);
      w.DeliverAll();
      w.dialog.OnCommand(kRefreshButtonId);
    }
    EXPECT_EQ(w.driver.startCalls, 2);
    EXPECT_EQ(w.driver.overlappingStarts, 0);
    w.Finish(0);
    w.DeliverAll();
    EXPECT_EQ(w.listControl.Text(), w.Shown(3));
    EXPECT_TRUE(w.dialog.IsIdle());
  }
}

TEST(PradexDialogRefreshAfterStop, TheNewSearchCountsOnlyItsOwnMessages) {
  constexpr int kOldMessages = 3;  // Answer Old1, Fail, Answer Old2
  // Where the old run's end message stands among its posts if it was posted before the Stop
  // (-1: posted only after the Stop).
  for (int finishedAt = -1; finishedAt <= kOldMessages; ++finishedAt) {
    const int postedBeforeStop = kOldMessages + (finishedAt >= 0 ? 1 : 0);
    for (int deliveredBeforeStop = 0; deliveredBeforeStop <= postedBeforeStop;
         ++deliveredBeforeStop) {
      for (bool finishedBeforeRefresh : {false, true}) {
        const int queuedAtRefresh = postedBeforeStop - deliveredBeforeStop +
                                    (finishedAt < 0 && finishedBeforeRefresh ? 1 : 0);
        for (int deliveredBeforeRefresh = 0; deliveredBeforeRefresh <= queuedAtRefresh;
             ++deliveredBeforeRefresh) {
          SCOPED_TRACE(testing::Message()
                       << "end posted at " << finishedAt << ", delivered before Stop "
                       << deliveredBeforeStop << ", end before Refresh " << finishedBeforeRefresh
                       << ", delivered before Refresh " << deliveredBeforeRefresh);
          Window w;
          w.Init();
          for (int i = 0; i < kOldMessages; ++i) {
            if (i == finishedAt) w.Finish(kOldMessages);
            if (i == 0) w.Answer("Old1");
            if (i == 1) w.Fail();
            if (i == 2) w.Answer("Old2");
          }
          if (finishedAt == kOldMessages) w.Finish(kOldMessages);
          for (int i = 0; i < deliveredBeforeStop; ++i) w.DeliverOne();

          w.dialog.OnCommand(kStopButtonId);
          if (finishedAt < 0 && finishedBeforeRefresh) w.Finish(kOldMessages);
          for (int i = 0; i < deliveredBeforeRefresh; ++i) w.DeliverOne();

          w.dialog.OnCommand(kRefreshButtonId);
          EXPECT_EQ(w.listControl.Text(), w.Shown(2)) << "the new search shows at once";
          w.ExpectSearchingControls();
          if (finishedAt < 0 && !finishedBeforeRefresh) w.Finish(kOldMessages);

          // The new run posts as soon as its worker runs.
          bool newRunPosted = false;
          for (int guard = 0; guard < 100; ++guard) {
            if (!newRunPosted && w.driver.startCalls == 2) {
              w.Answer("New2");
              w.Answer("New1");
              w.Fail();
              w.Finish(3);
              newRunPosted = true;
            }
            if (w.queue.messages.empty()) break;
            w.DeliverOne();
          }
          EXPECT_TRUE(newRunPosted) << "the new search never started its worker";
          EXPECT_EQ(w.driver.overlappingStarts, 0) << "two runs at once";
          EXPECT_EQ(w.driver.startCalls, 2);
          EXPECT_EQ(w.dialog.List().Names(), (Names{"New1", "New2"}));
          EXPECT_EQ(w.listControl.Text(), w.Shown(4, {"New1", "New2"}));
          EXPECT_EQ(w.dialog.OutstandingProbes(), 0);
          w.ExpectIdleControls();
        }
      }
    }
  }
}

TEST_F(PradexDialogTest, StopAndCloseWhileTheNewSearchWaitsForTheOldRun) {
  Init();
  dialog.OnCommand(kStopButtonId);
  dialog.OnCommand(kRefreshButtonId);
  EXPECT_EQ(driver.startCalls, 1) << "the old run has not ended";
  ExpectSearchingControls();

  // Stop while waiting: back to idle, and the old run's end starts nothing.
  dialog.OnCommand(kStopButtonId);
  EXPECT_EQ(listControl.Text(), Shown(3));
  ExpectIdleControls();

  // Refresh again, then Close before the old run ends.
  dialog.OnCommand(kRefreshButtonId);
  dialog.OnCommand(kCloseButtonId);
  Finish(0);
  DeliverAll();
  EXPECT_EQ(driver.startCalls, 1);
  EXPECT_EQ(view.quits, 1);
}

TEST_F(PradexDialogTest, WithoutTheEndMarkerTheNextSearchStartsAtOnce) {
  Init();
  Finish(2);
  DeliverAll();
  queue.refusePosts = true;
  dialog.OnCommand(kStopButtonId);
  dialog.OnCommand(kRefreshButtonId);
  EXPECT_EQ(driver.startCalls, 2) << "a marker that was never posted must not be waited for";
  EXPECT_FALSE(dialog.IsStopped());
}

TEST_F(PradexDialogTest, WithoutTheEndMarkerWhileTheWorkerRunsTheNextSearchWaitsForTheRunsEnd) {
  Init();
  queue.refusePosts = true;
  dialog.OnCommand(kStopButtonId);
  queue.refusePosts = false;
  dialog.OnCommand(kRefreshButtonId);
  EXPECT_EQ(driver.startCalls, 1) << "the stopped run is still running";
  ExpectSearchingControls();
  Finish(0);
  DeliverAll();
  EXPECT_EQ(driver.startCalls, 2) << "the stopped run's own end lets the next search start";
  EXPECT_EQ(driver.overlappingStarts, 0);
  ExpectSearchingControls();
}

TEST_F(PradexDialogTest, DevicesFoundBeforeAStopStillOpen) {
  driver.urls["Office"] = "http://office/?type=supplies";
  Init();
  Answer("Office");
  DeliverAll();
  dialog.OnCommand(kStopButtonId);
  const auto links = listControl.Links();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_TRUE(dialog.OnLinkNotify(LinkMouseEvent::kLeftButtonDown, links[0].first));
  EXPECT_EQ(browser.launched, Names{"http://office/?type=supplies"});
}

TEST_F(PradexDialogTest, TheAboutItemOpensTheAboutBox) {
  Init();
  EXPECT_TRUE(dialog.OnSystemCommand(16));
  EXPECT_TRUE(dialog.OnSystemCommand(0x1F));  // the low four bits are the system's own
  EXPECT_FALSE(dialog.OnSystemCommand(0xF060));
  EXPECT_EQ(view.aboutBoxes, 2);
}

class LinkClickTest : public PradexDialogTest {
 protected:
  LinkClickTest() {
    driver.urls["Office"] = "http://10.0.0.5/?type=supplies";
    driver.urls["Hall"] = "http://hall/tamrin/device/this.LCDispatcher";
    Init();
    Answer("Office");
    Answer("Hall");
    Finish(2);
    DeliverAll();
  }
  TextRange LinkOf(const std::string& name) {
    for (const auto& [range, text] : listControl.Links()) {
      if (text == name) return range;
    }
    ADD_FAILURE() << "no link " << name;
    return {};
  }
};

TEST_F(LinkClickTest, ALeftPressOpensTheDevicePage) {
  EXPECT_TRUE(dialog.OnLinkNotify(LinkMouseEvent::kLeftButtonDown, LinkOf("Office")));
  EXPECT_EQ(driver.lookups, Names{"Office"});
  EXPECT_EQ(browser.launched, Names{"http://10.0.0.5/?type=supplies"});
  EXPECT_EQ(listControl.Selection(), (TextRange{0, 0}));
}

TEST_F(LinkClickTest, ADoubleClickOpensThePageOnce) {
  const TextRange hall = LinkOf("Hall");
  EXPECT_TRUE(dialog.OnLinkNotify(LinkMouseEvent::kLeftButtonDown, hall));
  EXPECT_FALSE(dialog.OnLinkNotify(LinkMouseEvent::kOther, hall));  // release
  EXPECT_TRUE(dialog.OnLinkNotify(LinkMouseEvent::kLeftButtonDoubleClick, hall));
  EXPECT_FALSE(dialog.OnLinkNotify(LinkMouseEvent::kOther, hall));
  EXPECT_EQ(browser.launched, Names{"http://hall/tamrin/device/this.LCDispatcher"});
}

TEST_F(LinkClickTest, OtherMouseMessagesAreLeftToTheControl) {
  EXPECT_FALSE(dialog.OnLinkNotify(LinkMouseEvent::kOther, LinkOf("Office")));
  EXPECT_TRUE(driver.lookups.empty());
  EXPECT_TRUE(browser.launched.empty());
}

TEST_F(LinkClickTest, TextNoDeviceAnsweredToOpensNothing) {
  // A range the control made a link by itself, or a name in another case.
  const auto status = listControl.FindForward("Tulostimet", 0);
  ASSERT_TRUE(status);
  EXPECT_TRUE(dialog.OnLinkNotify(LinkMouseEvent::kLeftButtonDown, *status));
  EXPECT_EQ(driver.lookups, Names{"Tulostimet"});
  EXPECT_TRUE(browser.launched.empty());
  EXPECT_EQ(listControl.Selection(), (TextRange{0, 0}));
}

}  // namespace
}  // namespace pradex
