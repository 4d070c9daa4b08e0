#include "ui/win32/win32_rich_text_control.h"

#include <algorithm>
#include <vector>

namespace pradex::win32 {

namespace {

// Size, colour, face, strike-out, italic and bold.
constexpr DWORD kFormatMask =
    CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_STRIKEOUT | CFM_ITALIC | CFM_BOLD;
static_assert(kFormatMask == 0xE000000B);
static_assert(sizeof(CHARFORMAT2A) == 84);

constexpr COLORREF kWhite = RGB(255, 255, 255);

}  // namespace

CHARFORMAT2A ToCharFormat(const CharFormat& format) {
  CHARFORMAT2A record{};
  record.cbSize = sizeof(record);
  record.dwMask = kFormatMask;
  if (format.bold) record.dwEffects |= CFE_BOLD;
  if (format.italic) record.dwEffects |= CFE_ITALIC;
  if (format.strikeout) record.dwEffects |= CFE_STRIKEOUT;
  if (format.link) {
    record.dwMask |= CFM_LINK;
    record.dwEffects |= CFE_LINK;
  }
  record.yHeight = format.heightTwips;
  record.crTextColor = format.color;
  const std::size_t length = std::min(format.faceName.size(), sizeof(record.szFaceName) - 1);
  std::copy_n(format.faceName.begin(), length, record.szFaceName);
  return record;
}

void Win32RichTextControl::Prepare() {
  SendMessageA(control, EM_SETBKGNDCOLOR, 0, kWhite);
  SendMessageA(control, EM_AUTOURLDETECT, TRUE, 0);
  const LRESULT mask = SendMessageA(control, EM_GETEVENTMASK, 0, 0);
  SendMessageA(control, EM_SETEVENTMASK, 0, mask | ENM_LINK);
}

void Win32RichTextControl::SetText(const std::string& text) {
  SetWindowTextA(control, text.c_str());
}

long Win32RichTextControl::TextLength() {
  // Characters, not bytes, and each paragraph end once (no GTL_USECRLF).
  GETTEXTLENGTHEX request{};
  request.flags = GTL_NUMCHARS | GTL_PRECISE;
  request.codepage = CP_ACP;
  const LRESULT length =
      SendMessageA(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&request), 0);
  return length < 0 ? 0 : static_cast<long>(length);
}

void Win32RichTextControl::Select(TextRange range) {
  CHARRANGE selection{range.start, range.end};
  SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
}

std::optional<TextRange> Win32RichTextControl::FindForward(const std::string& text, long from) {
  FINDTEXTEXA find{};
  find.chrg.cpMin = from;
  find.chrg.cpMax = -1;  // to the end of the text
  find.lpstrText = text.c_str();
  const LRESULT found =
      SendMessageA(control, EM_FINDTEXTEX, FR_DOWN, reinterpret_cast<LPARAM>(&find));
  if (found < 0) return std::nullopt;
  return TextRange{find.chrgText.cpMin, find.chrgText.cpMax};
}

void Win32RichTextControl::SetSelectionFormat(const CharFormat& format) {
  CHARFORMAT2A record = ToCharFormat(format);
  SendMessageA(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&record));
}

void Win32RichTextControl::SetDefaultFormat(const CharFormat& format) {
  CHARFORMAT2A record = ToCharFormat(format);
  SendMessageA(control, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&record));
}

std::string Win32RichTextControl::SelectedText() {
  CHARRANGE selection{};
  SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  const long count = std::max<long>(selection.cpMax - selection.cpMin, 0);
  // Room for two bytes per character (double-byte code pages) and the terminating zero.
  std::vector<char> buffer(static_cast<std::size_t>(count) * 2 + 2, '\0');
  SendMessageA(control, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer.data()));
  // The count the control returns is in characters; the text ends at its zero byte, and the
  // buffer's last byte stays zero whatever the control wrote.
  buffer.back() = '\0';
  return std::string(buffer.data());
}

void Win32RichTextControl::SetEnabled(bool enabled) {
  EnableWindow(control, enabled ? TRUE : FALSE);
}

}  // namespace pradex::win32
