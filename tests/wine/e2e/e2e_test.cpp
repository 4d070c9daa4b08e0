// The whole program under Wine: Pradex.exe started as a user starts it, on a machine whose
// registry holds printers, ports and TCP/IP monitor entries that lead to loopback devices, a
// printer whose port is named by its URL, and WSD printers whose port monitor (a stand-in:
// Wine has none) gives their device identity, one with a device node naming its page, and
// worked from this process through its windows as a user would: reading the list, clicking
// buttons and device names, opening the About box, closing. The command registered for http
// links is a recorder that writes down what the program asked it to open.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "discovery/monitor_port_resolver.h"
#include "discovery/port_cache.h"
#include "platform/win32/win32_device_io.h"
#include "platform/win32/win32_modern_ports.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_spooler.h"
#include "search/printer_plan.h"
#include "tests/win32/loopback_http_server.h"
#include "tests/wine/e2e/pradex_process.h"
#include "tests/wine/e2e/registry_setup.h"
#include "tests/wine/wine_test_support.h"
#include "ui/dialog_view.h"

namespace pradex::winetest {
namespace {

using pradex::testing::ClosedLoopbackPort;
using pradex::testing::LoopbackHttpServer;

constexpr int kAppExitCommand = 57602;
constexpr int kAboutVersionId = 20004;
constexpr int kAboutProductId = 20005;
constexpr int kAboutCopyrightId = 20000;
constexpr int kWindowTimeoutMs = 30000;
constexpr int kSearchTimeoutMs = 20000;
constexpr ULONGLONG kProbeTimeLimitMs = 7000;

constexpr const char* kSuppliesPath = "/?type=supplies";
constexpr const char* kDispatcherPath = "/tamrin/device/this.LCDispatcher";

// The user's proxy bypass list: three entries.
const std::string kProxyOverride = "<local>;127.0.0.1;localhost";

// Printer names in the ANSI code page (1252).
const std::string kVarit = "V\xe4rit BrimLine";
const std::string kZeta = "Zeta BrimLine";
const std::string kAlpha = "alpha GlowMark";
const std::string kMissing = "Kadonnut GlowMark";
const std::string kQuiet = "Hiljainen BrimLine";
const std::string kOtherMaker = "Muu tulostin";
const std::string kIpp = "IPP-tulostin BrimLine";
const std::string kWsd = "WSD-tulostin GlowMark";
const std::string kWsdUnknown = "WSD ilman laitetta GlowMark";
constexpr const char* kWsdPort = "WSD-3f9a6c2e-8b1d-4f70-a2c5-6e4b9d8f1a37";
constexpr const char* kWsdUnknownPort = "WSD-7c2d5e8f-1a4b-4c6d-9e0f-2b3a4c5d6e7f";
// The WSD devices' identities. The port names do not carry them: on Windows they need not.
constexpr const char* kWsdDeviceId = "urn:uuid:a1c3e5f7-2b4d-4f6a-8c0e-1d3f5a7b9c2e";
constexpr const char* kWsdUnknownDeviceId = "urn:uuid:b2d4f6a8-3c5e-4a7b-9d1f-2e4a6c8e0a3f";
const std::string kExeter = "Exeter BrimLine";

// A legal host name that holds the extension a browser command is split at. It resolves
// nowhere: only a proxy can answer for it.
constexpr const char* kExeterHost = "lp1.exeter.test";

// Message n of the block in use as the program's own string table gives it, converted by the
// system into this process's ANSI code page.
std::string Message(int n) {
  static const HMODULE module =
      LoadLibraryExA(Paths().pradex.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  char buffer[1024] = {};
  const int length = LoadStringA(module, static_cast<UINT>(500 + n), buffer, sizeof(buffer));
  return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string Host(std::uint16_t port) {
  return "127.0.0.1:" + std::to_string(port);
}

// The answering devices' names under message n, in byte order: upper case before lower case.
std::string Listed(int message) {
  return ListText(Message(message), {kIpp, kVarit, kWsd, kZeta, kAlpha});
}

// Everything one run of the suite sets up, in the order it is taken down again.
struct TestBed {
  LoopbackHttpServer answering{200};
  LoopbackHttpServer notFound{404};
  LoopbackHttpServer quiet{0};     // accepts and never answers
  LoopbackHttpServer modern{200};  // the devices behind the WSD and IPP ports
  std::uint16_t closedPort = ClosedLoopbackPort();
  std::unique_ptr<WsdDeviceNode> wsdNode;
  std::vector<TestPrinter> printers;
  std::vector<SavedValue> saved;
  std::string browserLaunch;  // what the recorder writes
  PradexProcess pradex;
  HWND main = nullptr;

  const TestPrinter& Printer(const std::string& name) const {
    return *std::find_if(printers.begin(), printers.end(),
                         [&](const TestPrinter& printer) { return printer.name == name; });
  }
};

TestBed* testBed = nullptr;

HWND StartAndWaitForIdle(PradexProcess& process, const std::string& expectedList) {
  if (!process.Start(Paths().pradex)) return nullptr;
  const HWND main = process.WaitForDialog("Pradex", kWindowTimeoutMs);
  if (main == nullptr) return nullptr;
  const MainWindowProbe probe(main);
  WaitFor([&] { return probe.Idle() && probe.ListText() == expectedList; }, kSearchTimeoutMs);
  return main;
}

class PradexEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testBed = new TestBed;
    ASSERT_FALSE(Paths().pradex.empty()) << "--pradex=<Pradex.exe> is required";
    ASSERT_FALSE(Paths().recorder.empty()) << "--recorder=<recorder> is required";
    ASSERT_FALSE(Paths().work.empty()) << "--work=<folder> is required";
    TestBed& s = *testBed;
    s.printers = {
        {kZeta, "PRADEX_E2E_ZETA", "Tamrin BrimLine 3100 PCL", Host(s.answering.port())},
        {kAlpha, "PRADEX_E2E_ALPHA", "Tamrin GlowMark 5 PS", Host(s.answering.port())},
        {kVarit, "PRADEX_E2E_VARIT", "TAMRIN BRIMLINE 7", Host(s.answering.port())},
        {kMissing, "PRADEX_E2E_MISSING", "Tamrin GlowMark 9 PS", Host(s.notFound.port())},
        {kQuiet, "PRADEX_E2E_QUIET", "Tamrin BrimLine 2 PCL", Host(s.closedPort)},
        {kOtherMaker, "PRADEX_E2E_OTHER", "Generic Text Only", Host(s.answering.port())},
        // Named by its URL: a device server on this machine keeps its port in the address.
        {kIpp, s.modern.Url("/ipp/print"), "Tamrin BrimLine 4 PCL", ""},
        {kWsd, kWsdPort, "Tamrin GlowMark 6 PS", "", false},
        {kWsdUnknown, kWsdUnknownPort, "Tamrin GlowMark 7 PS", "", false},
    };
    ASSERT_FALSE(Paths().wsdMonitor.empty()) << "--wsd-monitor=<port monitor DLL> is required";
    RemoveWsdMonitor();  // left over from an interrupted run
    ASSERT_TRUE(RegisterWsdMonitor(Paths().wsdMonitor));
    ASSERT_TRUE(AddWsdPort(kWsdPort, kWsdDeviceId));
    // Its device announced itself once, but this computer keeps no node of it.
    ASSERT_TRUE(AddWsdPort(kWsdUnknownPort, kWsdUnknownDeviceId));
    const std::string id = kWsdDeviceId;
    const std::string page = s.modern.Url("/");
    s.wsdNode = std::make_unique<WsdDeviceNode>(L"ROOT\\PRADEXE2E\\0000",
                                                std::wstring(id.begin(), id.end()),
                                                std::wstring(page.begin(), page.end()));
    ASSERT_EQ(s.wsdNode->Error(), 0u) << "the WSD device node could not be made";
    s.saved = {
        SavedValue(HKEY_LOCAL_MACHINE, kHttpCommandKey, ""),
        SavedValue(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride"),
    };
    for (const TestPrinter& printer : s.printers) {
      RemovePrinter(printer);  // left over from an interrupted run
      InstallPrinter(printer);
    }
    ASSERT_TRUE(
        SetText(HKEY_LOCAL_MACHINE, kHttpCommandKey, "", "\"" + Paths().recorder + "\" \"%1\""));
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride", kProxyOverride));
    s.browserLaunch = Paths().work + "\\browser-launch.txt";
    DeleteFileA(s.browserLaunch.c_str());
    SetEnvironmentVariableA("PRADEX_RECORDER_OUTPUT", s.browserLaunch.c_str());

    s.main = StartAndWaitForIdle(s.pradex, Listed(4));
  }

  static void TearDownTestSuite() {
    if (testBed == nullptr) return;
    std::unique_ptr<TestBed> ending(testBed);
    testBed = nullptr;
    ending->pradex.End();
    for (const TestPrinter& printer : ending->printers) RemovePrinter(printer);
    RemoveWsdMonitor();
    for (const SavedValue& value : ending->saved) value.Restore();
  }

  void SetUp() override { ASSERT_NE(testBed->main, nullptr) << "Pradex did not come up"; }

  TestBed& s = *testBed;
  MainWindowProbe probe{testBed->main};
};

TEST_F(PradexEndToEnd, FirstSearchListsTheAnsweringDevicesInByteOrder) {
  ASSERT_TRUE(s.pradex.Running());
  // Upper case before lower case, byte by byte; the device that answered 404, the one behind
  // a closed port, the printer of another maker and the WSD printer whose device this computer
  // does not know are not listed.
  EXPECT_EQ(probe.ListText(), Listed(4));
  EXPECT_TRUE(probe.Idle());
  EXPECT_TRUE(TakeScreenshot("pradex-after-search"));

  // Each printer of the two families was asked once for its device page, with the program's
  // user agent; the printer of another maker never.
  const std::vector<std::string> requests = s.answering.Requests();
  ASSERT_EQ(requests.size(), 3u);
  const auto count = [&](const std::string& path) {
    return std::count_if(requests.begin(), requests.end(), [&](const std::string& head) {
      return head.rfind("GET " + path + " HTTP/1.", 0) == 0;
    });
  };
  EXPECT_EQ(count(kSuppliesPath), 2);
  EXPECT_EQ(count(kDispatcherPath), 1);
  for (const std::string& head : requests) {
    EXPECT_NE((head + "\r\n").find("\r\nUser-Agent: InetSearch\r\n"), std::string::npos) << head;
  }
  EXPECT_EQ(s.notFound.Requests().size(), 1u);

  // The printer on the URL port and the WSD printer, each once, at the page of its family.
  const std::vector<std::string> modern = s.modern.Requests();
  ASSERT_EQ(modern.size(), 2u);
  EXPECT_EQ(std::count_if(modern.begin(), modern.end(),
                          [](const std::string& head) {
                            return head.rfind(std::string("GET ") + kSuppliesPath + " HTTP/1.",
                                              0) == 0;
                          }),
            1);
  EXPECT_EQ(std::count_if(modern.begin(), modern.end(),
                          [](const std::string& head) {
                            return head.rfind(std::string("GET ") + kDispatcherPath + " HTTP/1.",
                                              0) == 0;
                          }),
            1);
}

// The window shows no reasons; the search's notes do, as Pradex.exe's search would make them on
// this machine: through the spooler, the port monitor's Xcv answers and SetupDi.
TEST_F(PradexEndToEnd, WsdPrinterWithoutDeviceNodeIsSkippedWithItsReason) {
  Win32Spooler spooler;
  Win32Registry registry;
  Win32DeviceIo deviceIo;
  SpoolerXcvChannel xcv;
  Win32ModernPorts modernPorts(xcv);
  MonitorPortResolver ports(DiscoveryPlatform{spooler, registry, deviceIo, &modernPorts});
  std::vector<PrinterInfo> printers;
  ASSERT_EQ(spooler.EnumPrinters(printers), 0);
  std::map<std::string, SearchTrace::PrinterNote> notes;
  ClearPortCache();
  for (const PrinterInfo& printer : printers) {
    const SearchTrace::PrinterNote note = PlanPrinter(ports, printer).note;
    notes[note.printerName] = note;
  }
  ClearPortCache();
  ASSERT_EQ(notes.count(kWsdUnknown), 1u);
  EXPECT_EQ(notes[kWsdUnknown].verdict, SearchTrace::PrinterVerdict::kPortNotResolved);
  EXPECT_EQ(notes[kWsdUnknown].portProblem,
            Phrase::Literal("WSD port whose device is not known to this computer"));
  EXPECT_EQ(notes[kWsd].url, s.modern.Url(kDispatcherPath));
  EXPECT_TRUE(notes[kWsd].portProblem.empty());
  EXPECT_EQ(notes[kIpp].url, s.modern.Url(kSuppliesPath));
}

TEST_F(PradexEndToEnd, ShowsTheFinnishTextsInTheAnsiCodePage) {
  EXPECT_EQ(WindowText(s.main), "Pradex");
  EXPECT_EQ(probe.Text(kStopButtonId), "Pys\xe4yt\xe4");
  EXPECT_EQ(probe.Text(kRefreshButtonId), "P\xe4ivit\xe4");
  EXPECT_EQ(probe.Text(kCloseButtonId), "Sulje");
  EXPECT_EQ(probe.Text(kProductLabelId), "Pradex ");
  EXPECT_TRUE(probe.Enabled(kCloseButtonId));
  EXPECT_FALSE(IsWindowVisible(probe.Item(kBitmapPlaceholderId)));
}

TEST_F(PradexEndToEnd, ClickOnADeviceNameOpensItsPageInTheRegisteredBrowser) {
  const struct {
    const std::string& name;
    const char* path;
    const LoopbackHttpServer& device;
  } clicks[] = {{kVarit, kSuppliesPath, s.answering},
                {kAlpha, kDispatcherPath, s.answering},
                {kIpp, kSuppliesPath, s.modern},
                {kWsd, kDispatcherPath, s.modern}};
  for (const auto& click : clicks) {
    SCOPED_TRACE(click.name);
    DeleteFileA(s.browserLaunch.c_str());
    ASSERT_TRUE(probe.ClickListLine(click.name)) << probe.ListText();
    // The recorder writes how its window was to be shown, then its command line. The file can
    // be there a moment before it can be read (under Wine, right after the recorder's rename).
    std::string launch;
    ASSERT_TRUE(WaitFor(
        [&] {
          launch = ReadFileText(s.browserLaunch);
          return !launch.empty();
        },
        15000))
        << "no browser was started";
    const std::string url = click.device.Url(click.path);
    EXPECT_EQ(launch.substr(0, 2), "1\n") << launch;  // SW_SHOWNORMAL
    ASSERT_GE(launch.size(), url.size());
    EXPECT_EQ(launch.substr(launch.size() - url.size()), url) << launch;
    EXPECT_NE(launch.find(Paths().recorder.substr(Paths().recorder.find_last_of('\\') + 1)),
              std::string::npos)
        << launch;
  }
  // The click placed no caret and left no selection: it is collapsed at the start.
  EXPECT_EQ(SendMessageA(probe.Item(kDeviceListId), EM_GETSEL, 0, 0), 0);
}

// The path with its extension in capitals, as some browsers register themselves; the system
// finds the file whatever the case.
std::string WithCapitalExtension(std::string path) {
  const std::size_t dot = path.find_last_of('.');
  for (std::size_t i = dot; i < path.size(); ++i)
    path[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[i])));
  return path;
}

TEST_F(PradexEndToEnd, ClickOpensThePageWhateverItsHostNameOrTheRegisteredCommandsSpelling) {
  // A printer whose device has a host name holding ".exe". A program of its own is started with
  // a proxy of the test's (WinInet follows http_proxy) that answers for that name, so the name
  // is never looked up; the loopback devices are on the bypass list.
  LoopbackHttpServer proxy{200};
  const TestPrinter exeter{kExeter, "PRADEX_E2E_EXETER", "Tamrin BrimLine 410 PCL", kExeterHost};
  const std::string registered = "\"" + Paths().recorder + "\" \"%1\"";
  struct Restore {
    const TestPrinter& printer;
    const std::string& command;
    ~Restore() {
      RemovePrinter(printer);
      SetText(HKEY_LOCAL_MACHINE, kHttpCommandKey, "", command);
    }
  } restore{exeter, registered};
  RemovePrinter(exeter);
  InstallPrinter(exeter);

  PradexProcess pradex;
  SetEnvironmentVariableA("http_proxy", ("http://" + Host(proxy.port())).c_str());
  const bool started = pradex.Start(Paths().pradex);
  SetEnvironmentVariableA("http_proxy", nullptr);
  ASSERT_TRUE(started);
  const HWND main = pradex.WaitForDialog("Pradex", kWindowTimeoutMs);
  ASSERT_NE(main, nullptr);
  const MainWindowProbe window(main);
  ASSERT_TRUE(WaitFor(
      [&] {
        return window.Idle() &&
               window.ListText().find("\r\n" + kExeter + "\r\n") != std::string::npos;
      },
      kSearchTimeoutMs))
      << window.ListText();
  const std::string exeterUrl = std::string("http://") + kExeterHost + kSuppliesPath;
  // The proxy was asked for the device page by its name.
  const std::vector<std::string> proxied = proxy.Requests();
  EXPECT_EQ(std::count_if(
                proxied.begin(), proxied.end(),
                [](const std::string& head) {
                  return (head + "\r\n").find(std::string("\r\nHost: ") + kExeterHost + "\r\n") !=
                         std::string::npos;
                }),
            1);

  const std::string capitals = WithCapitalExtension(Paths().recorder);
  const struct {
    const char* what;
    std::string command;
    const std::string& name;
    std::string url;
  } clicks[] = {
      {"quoted program in capitals", "\"" + capitals + "\" \"%1\"", kExeter, exeterUrl},
      {"bare %1", Paths().recorder + " %1", kVarit, s.answering.Url(kSuppliesPath)},
      {"bare %1, program in capitals", capitals + " %1", kExeter, exeterUrl},
  };
  for (const auto& click : clicks) {
    SCOPED_TRACE(click.what);
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kHttpCommandKey, "", click.command));
    DeleteFileA(s.browserLaunch.c_str());
    ASSERT_TRUE(window.ClickListLine(click.name)) << window.ListText();
    ASSERT_TRUE(WaitFor(
        [&] { return GetFileAttributesA(s.browserLaunch.c_str()) != INVALID_FILE_ATTRIBUTES; },
        15000))
        << "no browser was started";
    // The URL whole, as an argument of its own, and no placeholder left over.
    const std::string launch = ReadFileText(s.browserLaunch);
    ASSERT_GT(launch.size(), click.url.size());
    EXPECT_EQ(launch.substr(launch.size() - click.url.size() - 1), " " + click.url) << launch;
    EXPECT_EQ(launch.find("%1"), std::string::npos) << launch;
    EXPECT_TRUE(pradex.OtherWindows(main).empty()) << "the click opened a box";
  }
}

