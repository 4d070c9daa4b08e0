// The window logic driving the real search engine over the in-memory machine.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "discovery/monitor_port_resolver.h"
#include "discovery/port_cache.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/queue_message_poster.h"
#include "search/device_search.h"
#include "search/proxy_settings_guard.h"
#include "tests/fakes/fake_http_client.h"
#include "tests/fakes/memory_device_io.h"
#include "tests/fakes/memory_spooler.h"
#include "tests/ui/fake_rich_text.h"
#include "tests/ui/ui_fakes.h"
#include "ui/device_search_driver.h"
#include "ui/pradex_dialog.h"

namespace pradex {
namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

constexpr WindowHandle kWindow = 0x7007;
const std::string kOfficeUrl = "http://127.0.0.1/?type=supplies";
const std::string kHallUrl = "http://127.0.0.2/tamrin/device/this.LCDispatcher";

class DialogWithSearchTest : public testing::Test {
 protected:
  DialogWithSearchTest() {
    PutFinnishMessages(strings);
    AddPrinter("Office", "Tamrin BrimLine 4200", "IP_1", "127.0.0.1");
    AddPrinter("Hall", "Tamrin GlowMark 90", "IP_2", "127.0.0.2");
  }

  void AddPrinter(const std::string& name, const std::string& driverName, const std::string& port,
                  const std::string& address) {
    spooler.AddPort(port);
    spooler.AddPrinter(PrinterInfo{std::nullopt, name, port, driverName});
    registry.PutString(kHkeyLocalMachine, std::string(kSystemMonitorPortsKey) + "\\" + port,
                       "IPAddress", address);
  }

  // Hands the window what the engine posts until the window is idle with nothing queued.
  bool PumpUntilIdle(std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      const auto message = poster.WaitForMessage(20ms);
      if (message) {
        EXPECT_EQ(message->window, kWindow);
        dialog.HandleSearchMessage(message->message, message->wParam, message->lParam);
      } else if (dialog.IsIdle()) {
        return true;
      }
    }
    return false;
  }

  // The machine, ready before the search engine reads the user's proxy settings.
  struct Machine {
    Machine() { registry.CreateKey(kHkeyCurrentUser, kInternetSettingsKey); }
    MemorySpooler spooler;
    MemoryRegistry registry;
    MemoryDeviceIo deviceIo;
    FakeHttpClient http;
    QueueMessagePoster poster;
  };
  Machine machine;
  MemorySpooler& spooler = machine.spooler;
  MemoryRegistry& registry = machine.registry;
  FakeHttpClient& http = machine.http;
  QueueMessagePoster& poster = machine.poster;
  MonitorPortResolver ports{DiscoveryPlatform{machine.spooler, machine.registry, machine.deviceIo}};
  SearchPlatform platform{machine.spooler, machine.registry, machine.http, machine.poster, ports};
  DeviceSearch search{platform};
  DeviceSearchDriver driver{search};

  FakeDialogView view;
  FakeRichText listControl;
  FakeBrowserLauncher browser;
  FakeStrings strings;
  PradexDialog dialog{view, listControl, driver, browser, strings, poster};
};

TEST_F(DialogWithSearchTest, ListsTheAnsweringDevicesAndOpensTheirPages) {
  http.SetBehaviour(kHallUrl, FakeHttpClient::Behaviour::Answer(200, 30ms));
  dialog.OnInitDialog(kWindow);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(dialog.List().Names(), (Names{"Hall", "Office"}));
  EXPECT_EQ(listControl.Text(), "\r\n" + strings.texts[504] + "\r\n\r\nHall\r\nOffice\r\n");

  const auto links = listControl.Links();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[1].second, "Office");
  dialog.OnLinkNotify(LinkMouseEvent::kLeftButtonDown, links[1].first);
  dialog.OnLinkNotify(LinkMouseEvent::kLeftButtonDoubleClick, links[1].first);
  EXPECT_EQ(browser.launched, Names{kOfficeUrl});
}

TEST_F(DialogWithSearchTest, RefreshRightAfterStopEndsWithTheNewSearchAlone) {
  // The first search hangs on one device and has the other answered.
  http.SetBehaviour(kOfficeUrl, FakeHttpClient::Behaviour::Hold());
  dialog.OnInitDialog(kWindow);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (dialog.List().Names().empty() && std::chrono::steady_clock::now() < deadline) {
    const auto message = poster.WaitForMessage(20ms);
    if (message) dialog.HandleSearchMessage(message->message, message->wParam, message->lParam);
  }
  ASSERT_EQ(dialog.List().Names(), Names{"Hall"});
  ASSERT_FALSE(dialog.IsIdle());

  dialog.OnCommand(kStopButtonId);
  http.SetBehaviour(kOfficeUrl, FakeHttpClient::Behaviour::Answer(200));
  http.SetBehaviour(kHallUrl, FakeHttpClient::Behaviour::Fail(kInternetErrorCannotConnect));
  dialog.OnCommand(kRefreshButtonId);
  ASSERT_TRUE(PumpUntilIdle());
  EXPECT_EQ(dialog.List().Names(), Names{"Office"});
  EXPECT_EQ(dialog.OutstandingProbes(), 0);
  EXPECT_EQ(listControl.Text(), "\r\n" + strings.texts[504] + "\r\n\r\nOffice\r\n");
}

}  // namespace
}  // namespace pradex
