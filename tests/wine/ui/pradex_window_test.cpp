// The main window in this process, over the real adapters of the Wine prefix (which has no
// device that answers): what the Win32 view makes of the window logic's requests, and how the
// modal run ends.
#include "ui/win32/pradex_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include "app/messages.h"
#include "tests/wine/wine_test_support.h"
#include "ui/win32/resource_ids.h"

namespace pradex::win32 {
namespace {

using winetest::WindowText;

// Posted to the window until its first search has ended (above the search engine's messages).
constexpr UINT kCheck = WM_APP + 0x100;
constexpr int kMaxChecks = 2000;  // 10 ms apart

class TestPradexWindow : public PradexWindow {
 public:
  using PradexWindow::PradexWindow;

  // Runs once, inside the modal run, as soon as the first search has ended; it must end the run.
  std::function<void(TestPradexWindow&)> whenIdle;
  BOOL initResult = TRUE;

  using PradexWindow::Handle;
  HWND Control(int id) const { return GetDlgItem(Handle(), id); }

 protected:
  BOOL OnInitDialog() override {
    initResult = PradexWindow::OnInitDialog();
    PostMessageA(Handle(), kCheck, 0, 0);
    return initResult;
  }

  bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message != kCheck) return PradexWindow::WindowProc(message, wParam, lParam, result);
    result = 0;
    if (!Logic().IsIdle()) {
      if (++checks == kMaxChecks) {
        ADD_FAILURE() << "the first search did not end";
        EndDialog(Handle(), IDABORT);
        return true;
      }
      Sleep(10);
      PostMessageA(Handle(), kCheck, 0, 0);
      return true;
    }
    if (whenIdle) std::exchange(whenIdle, nullptr)(*this);
    return true;
  }

 private:
  int checks = 0;
};

std::string Message(Win32Platform& platform, int n) {
  return LoadMessage(platform.strings, n);
}

std::string MenuText(HMENU menu, UINT item, UINT flags) {
  char text[256] = {};
  GetMenuStringA(menu, item, text, sizeof(text), flags);
  return text;
}

bool Grayed(HMENU menu, int commandId) {
  return (GetMenuState(menu, static_cast<UINT>(commandId), MF_BYCOMMAND) & MF_GRAYED) != 0;
}

LONG ButtonStyle(HWND button) {
  return GetWindowLongA(button, GWL_STYLE) & 0x0F;
}

LOGFONTA FontOf(HWND window) {
  LOGFONTA font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  GetObjectA(handle, sizeof(font), &font);
  return font;
}

class PradexWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadLibraryA("riched20.dll"); }

  // The idle controls: Refresh available, default and focused; Stop not.
  void ExpectIdleControls(TestPradexWindow& window) {
    const HWND stop = window.Control(kStopButtonId);
    const HWND refresh = window.Control(kRefreshButtonId);
    EXPECT_FALSE(IsWindowEnabled(stop));
    EXPECT_EQ(ButtonStyle(stop), BS_PUSHBUTTON);
    EXPECT_TRUE(IsWindowEnabled(refresh));
    EXPECT_EQ(ButtonStyle(refresh), BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetFocus(), refresh);
    const HMENU bar = GetMenu(window.Handle());
    EXPECT_TRUE(Grayed(bar, kStopMenuId));
    EXPECT_FALSE(Grayed(bar, kRefreshMenuId));
    EXPECT_FALSE(Grayed(bar, kCloseMenuId));
    EXPECT_TRUE(IsWindowEnabled(window.Control(kCloseButtonId)));
  }

  Win32Platform platform;
};