TEST_F(PradexEndToEnd, RefreshSearchesAgainAndStopEndsTheSearchKeepingTheDevices) {
  const std::string found = Listed(4);
  // One device now accepts the request and never answers, so the search cannot end by itself
  // before that probe's time limit.
  SetPrinterHost(s.Printer(kQuiet), Host(s.quiet.port()));
  const ULONGLONG started = GetTickCount64();
  probe.ClickButton(kRefreshButtonId);
  EXPECT_TRUE(probe.Enabled(kStopButtonId));
  EXPECT_FALSE(probe.Enabled(kRefreshButtonId));
  EXPECT_TRUE(probe.Enabled(kCloseButtonId));

  // The searching text, and below it the devices as they answer.
  ASSERT_TRUE(s.quiet.WaitForRequests(1, 5000));
  const std::string searching = Listed(2);
  ASSERT_TRUE(WaitFor([&] { return probe.ListText() == searching; }, 5000)) << probe.ListText();
  EXPECT_TRUE(TakeScreenshot("pradex-searching"));
  ASSERT_TRUE(probe.Enabled(kStopButtonId));

  probe.ClickButton(kStopButtonId);
  EXPECT_LT(GetTickCount64() - started, kProbeTimeLimitMs) << "the search ended by itself";
  EXPECT_EQ(probe.ListText(), found);
  EXPECT_TRUE(probe.Idle());
  s.quiet.DropConnections();

  // The next search, after the stopped one, runs to its end.
  SetPrinterHost(s.Printer(kQuiet), Host(s.closedPort));
  probe.ClickButton(kRefreshButtonId);
  EXPECT_TRUE(WaitFor([&] { return probe.Idle() && probe.ListText() == found; }, kSearchTimeoutMs))
      << probe.ListText();
}

