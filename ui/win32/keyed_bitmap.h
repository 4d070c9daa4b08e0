// Painting a bitmap with one colour left transparent, as the main window paints its banner.
#pragma once

#include <windows.h>

namespace pradex::win32 {

// The colour of the banner's pixels that let the dialog's background show through.
inline constexpr COLORREF kBitmapKeyColor = RGB(192, 192, 192);

// Paints `bitmap` on `dc` (a device context of `window`'s client area) at the top-left corner of
// the control `placeholder`, at the bitmap's own size, leaving every pixel of kBitmapKeyColor
// as the device context has it. The placeholder's position is turned into client coordinates
// from the window rectangles, taking the frame as equally wide on the left, right and bottom.
void DrawKeyedBitmap(HWND window, HDC dc, HBITMAP bitmap, HWND placeholder);

}  // namespace pradex::win32
