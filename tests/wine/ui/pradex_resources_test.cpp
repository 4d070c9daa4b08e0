// The resources of Pradex.exe as the system reads them: the two dialog templates control by
// control against the dialogs of the resource script, the string table, the banner, the
// icons, the version block, and what kind of program the file is.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "platform/win32/win32_version_info.h"
#include "tests/wine/wine_test_support.h"
#include "ui/win32/resource_ids.h"

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
  std::array<int, 4> rect{};
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
};

struct DialogTemplate {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::array<int, 4> rect{};
  NameOrOrdinal menu;
  std::wstring caption;
  std::array<int, 3> font{};  // point size, weight, italic and character set
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
    dialog.rect = Rect();
    dialog.menu = Name();
    Name();  // window class
    dialog.caption = Name().name;
    if (dialog.style & DS_SETFONT) {
      for (int& value : dialog.font) value = Word();
      dialog.typeface = Name().name;
    }
    for (std::uint16_t i = 0; i < count; ++i) {
      Align();
      ControlTemplate control;
      Dword();  // helpID
      control.exStyle = Dword();
      control.style = Dword();
      control.rect = Rect();
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
  std::array<int, 4> Rect() {
    std::array<int, 4> rect;
    for (int& value : rect) value = static_cast<std::int16_t>(Word());
    return rect;
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

// The symbolic names that the dialogs of pradex.rc use, with their values from the same
// headers; a name missing here fails the test.
#define PRADEX_RC_NAME(name) \
  { #name, name }
const std::map<std::string, std::uint32_t> kRcNames = {
    PRADEX_RC_NAME(PRADEX_IDD_MAIN),  PRADEX_RC_NAME(PRADEX_IDD_ABOUT),
    PRADEX_RC_NAME(PRADEX_IDI_SMALL), PRADEX_RC_NAME(IDOK),
    PRADEX_RC_NAME(WS_POPUP),         PRADEX_RC_NAME(WS_VISIBLE),
    PRADEX_RC_NAME(WS_CAPTION),       PRADEX_RC_NAME(WS_SYSMENU),
    PRADEX_RC_NAME(WS_GROUP),         PRADEX_RC_NAME(WS_TABSTOP),
    PRADEX_RC_NAME(DS_SETFONT),       PRADEX_RC_NAME(DS_MODALFRAME),
    PRADEX_RC_NAME(DS_FIXEDSYS),      PRADEX_RC_NAME(SS_ICON),
    PRADEX_RC_NAME(SS_LEFT),          PRADEX_RC_NAME(SS_NOPREFIX),
    PRADEX_RC_NAME(BS_DEFPUSHBUTTON)};
#undef PRADEX_RC_NAME

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "a | NOT b | 0x10": each term sets its bits in `value`, or clears them after NOT.
std::uint32_t Evaluate(const std::string& expression, std::uint32_t value = 0) {
  std::istringstream terms(expression);
  for (std::string term; std::getline(terms, term, '|');) {
    term = Trim(term);
    const bool clear = term.rfind("NOT ", 0) == 0;
    if (clear) term = Trim(term.substr(4));
    std::uint32_t bits = 0;
    std::size_t used = 0;
    const bool number = !term.empty() && (std::isdigit(term[0] & 0xFF) || term[0] == '-');
    if (number) bits = static_cast<std::uint32_t>(std::stoll(term, &used, 0));
    if (const auto known = kRcNames.find(term); known != kRcNames.end()) {
      bits = known->second;
    } else if (!number || used != term.size()) {
      ADD_FAILURE() << "pradex.rc has a term unknown to this test: '" << term << "'";
    }
    value = clear ? value & ~bits : value | bits;
  }
  return value;
}

// A quoted text of the UTF-8 script as a name, anything else as an ordinal.
NameOrOrdinal NameOrNumber(const std::string& text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
    return {static_cast<std::uint16_t>(Evaluate(text)), L""};
  }
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data() + 1, static_cast<int>(text.size()) - 2,
                                  wide.data(), static_cast<int>(wide.size())));
  return {0, wide};
}

// A statement's arguments: split at the commas outside quotes.
std::vector<std::string> Arguments(const std::string& text) {
  std::vector<std::string> arguments(1);
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      arguments.emplace_back();
    } else {
      arguments.back() += c;
    }
  }
  for (std::string& argument : arguments) argument = Trim(argument);
  return arguments;
}

std::array<int, 4> RectOf(const std::vector<std::string>& arguments, std::size_t first) {
  std::array<int, 4> rect{};
  for (std::size_t i = 0; i < 4; ++i) {
    rect[i] = static_cast<std::int16_t>(Evaluate(arguments.at(first + i)));
  }
  return rect;
}

