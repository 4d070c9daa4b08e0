// The resources of Pradex.exe as the system reads them: the two dialog templates control by
// control, the string table, the banner, the icons, the version block, and what kind of
// program the file is.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "platform/win32/win32_version_info.h"
#include "tests/wine/wine_test_support.h"

namespace pradex::win32 {
namespace {

using winetest::Paths;

// A name or ordinal of a dialog template: class, menu, title.
struct NameOrOrdinal {
  std::uint16_t ordinal = 0;  // 0: a name
  std::wstring name;
  friend bool operator==(const NameOrOrdinal&, const NameOrOrdinal&) = default;
};

struct ControlTemplate {
  std::uint32_t id = 0;
  NameOrOrdinal windowClass;
  NameOrOrdinal title;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
};

struct DialogTemplate {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  std::wstring caption;
  std::uint16_t pointSize = 0;
  std::wstring typeface;
  std::vector<ControlTemplate> controls;
};

// Reads DLGTEMPLATEEX and its DLGITEMTEMPLATEEX records.
class TemplateReader {
 public:
  explicit TemplateReader(const std::uint8_t* data) : base(data), at(data) {}

  DialogTemplate Dialog() {
    DialogTemplate dialog;
    EXPECT_EQ(Word(), 1);       // dlgVer
    EXPECT_EQ(Word(), 0xFFFF);  // signature: the extended template
    Dword();                    // helpID
    dialog.exStyle = Dword();
    dialog.style = Dword();
    const std::uint16_t count = Word();
    dialog.x = static_cast<std::int16_t>(Word());
    dialog.y = static_cast<std::int16_t>(Word());
    dialog.cx = static_cast<std::int16_t>(Word());
    dialog.cy = static_cast<std::int16_t>(Word());
    dialog.menu = Name();
    Name();  // window class
    dialog.caption = Name().name;
    if (dialog.style & DS_SETFONT) {
      dialog.pointSize = Word();
      Word();  // weight
      Word();  // italic, character set
      dialog.typeface = Name().name;
    }
    for (std::uint16_t i = 0; i < count; ++i) {
      Align();
      ControlTemplate control;
      Dword();  // helpID
      control.exStyle = Dword();
      control.style = Dword();
      control.x = static_cast<std::int16_t>(Word());
      control.y = static_cast<std::int16_t>(Word());
      control.cx = static_cast<std::int16_t>(Word());
      control.cy = static_cast<std::int16_t>(Word());
      control.id = Dword();
      control.windowClass = Name();
      control.title = Name();
      at += Word();  // creation data
      dialog.controls.push_back(control);
    }
    return dialog;
  }

 private:
  std::uint16_t Word() {
    std::uint16_t value;
    std::memcpy(&value, at, 2);
    at += 2;
    return value;
  }
  std::uint32_t Dword() {
    std::uint32_t value;
    std::memcpy(&value, at, 4);
    at += 4;
    return value;
  }
  NameOrOrdinal Name() {
    NameOrOrdinal result;
    const std::uint16_t first = Word();
    if (first == 0xFFFF) {
      result.ordinal = Word();
      return result;
    }
    for (std::uint16_t c = first; c != 0; c = Word()) result.name += static_cast<wchar_t>(c);
    return result;
  }
  void Align() {
    while ((at - base) % 4 != 0) ++at;
  }

  const std::uint8_t* base;
  const std::uint8_t* at;
};

NameOrOrdinal Ordinal(std::uint16_t ordinal) {
  return {ordinal, L""};
}
NameOrOrdinal Named(const wchar_t* name) {
  return {0, name};
}
// The predefined window classes, as a template names them.
const NameOrOrdinal kButton = Ordinal(0x0080);
const NameOrOrdinal kStatic = Ordinal(0x0082);

class PradexResourcesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_FALSE(Paths().pradex.empty()) << "--pradex=<Pradex.exe> is required";
    module = LoadLibraryExA(Paths().pradex.c_str(), nullptr,
                            LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << GetLastError();
  }
  static void TearDownTestSuite() {
    if (module != nullptr) FreeLibrary(module);
    module = nullptr;
  }

  void SetUp() override { ASSERT_NE(module, nullptr); }

  static const std::uint8_t* Resource(int id, LPCSTR type, DWORD* size = nullptr) {
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return nullptr;
    if (size != nullptr) *size = SizeofResource(module, found);
    return static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
  }

