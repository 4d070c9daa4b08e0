// The dialog framework over the dialog manager: what reaches the virtual operations and when,
// how a modal run ends, and who owns a dialog opened without a parent.
#include "ui/win32/framework.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace pradex::win32 {
namespace {

constexpr int kTemplate = 200;
constexpr int kButton = 1001;
// Posted by OnInitDialog: handled once the modal run has started.
constexpr UINT kRunning = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;
constexpr UINT kUnhandled = WM_APP + 3;

class RecordingDialog : public Dialog {
 public:
  explicit RecordingDialog(HWND parent = nullptr) : Dialog(kTemplate, parent) {}

  std::function<void(RecordingDialog&)> whileRunning;
  std::vector<std::string> calls;
  HWND boundButton = nullptr;
  bool windowExistedAtDestroy = false;

 protected:
  void BindControls() override {
    calls.push_back("BindControls");
    boundButton = Item(kButton);
  }
  BOOL OnInitDialog() override {
    const BOOL result = Dialog::OnInitDialog();
    calls.push_back("OnInitDialog");
    PostMessageA(Handle(), kRunning, 0, 0);
    return result;
  }
  bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case kRunning:
        if (whileRunning) whileRunning(*this);
        result = 0;
        return true;
      case kAnswer:
        result = 42;
        return true;
      case WM_QUERYDRAGICON:
        result = 0x1234;
        return true;
      case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) calls.push_back("IDCANCEL");
        break;
      default:
        break;
    }
    return Dialog::WindowProc(message, wParam, lParam, result);
  }
  void OnDestroyWindow() override {
    calls.push_back("OnDestroyWindow");
    windowExistedAtDestroy = IsWindow(Handle()) != FALSE;
  }
};

TEST(DialogTest, BindsControlsAtInitialisationAndEndsWithCancel) {
  RecordingDialog dialog;
  HWND button = nullptr;
  dialog.whileRunning = [&](RecordingDialog& running) {
    button = GetDlgItem(running.Handle(), kButton);
    PostMessageA(running.Handle(), WM_COMMAND, IDCANCEL, 0);
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_NE(button, nullptr);
  EXPECT_EQ(dialog.boundButton, button);
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"BindControls", "OnInitDialog", "IDCANCEL",
                                                    "OnDestroyWindow"}));
  EXPECT_TRUE(dialog.windowExistedAtDestroy);
  EXPECT_EQ(dialog.Handle(), nullptr);
}

TEST(DialogTest, CloseBoxAndOkEndTheRunWithTheirIds) {
  RecordingDialog closed;
  closed.whileRunning = [](RecordingDialog& running) {
    PostMessageA(running.Handle(), WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(closed.DoModal(), IDCANCEL);

  RecordingDialog confirmed;
  confirmed.whileRunning = [](RecordingDialog& running) {
    PostMessageA(running.Handle(), WM_COMMAND, IDOK, 0);
  };
  EXPECT_EQ(confirmed.DoModal(), IDOK);
}

TEST(DialogTest, QuitMessageEndsTheRunWithMinusOneAndStaysQueued) {
  RecordingDialog dialog;
  dialog.whileRunning = [](RecordingDialog&) { PostQuitMessage(7); };
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_EQ(dialog.calls.back(), "OnDestroyWindow");
  MSG quit{};
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7u);
}

TEST(DialogTest, HandledMessagesAnswerWithTheirResults) {
  RecordingDialog dialog;
  LRESULT answer = 0;
  LRESULT dragIcon = 0;
  LRESULT unhandled = -1;
  dialog.whileRunning = [&](RecordingDialog& running) {
    answer = SendMessageA(running.Handle(), kAnswer, 0, 0);
    dragIcon = SendMessageA(running.Handle(), WM_QUERYDRAGICON, 0, 0);
    unhandled = SendMessageA(running.Handle(), kUnhandled, 0, 0);
    EndDialog(running.Handle(), 5);
  };
  EXPECT_EQ(dialog.DoModal(), 5);
  EXPECT_EQ(answer, 42);        // through DWLP_MSGRESULT
  EXPECT_EQ(dragIcon, 0x1234);  // returned by the dialog procedure itself
  EXPECT_EQ(unhandled, 0);
}

class TestApplication : public Application {
 public:
  std::function<void(TestApplication&)> start;
  int starts = 0;

 protected:
  BOOL InitInstance() override {
    ++starts;
    if (start) start(*this);
    return FALSE;
  }
};

TEST(DialogTest, DialogWithoutParentIsModalToTheMainWindowAndCentredOverIt) {
  TestApplication application;
  EXPECT_EQ(Application::Current(), &application);
  HWND owner = nullptr;
  bool mainEnabled = true;
  POINT offset{};
  application.start = [&](TestApplication& app) {
    RecordingDialog main;
    app.SetMainWindow(&main);
    main.whileRunning = [&](RecordingDialog& runningMain) {
      RecordingDialog inner;
      inner.whileRunning = [&](RecordingDialog& runningInner) {
        owner = GetWindow(runningInner.Handle(), GW_OWNER);
        mainEnabled = IsWindowEnabled(runningMain.Handle()) != FALSE;
        RECT outer{};
        RECT dialog{};
        GetWindowRect(runningMain.Handle(), &outer);
        GetWindowRect(runningInner.Handle(), &dialog);
        offset = {(outer.left + outer.right) / 2 - (dialog.left + dialog.right) / 2,
                  (outer.top + outer.bottom) / 2 - (dialog.top + dialog.bottom) / 2};
        EndDialog(runningInner.Handle(), IDOK);
      };
      // Moved away from the centre of the screen, where it started, and on screen already.
      SetWindowPos(runningMain.Handle(), nullptr, 40, 60, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
      EXPECT_EQ(inner.DoModal(), IDOK);
      EXPECT_EQ(owner, runningMain.Handle());
      EndDialog(runningMain.Handle(), IDOK);
    };
    EXPECT_EQ(main.DoModal(), IDOK);
    app.SetMainWindow(nullptr);
  };
  EXPECT_EQ(application.Run(GetModuleHandleA(nullptr)), 0);
  EXPECT_EQ(application.starts, 1);
  EXPECT_NE(owner, nullptr);
  EXPECT_FALSE(mainEnabled);
  EXPECT_LE(std::abs(offset.x), 1);
  EXPECT_LE(std::abs(offset.y), 1);
}

}  // namespace
}  // namespace pradex::win32
