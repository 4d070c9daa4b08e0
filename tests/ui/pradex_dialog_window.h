// The window logic with fakes all around it, for the tests of PradexDialog: a test plays the
// user, the search worker and the window's message queue.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/ui/fake_rich_text.h"
#include "tests/ui/ui_fakes.h"
#include "ui/pradex_dialog.h"

namespace pradex {

inline constexpr WindowHandle kWindow = 0x5150;

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

}  // namespace pradex
