// The device list's text control on Windows: a Rich Edit 2.0 control ("RichEdit20A") of a
// dialog, driven with 8-bit text in the ANSI code page.
#pragma once

#include <windows.h>

#include <commdlg.h>  // FR_DOWN
#include <richedit.h>

#include "ui/rich_text_control.h"

namespace pradex::win32 {

// The record a format is applied with: CHARFORMAT2A, 84 bytes, with size, colour, face,
// strike-out, italic and bold always in the mask (0xE000000B) and the link effect in it only
// for a link (0xE000002B). Nothing else is set; the colour is never automatic.
CHARFORMAT2A ToCharFormat(const CharFormat& format);

class Win32RichTextControl : public RichTextControl {
 public:
  Win32RichTextControl() = default;
  explicit Win32RichTextControl(HWND control) : control(control) {}

  // The control, once the dialog has it.
  void Attach(HWND richEdit) { control = richEdit; }
  HWND Handle() const { return control; }

  // Readies the control for the list: white background, URL detection, link notifications
  // (EN_LINK) to the parent. The default format comes through SetDefaultFormat.
  void Prepare();

  void SetText(const std::string& text) override;
  long TextLength() override;
  void Select(TextRange range) override;
  std::optional<TextRange> FindForward(const std::string& text, long from) override;
  void SetSelectionFormat(const CharFormat& format) override;
  void SetDefaultFormat(const CharFormat& format) override;
  std::string SelectedText() override;
  void SetEnabled(bool enabled) override;

 private:
  HWND control = nullptr;
};

}  // namespace pradex::win32
