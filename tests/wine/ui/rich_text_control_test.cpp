// The list's Rich Edit 2.0 control as the device list drives it: positions, finding, formats
// as the control keeps them, and the preparation for link notifications.
#include "ui/win32/win32_rich_text_control.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/rich_text_contract.h"
#include "tests/wine/ui/host_window.h"
#include "ui/device_list.h"

namespace pradex::win32 {
namespace {

// The list control's style: child, visible, vertical scroll bar, read-only, automatic vertical
// scrolling, multi-line, centred.
constexpr DWORD kListStyle = 0x50200845;

class Win32RichTextControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadLibraryA("riched20.dll"); }

  void SetUp() override {
    ASSERT_NE(host.Handle(), nullptr);
    richEdit = CreateWindowExA(WS_EX_CLIENTEDGE, "RichEdit20A", "", kListStyle, 10, 10, 300, 200,
                               host.Handle(), reinterpret_cast<HMENU>(20006),
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(richEdit, nullptr) << GetLastError();
    control.Attach(richEdit);
  }

  // The format the control has for the characters of `range`.
  CHARFORMAT2A FormatOf(TextRange range) {
    control.Select(range);
    CHARFORMAT2A format{};
    format.cbSize = sizeof(format);
    SendMessageA(richEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
  }

  HostWindow host{50, 50, 340, 260};
  HWND richEdit = nullptr;
  Win32RichTextControl control;
};

TEST_F(Win32RichTextControlTest, KeepsThePositionRulesOfTheList) {
  ExpectRichTextContract(control);
}

TEST_F(Win32RichTextControlTest, AnsiTextCountsOnePositionPerCharacter) {
  const std::string stop = "Pys\xe4yt\xe4";  // code page 1252
  control.SetText("\r\n" + stop + "\r\n");
  EXPECT_EQ(control.TextLength(), 9);
  // (Wine's control ignores the case of ASCII letters only.)
  EXPECT_EQ(control.FindForward("PYS\xe4YT\xe4", 0), std::optional<TextRange>(TextRange{1, 8}));
  EXPECT_EQ(control.FindForward("yt\xe4", 0), std::optional<TextRange>(TextRange{5, 8}));
  control.Select({1, 8});
  EXPECT_EQ(control.SelectedText(), stop);
}

TEST_F(Win32RichTextControlTest, FormatsAreTheListsFormatsAsTheControlKeepsThem) {
  control.SetDefaultFormat(DefaultListFormat());
  control.SetText("\r\nStatus\r\n\r\nName\r\n");
  CharFormat link = DefaultListFormat();
  link.heightTwips = kLinkHeightTwips;
  link.link = true;
  control.Select({9, 13});
  control.SetSelectionFormat(link);

  const CHARFORMAT2A name = FormatOf({9, 13});
  EXPECT_EQ(name.dwEffects & (CFE_BOLD | CFE_LINK | CFE_ITALIC | CFE_STRIKEOUT | CFE_AUTOCOLOR),
            static_cast<DWORD>(CFE_BOLD | CFE_LINK));
  EXPECT_EQ(name.yHeight, 200);
  EXPECT_EQ(name.crTextColor, 0u);
  EXPECT_STREQ(name.szFaceName, "Arial");

  const CHARFORMAT2A status = FormatOf({1, 7});
  EXPECT_EQ(status.dwEffects & (CFE_BOLD | CFE_LINK | CFE_ITALIC | CFE_STRIKEOUT | CFE_AUTOCOLOR),
            static_cast<DWORD>(CFE_BOLD));
  EXPECT_EQ(status.yHeight, 180);
  EXPECT_STREQ(status.szFaceName, "Arial");
}

TEST_F(Win32RichTextControlTest, RecordsCarryExactlyTheListsMasksAndEffects) {
  const CHARFORMAT2A plain = ToCharFormat(DefaultListFormat());
  EXPECT_EQ(plain.cbSize, 84u);
  EXPECT_EQ(plain.dwMask, 0xE000000Bu);
  EXPECT_EQ(plain.dwEffects, static_cast<DWORD>(CFE_BOLD));
  EXPECT_EQ(plain.yHeight, 180);

  CharFormat linkFormat = DefaultListFormat();
  linkFormat.link = true;
  linkFormat.italic = true;
  const CHARFORMAT2A link = ToCharFormat(linkFormat);
  EXPECT_EQ(link.dwMask, 0xE000002Bu);
  EXPECT_EQ(link.dwEffects, static_cast<DWORD>(CFE_BOLD | CFE_LINK | CFE_ITALIC));
}

TEST_F(Win32RichTextControlTest, PreparationTurnsOnLinksUrlDetectionAndWhiteBackground) {
  control.Prepare();
  EXPECT_NE(SendMessageA(richEdit, EM_GETEVENTMASK, 0, 0) & ENM_LINK, 0);
  EXPECT_TRUE(SendMessageA(richEdit, EM_GETAUTOURLDETECT, 0, 0));
  // Setting another colour reports the one that was set before.
  EXPECT_EQ(SendMessageA(richEdit, EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)), RGB(255, 255, 255));
}

}  // namespace
}  // namespace pradex::win32