TEST_F(PradexEndToEnd, AboutBoxShowsTheVersionOfTheProgramFile) {
  PostMessageA(s.main, WM_SYSCOMMAND, kAboutCommandId, 0);
  const HWND about = s.pradex.WaitForDialog("About Pradex", 10000);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(about, kAboutVersionId)), "Versio 1.3.4");
  EXPECT_EQ(WindowText(GetDlgItem(about, kAboutProductId)), "Pradex ");
  EXPECT_EQ(WindowText(GetDlgItem(about, IDOK)), "OK");
  EXPECT_EQ(WindowText(GetDlgItem(about, kAboutCopyrightId)), Message(13));
  EXPECT_EQ(Message(13).rfind("Copyright \xa9 ", 0), 0u) << Message(13);
  // Modal to the main window.
  EXPECT_EQ(GetWindow(about, GW_OWNER), s.main);
  EXPECT_FALSE(IsWindowEnabled(s.main));
  EXPECT_TRUE(TakeScreenshot("pradex-about"));

  SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }, 5000));
  EXPECT_TRUE(IsWindowEnabled(s.main));
}

TEST_F(PradexEndToEnd, CloseEndsTheProgramAndLeavesTheProxyBypassListAsItWas) {
  probe.ClickButton(kCloseButtonId);
  DWORD exitCode = 1;
  ASSERT_TRUE(s.pradex.WaitForExit(15000, exitCode));
  EXPECT_EQ(exitCode, 0u);
  DWORD type = REG_NONE;
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride", &type),
            kProxyOverride);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(PradexEndToEnd, CloseBoxEndsTheModalRun) {
  PradexProcess pradex;
  const HWND main = StartAndWaitForIdle(pradex, Listed(4));
  ASSERT_NE(main, nullptr);
  // The close box: the dialog manager turns it into IDCANCEL.
  PostMessageA(main, WM_CLOSE, 0, 0);
  DWORD exitCode = 1;
  ASSERT_TRUE(pradex.WaitForExit(15000, exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride"), kProxyOverride);
}

TEST_F(PradexEndToEnd, ApplicationExitCommandEndsTheProcessWithCodeZero) {
  PradexProcess pradex;
  const HWND main = StartAndWaitForIdle(pradex, Listed(4));
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_COMMAND, kAppExitCommand, 0);
  DWORD exitCode = 1;
  ASSERT_TRUE(pradex.WaitForExit(15000, exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(IsWindow(main));
}

}  // namespace
}  // namespace pradex::winetest