  static void ExpectControl(const ControlTemplate& control, std::uint32_t id,
                            const NameOrOrdinal& windowClass, const NameOrOrdinal& title,
                            std::array<int, 4> rect, std::uint32_t style, std::uint32_t exStyle) {
    SCOPED_TRACE("control " + std::to_string(id));
    EXPECT_EQ(control.id, id);
    // The resource compiler writes class names in capitals; the dialog manager ignores case.
    EXPECT_EQ(control.windowClass.ordinal, windowClass.ordinal);
    EXPECT_EQ(_wcsicmp(control.windowClass.name.c_str(), windowClass.name.c_str()), 0);
    EXPECT_EQ(control.title, title);
    EXPECT_EQ((std::array<int, 4>{control.x, control.y, control.cx, control.cy}), rect);
    EXPECT_EQ(control.style, style) << std::hex << control.style;
    EXPECT_EQ(control.exStyle, exStyle) << std::hex << control.exStyle;
  }

  static inline HMODULE module = nullptr;
};

TEST_F(PradexResourcesTest, MainWindowTemplateHasEveryControlInTemplateOrder) {
  const std::uint8_t* data = Resource(30004, RT_DIALOG);
  ASSERT_NE(data, nullptr);
  const DialogTemplate dialog = TemplateReader(data).Dialog();
  EXPECT_EQ(dialog.caption, L"Pradex");
  EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.cx, 206);
  EXPECT_EQ(dialog.cy, 282);
  EXPECT_EQ(dialog.style, 0x90C808C8u) << std::hex << dialog.style;
  EXPECT_EQ(dialog.exStyle, 0x00040000u) << std::hex << dialog.exStyle;
  EXPECT_EQ(dialog.menu, NameOrOrdinal{}) << "the menu bar is built at run time";
  ASSERT_EQ(dialog.controls.size(), 6u);
  const auto& c = dialog.controls;
  ExpectControl(c[0], 32771, kButton, Named(L"Stop"), {13, 209, 50, 16}, 0x50010000, 0);
  ExpectControl(c[1], 32772, kButton, Named(L"Refresh"), {77, 209, 50, 16}, 0x50010000, 0);
  ExpectControl(c[2], 32773, kButton, Named(L"Close"), {141, 209, 50, 16}, 0x50010000, 0);
  ExpectControl(c[3], 20006, Named(L"RichEdit20A"), Named(L""), {7, 7, 192, 195}, 0x50200845,
                0x200);
  ExpectControl(c[4], 20001, kStatic, Named(L"Static"), {59, 232, 140, 43}, 0x50020000, 0x20);
  ExpectControl(c[5], 20003, kButton, Named(L""), {14, 234, 43, 29}, 0x48008040, 0x20);
}

TEST_F(PradexResourcesTest, AboutBoxTemplateHasTheIconTheTextsAndOk) {
  const std::uint8_t* data = Resource(100, RT_DIALOG);
  ASSERT_NE(data, nullptr);
  const DialogTemplate dialog = TemplateReader(data).Dialog();
  EXPECT_EQ(dialog.caption, L"About Pradex");
  EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.cx, 235);
  EXPECT_EQ(dialog.cy, 58);
  // A pop-up with caption, system menu and modal frame, shown by the dialog manager.
  const std::uint32_t frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  EXPECT_EQ(dialog.style & frame, frame);
  EXPECT_EQ(dialog.style & WS_VISIBLE, 0u);
  ASSERT_EQ(dialog.controls.size(), 5u);
  const auto& c = dialog.controls;
  const std::uint32_t child = WS_CHILD | WS_VISIBLE;
  ExpectControl(c[0], 0xFFFFFFFF, kStatic, Ordinal(30001), {11, 17, 20, 20}, child | SS_ICON, 0);
  ExpectControl(c[1], 20005, kStatic, Named(L"Pradex"), {41, 14, 119, 10},
                child | WS_GROUP | SS_LEFT | SS_NOPREFIX, 0);
  ExpectControl(c[2], IDOK, kButton, Named(L"OK"), {178, 7, 50, 16},
                child | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0);
  ExpectControl(c[3], 20004, kStatic, Named(L"Version 1.0"), {41, 24, 108, 8},
                child | WS_GROUP | SS_LEFT, 0);
  EXPECT_EQ(c[4].id, 20000u);
  EXPECT_EQ((std::array<int, 4>{c[4].x, c[4].y, c[4].cx, c[4].cy}),
            (std::array<int, 4>{41, 34, 119, 10}));
}

