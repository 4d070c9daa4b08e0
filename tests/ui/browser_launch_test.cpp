#include "ui/browser_launch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"
#include "tests/ui/ui_fakes.h"

namespace pradex {
namespace {

const std::string kUrl = "http://192.168.1.20/?type=supplies";
// A legal host name that holds the extension the program is found by.
const std::string kExeUrl = "http://lp1.exeter.local/?type=supplies";

struct CommandCase {
  const char* name;
  std::string registered;
  std::optional<BrowserCommand> expected;
  std::string url = kUrl;
};

TEST(BuildBrowserCommandTest, RegisteredCommandLines) {
  const std::string u = kUrl;
  const std::vector<CommandCase> cases = {
      {"quoted path, no placeholder", "\"C:\\Browser\\browser.exe\" -nohome",
       BrowserCommand{"C:\\Browser\\browser.exe", "-nohome " + u}},
      {"upper-case extension, quoted placeholder", "C:\\BROWSER\\BROWSER.EXE -url \"%1\"",
       BrowserCommand{"C:\\BROWSER\\BROWSER.EXE", " -url " + u}},
      {"quoted path and placeholder", "\"C:\\Browser\\browser.exe\" \"%1\"",
       BrowserCommand{"C:\\Browser\\browser.exe", u}},
      {"bare %1 takes the URL", "C:\\Browser\\browser.exe %1",
       BrowserCommand{"C:\\Browser\\browser.exe", " " + u}},
      {"every bare %1, inside an argument too", "C:\\b.exe -a=%1 %1",
       BrowserCommand{"C:\\b.exe", " -a=" + u + " " + u}},
      {"mixed-case extension", "C:\\Browser\\browser.Exe -nohome", std::nullopt},
      {"first .exe wins", "C:\\Tools\\a.exe.d\\b.exe",
       BrowserCommand{"C:\\Tools\\a.exe", ".d\\b.exe " + u}},
      {"character right after the closing quote", "\"C:\\B\\b.exe\"-x",
       BrowserCommand{"C:\\B\\b.exe-", "x " + u}},
      {"lower case found before upper case", "C:\\A.EXE C:\\b.exe",
       BrowserCommand{"C:\\A.EXE C:\\b.exe", " " + u}},
      {"spaces after the closing quote", "\"C:\\b.exe\"   -new",
       BrowserCommand{"C:\\b.exe", "  -new " + u}},
      {"only the first placeholder", "C:\\b.exe \"%1\" \"%1\"",
       BrowserCommand{"C:\\b.exe", " " + u + " \"%1\""}},
      {"nothing registered", "", std::nullopt},
      // No character of the URL becomes part of the program path.
      {"quoted program directly followed by the placeholder", "\"C:\\B\\b.exe\"\"%1\"",
       BrowserCommand{"C:\\B\\b.exe", u}},
      {"quoted program directly followed by a bare %1", "\"C:\\B\\b.exe\"%1",
       BrowserCommand{"C:\\B\\b.exe", u}},
      {"URL before the program", "\"%1\" C:\\b.exe", std::nullopt},
      // The program is found in the registered command alone.
      {".exe in the host, quoted placeholder", "\"C:\\APPS\\BROWSER.EXE\" \"%1\"",
       BrowserCommand{"C:\\APPS\\BROWSER.EXE", kExeUrl}, kExeUrl},
      {".exe in the host, URL appended", "C:\\APPS\\BROWSER.EXE -new",
       BrowserCommand{"C:\\APPS\\BROWSER.EXE", " -new " + kExeUrl}, kExeUrl},
      {".exe in the host, bare %1", "C:\\B\\b.exe %1",
       BrowserCommand{"C:\\B\\b.exe", " " + kExeUrl}, kExeUrl},
      {".exe in the host, unrecognised extension", "b.Exe \"%1\"", std::nullopt, kExeUrl},
      {".exe in the host, nothing registered", "", std::nullopt, kExeUrl},
  };
  for (const CommandCase& c : cases) {
    EXPECT_EQ(BuildBrowserCommand(c.registered, c.url), c.expected) << c.name;
  }
}

TEST(BuildBrowserCommandTest, ExtensionAtTheEndLaunchesWithoutArguments) {
  // Nothing follows the extension, or only its closing quote: the program alone.
  EXPECT_EQ(SplitBrowserCommand({"C:\\b.exe", {}}), (BrowserCommand{"C:\\b.exe", ""}));
  EXPECT_EQ(SplitBrowserCommand({"\"C:\\b.exe\"", {}}), (BrowserCommand{"C:\\b.exe", ""}));
  EXPECT_EQ(SplitBrowserCommand({"\"C:\\b.exe\" ", {}}), (BrowserCommand{"C:\\b.exe", ""}));
}

TEST(BuildBrowserCommandTest, PlaceUrl) {
  EXPECT_EQ(PlaceUrl("b.exe \"%1\" -x", "U").text, "b.exe U -x");
  EXPECT_EQ(PlaceUrl("b.exe %1", "U%1").text, "b.exe U%1");
  EXPECT_EQ(PlaceUrl("", "U").text, " U");
}

class ReadRegistryStringTest : public testing::Test {
 protected:
  static constexpr const char* kKey = "Software\\Test";
  MemoryRegistry registry;
};

TEST_F(ReadRegistryStringTest, ReadsAValueOfAnyTypeUpToItsFirstZero) {
  registry.PutString(kHkeyLocalMachine, kKey, "", "default text");
  registry.PutString(kHkeyLocalMachine, kKey, "NoZero", "unterminated", false);
  registry.PutBytes(kHkeyLocalMachine, kKey, "Binary", kRegBinary, {'a', 'b', 0, 'c'});
  registry.PutDword(kHkeyLocalMachine, kKey, "Number", 0x00004241);

  std::string out;
  EXPECT_TRUE(ReadRegistryString(registry, kHkeyLocalMachine, kKey, "", out));
  EXPECT_EQ(out, "default text");
  EXPECT_TRUE(ReadRegistryString(registry, kHkeyLocalMachine, kKey, "NoZero", out));
  EXPECT_EQ(out, "unterminated");
  EXPECT_TRUE(ReadRegistryString(registry, kHkeyLocalMachine, kKey, "Binary", out));
  EXPECT_EQ(out, "ab");
  EXPECT_TRUE(ReadRegistryString(registry, kHkeyLocalMachine, kKey, "Number", out));
  EXPECT_EQ(out, "AB");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ReadRegistryStringTest, FailuresLeaveTheOutputAlone) {
  registry.PutString(kHkeyLocalMachine, kKey, "Present", "x");
  registry.CreateKey(kHkeyLocalMachine, "Software\\Empty");
  registry.DenyAccess(kHkeyLocalMachine, "Software\\Locked", kKeyQueryValue);
  std::string out = "before";
  EXPECT_FALSE(ReadRegistryString(registry, kHkeyLocalMachine, "Software\\Missing", "", out));
  EXPECT_FALSE(ReadRegistryString(registry, kHkeyLocalMachine, kKey, "Absent", out));
  EXPECT_FALSE(ReadRegistryString(registry, kHkeyLocalMachine, "Software\\Empty", "", out));
  EXPECT_FALSE(ReadRegistryString(registry, kHkeyLocalMachine, "Software\\Locked", "", out));
  EXPECT_EQ(out, "before");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

// A registry that hands back fewer bytes than the buffer holds and fills the rest with noise.
class NoisyRegistry : public MemoryRegistry {
 public:
  long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    const std::uint32_t capacity = data ? *size : 0;
    const long result = MemoryRegistry::QueryValue(key, valueName, type, data, size);
    if (data && result == kErrorSuccess) std::memset(data + *size, 'Z', capacity - *size);
    return result;
  }
};

TEST(ReadRegistryStringNoiseTest, NeverReadsPastTheReturnedLength) {
  NoisyRegistry registry;
  registry.PutString(kHkeyClassesRoot, kHttpOpenCommandKey, "", "b.exe", false);
  std::string out;
  EXPECT_TRUE(ReadRegistryString(registry, kHkeyClassesRoot, kHttpOpenCommandKey, "", out));
  EXPECT_EQ(out, "b.exe");
}

class RegisteredBrowserLauncherTest : public testing::Test {
 protected:
  MemoryRegistry registry;
  RecordingProcessLauncher processes;
  RegisteredBrowserLauncher launcher{registry, processes};
};

TEST_F(RegisteredBrowserLauncherTest, StartsTheRegisteredBrowserWithTheUrl) {
  registry.PutString(kHkeyClassesRoot, "http\\shell\\open\\command", "",
                     "\"C:\\Program Files\\Browser\\browser.exe\" -osint -url \"%1\"");
  launcher.LaunchBrowser(kUrl);
  ASSERT_EQ(processes.calls.size(), 1u);
  EXPECT_EQ(processes.calls[0].program, "C:\\Program Files\\Browser\\browser.exe");
  EXPECT_EQ(processes.calls[0].arguments, "-osint -url " + kUrl);
}

TEST_F(RegisteredBrowserLauncherTest, NothingIsLaunchedWithoutABrowserOrAUrl) {
  launcher.LaunchBrowser(kUrl);  // nothing registered
  launcher.LaunchBrowser(kExeUrl);
  registry.PutString(kHkeyClassesRoot, kHttpOpenCommandKey, "", "browser.Exe \"%1\"");
  launcher.LaunchBrowser(kUrl);  // no recognised extension
  EXPECT_TRUE(processes.calls.empty());

  registry.PutString(kHkeyClassesRoot, kHttpOpenCommandKey, "", "browser.exe \"%1\"");
  launcher.LaunchBrowser("");
  EXPECT_TRUE(processes.calls.empty()) << "an empty URL opens no browser";

  registry.DenyAccess(kHkeyClassesRoot, kHttpOpenCommandKey, kKeyQueryValue);
  launcher.LaunchBrowser(kExeUrl);
  EXPECT_TRUE(processes.calls.empty()) << "an unreadable registration launches nothing";
}

TEST(XdgBrowserLauncherTest, PassesTheUrlAsItsOneArgument) {
  RecordingProcessLauncher processes;
  XdgBrowserLauncher launcher(processes);
  launcher.LaunchBrowser("http://printer/a b;c");
  launcher.LaunchBrowser("");
  ASSERT_EQ(processes.calls.size(), 1u);
  EXPECT_EQ(processes.calls[0].program, "xdg-open");
  EXPECT_EQ(processes.calls[0].arguments, "http://printer/a b;c");
}

}  // namespace
}  // namespace pradex