// The DIALOGEX blocks of the resource script, by id, in the statements this script uses:
// STYLE, EXSTYLE, CAPTION, FONT and generic CONTROL lines, which the resource compiler gives
// WS_CHILD | WS_VISIBLE before their own style.
std::map<std::uint32_t, DialogTemplate> ReadDialogs(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file) << path;
  std::map<std::uint32_t, DialogTemplate> dialogs;
  DialogTemplate* dialog = nullptr;
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string keyword;
    std::string rest;
    words >> keyword;
    std::getline(words, rest);
    rest = Trim(rest);
    if (keyword.rfind("//", 0) == 0) continue;  // a comment line; a comment after a value fails
    if (dialog == nullptr) {
      if (rest.rfind("DIALOGEX ", 0) == 0) {
        dialog = &dialogs[Evaluate(keyword)];
        dialog->rect = RectOf(Arguments(rest.substr(9)), 0);
      }
      continue;
    }
    const std::vector<std::string> arguments = Arguments(rest);
    if (keyword == "STYLE") {
      dialog->style = Evaluate(rest);
    } else if (keyword == "EXSTYLE") {
      dialog->exStyle = Evaluate(rest);
    } else if (keyword == "CAPTION") {
      dialog->caption = NameOrNumber(rest).name;
    } else if (keyword == "FONT" && arguments.size() == 5) {
      dialog->font = {static_cast<int>(Evaluate(arguments[0])),
                      static_cast<int>(Evaluate(arguments[2])),
                      static_cast<int>(Evaluate(arguments[3]) | Evaluate(arguments[4]) << 8)};
      dialog->typeface = NameOrNumber(arguments[1]).name;
    } else if (keyword == "CONTROL" && (arguments.size() == 8 || arguments.size() == 9)) {
      ControlTemplate control;
      control.title = NameOrNumber(arguments[0]);
      control.id = Evaluate(arguments[1]);
      control.windowClass = NameOrNumber(arguments[2]);
      control.style = Evaluate(arguments[3], WS_CHILD | WS_VISIBLE);
      control.rect = RectOf(arguments, 4);
      if (arguments.size() == 9) control.exStyle = Evaluate(arguments[8]);
      dialog->controls.push_back(control);
    } else if (keyword == "END") {
      dialog = nullptr;
    } else if (keyword != "BEGIN" && !keyword.empty()) {
      ADD_FAILURE() << "a dialog statement unknown to this test: " << line;
    }
  }
  return dialogs;
}

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

  // The compiled dialog template; an empty one, after a failure, when there is none.
  static DialogTemplate Dialog(int id) {
    const std::uint8_t* data = Resource(id, RT_DIALOG);
    EXPECT_NE(data, nullptr) << id;
    return data != nullptr ? TemplateReader(data).Dialog() : DialogTemplate{};
  }

  static inline HMODULE module = nullptr;
};

// The style of a dialog's control; all bits set when there is no such control.
std::uint32_t StyleOf(const DialogTemplate& dialog, std::uint32_t id) {
  for (const ControlTemplate& control : dialog.controls) {
    if (control.id == id) return control.style;
  }
  return ~0u;
}

TEST_F(PradexResourcesTest, DialogTemplatesAreTheDialogsOfTheResourceScript) {
  ASSERT_FALSE(Paths().pradexRc.empty()) << "--pradex-rc=<pradex.rc> is required";
  const std::map<std::uint32_t, DialogTemplate> written = ReadDialogs(Paths().pradexRc);
  ASSERT_EQ(written.size(), 2u);
  for (const auto& [id, script] : written) {
    SCOPED_TRACE("dialog " + std::to_string(id));
    const DialogTemplate compiled = Dialog(static_cast<int>(id));
    EXPECT_EQ(compiled.caption, script.caption);
    EXPECT_EQ(compiled.typeface, script.typeface);
    EXPECT_EQ(compiled.font, script.font);
    EXPECT_EQ(compiled.rect, script.rect);
    EXPECT_EQ(compiled.style, script.style) << std::hex << compiled.style << " " << script.style;
    EXPECT_EQ(compiled.exStyle, script.exStyle)
        << std::hex << compiled.exStyle << " " << script.exStyle;
    EXPECT_EQ(compiled.menu, NameOrOrdinal{}) << "the menu bar is built at run time";
    ASSERT_EQ(compiled.controls.size(), script.controls.size());
    for (std::size_t i = 0; i < compiled.controls.size(); ++i) {
      const ControlTemplate& control = compiled.controls[i];
      const ControlTemplate& line = script.controls[i];
      SCOPED_TRACE("control " + std::to_string(line.id));
      EXPECT_EQ(control.id, line.id);
      // The resource compiler writes class names in capitals; the dialog manager ignores case.
      EXPECT_EQ(control.windowClass.ordinal, line.windowClass.ordinal);
      EXPECT_EQ(_wcsicmp(control.windowClass.name.c_str(), line.windowClass.name.c_str()), 0);
      EXPECT_EQ(control.title, line.title);
      EXPECT_EQ(control.rect, line.rect);
      EXPECT_EQ(control.style, line.style) << std::hex << control.style << " " << line.style;
      EXPECT_EQ(control.exStyle, line.exStyle)
          << std::hex << control.exStyle << " " << line.exStyle;
    }
  }
}

TEST_F(PradexResourcesTest, AboutBoxIsAModalPopUpWithOkAsDefaultAndTheBannerPlaceIsHidden) {
  const DialogTemplate about = Dialog(PRADEX_IDD_ABOUT);
  const std::uint32_t frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  EXPECT_EQ(about.style & (frame | WS_VISIBLE), frame) << "shown by the dialog manager";
  EXPECT_EQ(StyleOf(about, IDOK) & BS_TYPEMASK, static_cast<std::uint32_t>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(StyleOf(Dialog(PRADEX_IDD_MAIN), 20003) & WS_VISIBLE, 0u) << "only its place is used";
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
