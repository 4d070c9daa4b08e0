// The banner's painting: the bitmap at the placeholder's top-left corner, at its own size, with
// the key colour left as the target had it.
#include "ui/win32/keyed_bitmap.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/wine/ui/host_window.h"

namespace pradex::win32 {
namespace {

constexpr COLORREF kBackground = RGB(10, 20, 30);
constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 200);
constexpr COLORREF kGreen = RGB(0, 150, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
// Where the placeholder stands in the host's client area.
constexpr int kPlaceholderX = 20;
constexpr int kPlaceholderY = 30;

// 4 x 2 pixels, row by row.
const std::array<COLORREF, 8> kPixels = {kBitmapKeyColor, kRed,   kBitmapKeyColor,
                                         kBlue,           kGreen, kBitmapKeyColor,
                                         kBitmapKeyColor, kWhite};

class KeyedBitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    screen = GetDC(nullptr);
    // A menu makes the top of the frame higher than its sides, as in the main window.
    menu = CreateMenu();
    AppendMenuA(menu, MF_STRING, 1, "File");
    SetMenu(host.Handle(), menu);
    // Smaller than the bitmap: the bitmap is not scaled to it.
    placeholder = CreateWindowExA(0, "BUTTON", "", WS_CHILD, kPlaceholderX, kPlaceholderY, 2, 1,
                                  host.Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
    bitmap = CreateCompatibleBitmap(screen, 4, 2);
    bitmapDc = CreateCompatibleDC(screen);
    bitmapOld = SelectObject(bitmapDc, bitmap);
    for (int i = 0; i < 8; ++i) SetPixel(bitmapDc, i % 4, i / 4, kPixels[i]);
    SelectObject(bitmapDc, bitmapOld);

    target = CreateCompatibleBitmap(screen, 100, 100);
    targetDc = CreateCompatibleDC(screen);
    targetOld = SelectObject(targetDc, target);
    const HBRUSH brush = CreateSolidBrush(kBackground);
    const RECT all{0, 0, 100, 100};
    FillRect(targetDc, &all, brush);
    DeleteObject(brush);
  }

  void TearDown() override {
    SelectObject(targetDc, targetOld);
    DeleteDC(targetDc);
    DeleteObject(target);
    DeleteDC(bitmapDc);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
  }

  HostWindow host{100, 100, 200, 150};
  HMENU menu = nullptr;
  HWND placeholder = nullptr;
  HDC screen = nullptr;
  HBITMAP bitmap = nullptr;
  HDC bitmapDc = nullptr;
  HGDIOBJ bitmapOld = nullptr;
  HBITMAP target = nullptr;
  HDC targetDc = nullptr;
  HGDIOBJ targetOld = nullptr;
};

TEST_F(KeyedBitmapTest, PaintsTheOpaquePixelsAtThePlaceholderAndKeepsTheBackgroundElsewhere) {
  DrawKeyedBitmap(host.Handle(), targetDc, bitmap, placeholder);

  for (int i = 0; i < 8; ++i) {
    const COLORREF expected = kPixels[i] == kBitmapKeyColor ? kBackground : kPixels[i];
    EXPECT_EQ(GetPixel(targetDc, kPlaceholderX + i % 4, kPlaceholderY + i / 4), expected)
        << "pixel " << i;
  }
  // Nothing around the bitmap changes.
  EXPECT_EQ(GetPixel(targetDc, kPlaceholderX - 1, kPlaceholderY), kBackground);
  EXPECT_EQ(GetPixel(targetDc, kPlaceholderX + 4, kPlaceholderY), kBackground);
  EXPECT_EQ(GetPixel(targetDc, kPlaceholderX, kPlaceholderY - 1), kBackground);
  EXPECT_EQ(GetPixel(targetDc, kPlaceholderX, kPlaceholderY + 2), kBackground);

  // The bitmap itself is as it was.
  bitmapOld = SelectObject(bitmapDc, bitmap);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(GetPixel(bitmapDc, i % 4, i / 4), kPixels[i]) << i;
  SelectObject(bitmapDc, bitmapOld);
}

}  // namespace
}  // namespace pradex::win32
