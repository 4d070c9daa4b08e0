#include "ui/win32/pradex_window.h"

#include "search/search_messages.h"
#include "ui/win32/about_dialog.h"
#include "ui/win32/keyed_bitmap.h"
#include "ui/win32/resource_ids.h"

namespace pradex::win32 {

namespace {

// The product label's enlarged font: the dialog font at this height and weight.
constexpr LONG kProductFontHeight = 22;
constexpr LONG kProductFontWeight = 900;
static_assert(sizeof(LOGFONTA) == 60);

// The button style bits of a button's window style.
constexpr LONG kButtonStyleBits = 0xFF;

HINSTANCE ProgramModule() {
  const Application* application = Application::Current();
  return application != nullptr && application->Instance() != nullptr ? application->Instance()
                                                                      : GetModuleHandleA(nullptr);
}

}  // namespace

PradexWindow::PradexWindow(Win32Platform& platform)
    : Dialog(PRADEX_IDD_MAIN),
      platform(platform),
      search(platform.Search()),
      logic(*this, deviceList, search, platform.browser, platform.strings, platform.poster) {
  const HINSTANCE module = ProgramModule();
  icon = LoadIconA(module, MAKEINTRESOURCEA(PRADEX_IDI_SMALL));
  bigIcon = LoadIconA(module, MAKEINTRESOURCEA(PRADEX_IDI_BIG));
  bannerBitmap = LoadBitmapA(module, MAKEINTRESOURCEA(PRADEX_IDB_BANNER));
}

// The search engine goes with the window object: it stops, waits for its threads and leaves the
// proxy bypass list as it found it.
PradexWindow::~PradexWindow() = default;

void PradexWindow::BindControls() {
  stopButton = Item(kStopButtonId);
  bitmapPlaceholder = Item(kBitmapPlaceholderId);
  refreshButton = Item(kRefreshButtonId);
  deviceList.Attach(Item(kDeviceListId));
  productLabel = Item(kProductLabelId);
}

BOOL PradexWindow::OnInitDialog() {
  Dialog::OnInitDialog();
  // The list's background, URL detection and link notifications; the window logic gives it its
  // default format.
  deviceList.Prepare();
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
  CenterWindow();
  // About item, menu, texts, then the first search, which places the focus.
  return logic.OnInitDialog(reinterpret_cast<WindowHandle>(Handle())) ? TRUE : FALSE;
}

bool PradexWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // The search engine's notifications come first; once the window has stopped counting they
  // get the default handling, which ignores them.
  if (message >= WM_SEARCH_FINISHED && message <= WM_SEARCH_PROBE_FAILED) {
    if (!logic.HandleSearchMessage(message, wParam, static_cast<std::intptr_t>(lParam))) {
      return false;
    }
    result = 1;
    return true;
  }
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == 0) {
        const int id = LOWORD(wParam);
        Application* application = Application::Current();
        if (logic.OnCommand(id) || (application != nullptr && application->OnCommand(id))) {
          result = 0;
          return true;
        }
      }
      break;
    case WM_SYSCOMMAND:
      if (!logic.OnSystemCommand(static_cast<unsigned>(wParam))) return false;
      result = 0;
      return true;
    case WM_PAINT:
      OnPaint();
      result = 0;
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(icon);
      return true;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header != nullptr && header->idFrom == static_cast<UINT_PTR>(kDeviceListId) &&
          header->code == EN_LINK) {
        result = OnLinkNotify(*reinterpret_cast<const ENLINK*>(lParam));
        return true;
      }
      break;
    }
    default:
      break;
  }
  return Dialog::WindowProc(message, wParam, lParam, result);
}

void PradexWindow::OnDestroyWindow() {
  search.Stop();
}

LRESULT PradexWindow::OnLinkNotify(const ENLINK& link) {
  LinkMouseEvent event = LinkMouseEvent::kOther;
  if (link.msg == WM_LBUTTONDOWN) {
    event = LinkMouseEvent::kLeftButtonDown;
  } else if (link.msg == WM_LBUTTONDBLCLK) {
    event = LinkMouseEvent::kLeftButtonDoubleClick;
  }
  return logic.OnLinkNotify(event, TextRange{link.chrg.cpMin, link.chrg.cpMax}) ? 1 : 0;
}