TEST_F(PradexResourcesTest, StringTableHoldsFifteenBlocksOfFourteenMessages) {
  for (int block = 1; block <= 15; ++block) {
    for (int n = 1; n <= 14; ++n) {
      const UINT id = static_cast<UINT>(block * 100 + n);
      const wchar_t* text = nullptr;
      EXPECT_GT(LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0), 0) << id;
    }
    for (const UINT missing : {block * 100u, block * 100u + 15u}) {
      wchar_t buffer[8];
      EXPECT_EQ(LoadStringW(module, missing, buffer, 8), 0) << missing;
    }
  }
  const auto text = [&](UINT id) {
    const wchar_t* resource = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
    return std::wstring(resource, length > 0 ? static_cast<std::size_t>(length) : 0);
  };
  EXPECT_EQ(text(505), L"Pys\u00e4yt\u00e4");
  EXPECT_EQ(text(510), L"Pradex ");
  EXPECT_EQ(text(511), L"Versio");
  EXPECT_EQ(text(114),
            L"The Pradex is cancelling the search for available printers.  Please wait.");
}

TEST_F(PradexResourcesTest, BannerAndIconsHaveTheirSizesAndColours) {
  const std::uint8_t* banner = Resource(30003, RT_BITMAP);
  ASSERT_NE(banner, nullptr);
  BITMAPINFOHEADER header{};
  std::memcpy(&header, banner, sizeof(header));
  EXPECT_EQ(header.biWidth, 62);
  EXPECT_EQ(header.biHeight, 46);
  EXPECT_EQ(header.biBitCount, 4);

  // Each icon group holds one image.
  const struct {
    int id;
    int size;
    int bits;
  } icons[] = {{30000, 32, 4}, {30001, 48, 24}};
  for (const auto& icon : icons) {
    SCOPED_TRACE(icon.id);
    const std::uint8_t* group = Resource(icon.id, RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    std::uint16_t count = 0;
    std::memcpy(&count, group + 4, 2);
    ASSERT_EQ(count, 1);
    const std::uint8_t* entry = group + 6;  // GRPICONDIRENTRY
    EXPECT_EQ(entry[0], icon.size);
    EXPECT_EQ(entry[1], icon.size);
    std::uint16_t bits = 0;
    std::memcpy(&bits, entry + 6, 2);
    EXPECT_EQ(bits, icon.bits);
  }
}

TEST_F(PradexResourcesTest, VersionBlockReadsBackAsOnePointThreePointFour) {
  Win32VersionInfo versions;
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
  ASSERT_TRUE(versions.GetFileVersion(Paths().pradex, ms, ls));
  EXPECT_EQ(ms, 0x00010003u);
  EXPECT_EQ(ls, 0x0004000Au);
  EXPECT_EQ(GetVersionText(versions, Paths().pradex), "1.3.4");

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(Paths().pradex.c_str(), &ignored);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(Paths().pradex.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010003u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x0004000Au);
  const auto value = [&](const char* name) {
    char* text = nullptr;
    UINT textLength = 0;
    const std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &textLength)) {
      return std::string();
    }
    return std::string(text);
  };
  EXPECT_EQ(value("FileDescription"), "Pradex");
  EXPECT_EQ(value("OriginalFilename"), "Pradex.exe");
  EXPECT_EQ(value("ProductName"), "Pradex");
  EXPECT_EQ(value("FileVersion"), "1.3.4.10");
}

TEST_F(PradexResourcesTest, IsAWindowsProgramWithoutRuntimeLibrariesBesideIt) {
  std::ifstream file(Paths().pradex, std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 0x400u);
  std::uint32_t peOffset = 0;
  std::memcpy(&peOffset, image.data() + 0x3C, 4);
  ASSERT_EQ(image.compare(peOffset, 4, std::string("PE\0\0", 4)), 0);
  // The optional header follows the 20-byte file header; its subsystem field is at 68.
  std::uint16_t subsystem = 0;
  std::memcpy(&subsystem, image.data() + peOffset + 4 + 20 + 68, 2);
  EXPECT_EQ(subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  for (const char* library : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
    EXPECT_EQ(image.find(library), std::string::npos) << library;
  }
}

}  // namespace
}  // namespace pradex::win32