TEST_F(PradexWindowTest, InitialisationBuildsMenusTextsLabelAndIcons) {
  TestPradexWindow window(platform);
  window.whenIdle = [&](TestPradexWindow& shown) {
    const HWND dialog = shown.Handle();
    EXPECT_EQ(shown.initResult, FALSE) << "the search start places the focus";

    // The menu bar: one pop-up with Stop, Refresh, a separator and Close.
    const HMENU bar = GetMenu(dialog);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    EXPECT_EQ(MenuText(bar, 0, MF_BYPOSITION), Message(platform, 8));
    const HMENU file = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(file), 4);
    EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(kStopMenuId));
    EXPECT_EQ(GetMenuItemID(file, 1), static_cast<UINT>(kRefreshMenuId));
    EXPECT_NE(GetMenuState(file, 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    EXPECT_EQ(GetMenuItemID(file, 3), static_cast<UINT>(kCloseMenuId));
    EXPECT_EQ(MenuText(file, kStopMenuId, MF_BYCOMMAND), "Pys\xe4yt\xe4");
    EXPECT_EQ(MenuText(file, kRefreshMenuId, MF_BYCOMMAND), "P\xe4ivit\xe4");
    EXPECT_EQ(MenuText(file, kCloseMenuId, MF_BYCOMMAND), "Sulje");

    // The system menu ends with a separator and the About item.
    const HMENU system = GetSystemMenu(dialog, FALSE);
    const int items = GetMenuItemCount(system);
    ASSERT_GE(items, 2);
    EXPECT_EQ(GetMenuItemID(system, items - 1), static_cast<UINT>(kAboutCommandId));
    EXPECT_EQ(MenuText(system, items - 1, MF_BYPOSITION), Message(platform, 1));
    EXPECT_NE(GetMenuState(system, items - 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);

    EXPECT_EQ(WindowText(shown.Control(kStopButtonId)), Message(platform, 5));
    EXPECT_EQ(WindowText(shown.Control(kRefreshButtonId)), Message(platform, 6));
    EXPECT_EQ(WindowText(shown.Control(kCloseButtonId)), Message(platform, 7));
    ExpectIdleControls(shown);

    // The product label: the dialog's font, 22 high and black (weight 900).
    const HWND label = shown.Control(kProductLabelId);
    EXPECT_EQ(WindowText(label), "Pradex ");
    const LOGFONTA labelFont = FontOf(label);
    const LOGFONTA dialogFont = FontOf(dialog);
    EXPECT_EQ(labelFont.lfHeight, 22);
    EXPECT_EQ(labelFont.lfWeight, 900);
    EXPECT_STREQ(labelFont.lfFaceName, dialogFont.lfFaceName);
    EXPECT_EQ(labelFont.lfCharSet, dialogFont.lfCharSet);
    EXPECT_EQ(labelFont.lfItalic, dialogFont.lfItalic);

    // Icons: 30001 small (and while dragging), 30000 big.
    const HINSTANCE module = GetModuleHandleA(nullptr);
    const HICON small = LoadIconA(module, MAKEINTRESOURCEA(PRADEX_IDI_SMALL));
    const HICON big = LoadIconA(module, MAKEINTRESOURCEA(PRADEX_IDI_BIG));
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0)), small);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0)), big);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0)), small);

    EXPECT_FALSE(IsWindowVisible(shown.Control(kBitmapPlaceholderId)));

    // Centred on the screen's work area.
    RECT rect{};
    GetWindowRect(dialog, &rect);
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_LE(std::abs((rect.left + rect.right) - (area.left + area.right)), 2);
    EXPECT_LE(std::abs((rect.top + rect.bottom) - (area.top + area.bottom)), 2);
    EndDialog(dialog, IDCANCEL);
  };
  EXPECT_EQ(window.DoModal(), IDCANCEL);
}

