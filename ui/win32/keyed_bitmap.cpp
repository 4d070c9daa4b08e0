#include "ui/win32/keyed_bitmap.h"

#include <initializer_list>

namespace pradex::win32 {

namespace {

int Width(const RECT& rect) {
  return rect.right - rect.left;
}
int Height(const RECT& rect) {
  return rect.bottom - rect.top;
}

// A memory device context compatible with `dc`, in the same mapping mode.
HDC MemoryDc(HDC dc) {
  HDC memory = CreateCompatibleDC(dc);
  if (memory != nullptr) SetMapMode(memory, GetMapMode(dc));
  return memory;
}

}  // namespace

void DrawKeyedBitmap(HWND window, HDC dc, HBITMAP bitmap, HWND placeholder) {
  if (window == nullptr || dc == nullptr || bitmap == nullptr || placeholder == nullptr) return;

  // 1. Where: the placeholder's screen position in the window's client coordinates.
  RECT windowRect{};
  RECT windowClient{};
  RECT placeholderRect{};
  RECT placeholderClient{};
  GetWindowRect(window, &windowRect);
  GetClientRect(window, &windowClient);
  GetWindowRect(placeholder, &placeholderRect);
  GetClientRect(placeholder, &placeholderClient);
  const int frame = (Width(windowRect) - Width(windowClient)) / 2;
  const int top = Height(windowRect) - Height(windowClient) - frame;
  const int x = placeholderRect.left - windowRect.left - frame;
  const int y = placeholderRect.top - windowRect.top - top;

  // 2. The bitmap's size, in the logical units of a context like `dc`.
  HDC image = MemoryDc(dc);
  if (image == nullptr) return;
  const HGDIOBJ imageOld = SelectObject(image, bitmap);
  BITMAP description{};
  GetObjectA(bitmap, sizeof(description), &description);
  POINT size{description.bmWidth, description.bmHeight};
  DPtoLP(image, &size, 1);
  const int width = size.x;
  const int height = size.y;

  // 3. The work bitmaps: a copy of the image, the mask of the key colour and its inverse, and
  // the screen area being composed.
  HDC saved = MemoryDc(dc);
  HDC mask = MemoryDc(dc);
  HDC inverse = MemoryDc(dc);
  HDC screen = MemoryDc(dc);
  HBITMAP savedBitmap = CreateCompatibleBitmap(dc, width, height);
  HBITMAP maskBitmap = CreateBitmap(width, height, 1, 1, nullptr);
  HBITMAP inverseBitmap = CreateBitmap(width, height, 1, 1, nullptr);
  HBITMAP screenBitmap = CreateCompatibleBitmap(dc, width, height);
  if (saved != nullptr && mask != nullptr && inverse != nullptr && screen != nullptr &&
      savedBitmap != nullptr && maskBitmap != nullptr && inverseBitmap != nullptr &&
      screenBitmap != nullptr) {
    const HGDIOBJ savedOld = SelectObject(saved, savedBitmap);
    const HGDIOBJ maskOld = SelectObject(mask, maskBitmap);
    const HGDIOBJ inverseOld = SelectObject(inverse, inverseBitmap);
    const HGDIOBJ screenOld = SelectObject(screen, screenBitmap);

    // 3.1 Keep the bitmap's pixels.
    BitBlt(saved, 0, 0, width, height, image, 0, 0, SRCCOPY);
    // 3.2 White where the bitmap has the key colour, black elsewhere.
    const COLORREF background = SetBkColor(image, kBitmapKeyColor);
    BitBlt(mask, 0, 0, width, height, image, 0, 0, SRCCOPY);
    SetBkColor(image, background);
    // 3.3 The inverse: white where the bitmap is opaque.
    BitBlt(inverse, 0, 0, width, height, mask, 0, 0, NOTSRCCOPY);
    // 3.4 to 3.7 The screen cleared where the bitmap is opaque, the bitmap cleared where it has
    // the key colour, the two put together.
    BitBlt(screen, 0, 0, width, height, dc, x, y, SRCCOPY);
    BitBlt(screen, 0, 0, width, height, mask, 0, 0, SRCAND);
    BitBlt(image, 0, 0, width, height, inverse, 0, 0, SRCAND);
    BitBlt(screen, 0, 0, width, height, image, 0, 0, SRCPAINT);
    // 3.8 Onto the screen; 3.9 the bitmap as it was.
    BitBlt(dc, x, y, width, height, screen, 0, 0, SRCCOPY);
    BitBlt(image, 0, 0, width, height, saved, 0, 0, SRCCOPY);

    SelectObject(screen, screenOld);
    SelectObject(inverse, inverseOld);
    SelectObject(mask, maskOld);
    SelectObject(saved, savedOld);
  }

  // 4. Release the work bitmaps and the memory contexts.
  for (HBITMAP work : {savedBitmap, maskBitmap, inverseBitmap, screenBitmap}) {
    if (work != nullptr) DeleteObject(work);
  }
  for (HDC memory : {saved, mask, inverse, screen}) {
    if (memory != nullptr) DeleteDC(memory);
  }
  SelectObject(image, imageOld);
  DeleteDC(image);
}

}  // namespace pradex::win32