void PradexWindow::OnPaint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(Handle(), &paint);
  // On every paint, minimised or not.
  DrawKeyedBitmap(Handle(), dc, bannerBitmap, bitmapPlaceholder);
  if (IsIconic(Handle())) {
    SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(Handle(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
  }
  EndPaint(Handle(), &paint);
}

void PradexWindow::AddAboutItem(const std::string& text) {
  HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
  if (systemMenu == nullptr) return;
  AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(systemMenu, MF_STRING, static_cast<UINT_PTR>(kAboutCommandId), text.c_str());
}

void PradexWindow::CreateFileMenu(const std::string& title, const std::string& stop,
                                  const std::string& refresh, const std::string& close) {
  menuBar = CreateMenu();
  fileMenu = CreatePopupMenu();
  AppendMenuA(fileMenu, MF_STRING, static_cast<UINT_PTR>(kStopMenuId), stop.c_str());
  AppendMenuA(fileMenu, MF_STRING, static_cast<UINT_PTR>(kRefreshMenuId), refresh.c_str());
  AppendMenuA(fileMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(fileMenu, MF_STRING, static_cast<UINT_PTR>(kCloseMenuId), close.c_str());
  AppendMenuA(menuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu), title.c_str());
  // The window owns the menu bar from here on and destroys it with itself.
  SetMenu(Handle(), menuBar);
}

void PradexWindow::SetButtonText(int buttonId, const std::string& text) {
  SetDlgItemTextA(Handle(), buttonId, text.c_str());
}

void PradexWindow::SetProductLabel(const std::string& text) {
  if (productFont == nullptr) {
    // The dialog's font, larger and black.
    const auto current = reinterpret_cast<HFONT>(SendMessageA(productLabel, WM_GETFONT, 0, 0));
    LOGFONTA font{};
    if (current != nullptr && GetObjectA(current, sizeof(font), &font) == sizeof(font)) {
      font.lfHeight = kProductFontHeight;
      font.lfWeight = kProductFontWeight;
      productFont = CreateFontIndirectA(&font);
    }
    if (productFont != nullptr) {
      SendMessageA(productLabel, WM_SETFONT, reinterpret_cast<WPARAM>(productFont), FALSE);
    }
  }
  SetWindowTextA(productLabel, text.c_str());
}

HWND PradexWindow::Button(int buttonId) const {
  switch (buttonId) {
    case kStopButtonId:
      return stopButton;
    case kRefreshButtonId:
      return refreshButton;
    default:
      return Item(buttonId);
  }
}

void PradexWindow::EnableButton(int buttonId, bool enabled) {
  EnableWindow(Button(buttonId), enabled ? TRUE : FALSE);
}

void PradexWindow::SetDefaultButton(int buttonId, bool isDefault) {
  HWND button = Button(buttonId);
  if (button == nullptr) return;
  WPARAM style = BS_PUSHBUTTON;
  if (isDefault) {
    style = static_cast<WPARAM>(GetWindowLongA(button, GWL_STYLE) & kButtonStyleBits) |
            BS_DEFPUSHBUTTON;
  }
  SendMessageA(button, BM_SETSTYLE, style, TRUE);
}

void PradexWindow::FocusButton(int buttonId) {
  SetFocus(Button(buttonId));
}

void PradexWindow::EnableMenuItem(int commandId, bool enabled) {
  if (menuBar == nullptr) return;
  ::EnableMenuItem(menuBar, static_cast<UINT>(commandId),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void PradexWindow::RepaintList() {
  UpdateWindow(deviceList.Handle());
}

void PradexWindow::RepaintWindow() {
  UpdateWindow(Handle());
}

void PradexWindow::PostQuit() {
  // Ends the modal run: the dialog manager's loop stops at the quit message.
  PostQuitMessage(0);
}

void PradexWindow::ShowAboutBox() {
  AboutDialog about(platform.strings, platform.versions, Handle());
  about.DoModal();
}

}  // namespace pradex::win32
