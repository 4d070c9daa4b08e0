#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/ui/pradex_dialog_window.h"

namespace pradex {
namespace {

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
