// The window logic when a search is refreshed or stopped while an earlier run still reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/ui/pradex_dialog_window.h"

namespace pradex {
namespace {

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

}  // namespace
}  // namespace pradex