TEST_F(PradexWindowTest, RefreshAndStopSwitchButtonsMenuItemsAndFocus) {
  TestPradexWindow window(platform);
  window.whenIdle = [&](TestPradexWindow& shown) {
    const HWND dialog = shown.Handle();
    // From the menu: the search state is in place when the command has been handled.
    SendMessageA(dialog, WM_COMMAND, kRefreshMenuId, 0);
    const HWND stop = shown.Control(kStopButtonId);
    const HWND refresh = shown.Control(kRefreshButtonId);
    EXPECT_TRUE(IsWindowEnabled(stop));
    EXPECT_EQ(ButtonStyle(stop), BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetFocus(), stop);
    EXPECT_FALSE(IsWindowEnabled(refresh));
    EXPECT_EQ(ButtonStyle(refresh), BS_PUSHBUTTON);
    EXPECT_FALSE(Grayed(GetMenu(dialog), kStopMenuId));
    EXPECT_TRUE(Grayed(GetMenu(dialog), kRefreshMenuId));
    EXPECT_EQ(WindowText(shown.Control(kDeviceListId)), "\r\n" + Message(platform, 2) + "\r\n\r\n");

    SendMessageA(dialog, WM_COMMAND, kStopMenuId, 0);
    ExpectIdleControls(shown);
    EXPECT_EQ(WindowText(shown.Control(kDeviceListId)), "\r\n" + Message(platform, 3) + "\r\n\r\n");
    EndDialog(dialog, IDCANCEL);
  };
  EXPECT_EQ(window.DoModal(), IDCANCEL);
}

TEST_F(PradexWindowTest, CloseEndsTheModalRunThroughTheQuitMessage) {
  TestPradexWindow window(platform);
  window.whenIdle = [](TestPradexWindow& shown) {
    PostMessageA(shown.Handle(), WM_COMMAND, kCloseButtonId, 0);
  };
  EXPECT_EQ(window.DoModal(), -1);
  EXPECT_EQ(window.Handle(), nullptr);
  MSG quit{};
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 0u);
}

class CommandRecorder : public Application {
 public:
  bool OnCommand(int commandId) override {
    commands.push_back(commandId);
    return true;
  }
  std::vector<int> commands;

 protected:
  BOOL InitInstance() override { return FALSE; }
};

TEST_F(PradexWindowTest, CommandsTheWindowLeavesGoToTheApplication) {
  CommandRecorder application;
  TestPradexWindow window(platform);
  window.whenIdle = [](TestPradexWindow& shown) {
    SendMessageA(shown.Handle(), WM_COMMAND, 57670, 0);
    SendMessageA(shown.Handle(), WM_COMMAND, kStopButtonId, 0);  // the window's own
    EndDialog(shown.Handle(), IDCANCEL);
  };
  EXPECT_EQ(window.DoModal(), IDCANCEL);
  EXPECT_EQ(application.commands, std::vector<int>{57670});
}

TEST_F(PradexWindowTest, PaintsTheBannerAtThePlaceholderWithItsKeyColourTransparent) {
  TestPradexWindow window(platform);
  window.whenIdle = [](TestPradexWindow& shown) {
    const HWND dialog = shown.Handle();
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    POINT origin{0, 0};
    MapWindowPoints(shown.Control(kBitmapPlaceholderId), dialog, &origin, 1);

    const HBITMAP banner =
        LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(PRADEX_IDB_BANNER));
    BITMAP size{};
    GetObjectA(banner, sizeof(size), &size);
    EXPECT_EQ(size.bmWidth, 62);
    EXPECT_EQ(size.bmHeight, 46);
    const HDC screen = GetDC(dialog);
    const HDC image = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(image, banner);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int keyed = 0;
    int wrong = 0;
    for (int y = 0; y < size.bmHeight; ++y) {
      for (int x = 0; x < size.bmWidth; ++x) {
        const COLORREF pixel = GetPixel(image, x, y);
        const bool key = pixel == RGB(192, 192, 192);
        keyed += key ? 1 : 0;
        if (GetPixel(screen, origin.x + x, origin.y + y) != (key ? face : pixel)) ++wrong;
      }
    }
    EXPECT_GT(keyed, 0) << "the banner has transparent pixels";
    EXPECT_EQ(wrong, 0);
    SelectObject(image, old);
    DeleteDC(image);
    DeleteObject(banner);
    ReleaseDC(dialog, screen);
    EndDialog(dialog, IDCANCEL);
  };
  EXPECT_EQ(window.DoModal(), IDCANCEL);
}

}  // namespace
}  // namespace pradex::win32
