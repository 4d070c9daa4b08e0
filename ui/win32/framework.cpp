#include "ui/win32/framework.h"

namespace pradex::win32 {

namespace {

Application* currentApplication = nullptr;

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

}  // namespace

Application::Application() {
  currentApplication = this;
}

Application::~Application() {
  if (currentApplication == this) currentApplication = nullptr;
}

Application* Application::Current() {
  return currentApplication;
}

int Application::Run(HINSTANCE moduleInstance) {
  instance = moduleInstance;
  // Every program ends when InitInstance returns: its modal run is all there is.
  InitInstance();
  return 0;
}

bool Application::OnCommand(int) {
  return false;
}

Dialog::Dialog(int templateId, HWND parent) : templateId(templateId), parent(parent) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal() {
  HWND owner = parent;
  HINSTANCE module = GetModuleHandleA(nullptr);
  if (const Application* application = Application::Current()) {
    if (owner == nullptr && application->MainWindow() != nullptr &&
        application->MainWindow() != this) {
      owner = application->MainWindow()->Handle();
    }
    if (application->Instance() != nullptr) module = application->Instance();
  }
  const INT_PTR result = DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), owner, DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  // The dialog manager ends its loop on the quit message and posts it again, so that the
  // caller's own loop ends too; the run then counts as ended by the quit message.
  MSG quit;
  if (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) return -1;
  return result;
}

BOOL Dialog::OnInitDialog() {
  BindControls();
  return TRUE;
}

bool Dialog::WindowProc(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message == WM_COMMAND && HIWORD(wParam) == 0) {
    const int id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) {
      EndDialog(window, id);
      result = 0;
      return true;
    }
  }
  return false;
}

HWND Dialog::Item(int id) const {
  return window != nullptr ? GetDlgItem(window, id) : nullptr;
}

void Dialog::CenterWindow() {
  if (window == nullptr) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const RECT& area = monitor.rcWork;
  RECT over = area;
  const HWND owner = GetWindow(window, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &over);
  RECT rect{};
  GetWindowRect(window, &rect);
  const LONG width = rect.right - rect.left;
  const LONG height = rect.bottom - rect.top;
  LONG x = over.left + (over.right - over.left - width) / 2;
  LONG y = over.top + (over.bottom - over.top - height) / 2;
  // Within the work area, the top-left corner (the caption) first.
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->window = window;
    const bool shownByTemplate = (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
    RECT before{};
    GetWindowRect(window, &before);
    const BOOL result = self->OnInitDialog();
    RECT after{};
    GetWindowRect(window, &after);
    if (!shownByTemplate && !IsWindowVisible(window) && before.left == after.left &&
        before.top == after.top) {
      self->CenterWindow();
    }
    return result;
  }
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr) return FALSE;  // before WM_INITDIALOG: the dialog manager's own affair
  switch (message) {
    case WM_DESTROY:
      self->OnDestroyWindow();
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, DWLP_USER, 0);
      self->window = nullptr;
      return FALSE;
    default:
      break;
  }
  LRESULT result = 0;
  if (!self->WindowProc(message, wParam, lParam, result)) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace pradex::win32
