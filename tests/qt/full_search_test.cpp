// The whole program on Qt: the real search engine over a private cupsd whose queues point at
// devices of the loopback emulator, listening on port 80 of addresses of their own, since the
// device URLs carry no port.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tests/emulator/device_emulator.h"
#include "tests/qt/qt_test_support.h"
#include "tests/support/loopback_port80.h"
#include "tests/support/private_cupsd.h"
#include "ui/device_search_engine.h"
#include "ui/linux/linux_platform.h"

namespace pradex {
namespace {

using emulator::Behaviour;
using emulator::DeviceEmulator;
using emulator::DeviceSpec;
using qttest::LinkRun;
using qttest::Links;
using qttest::Paragraphs;
using qttest::PointOnLine;
using Lines = std::vector<std::string>;

class FullSearchTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const auto why = testsupport::Port80Unavailable("127.0.80.1")) GTEST_SKIP() << *why;
    cupsd = std::make_unique<testsupport::PrivateCupsd>(PRADEX_CUPSD_PRIVATE, scratch.Sub("cupsd"));
    if (const char* old = getenv("CUPS_SERVER")) previousServer = old;
    setenv("CUPS_SERVER", cupsd->Server().c_str(), 1);
  }
  void TearDown() override {
    window.reset();
    if (cupsd) setenv("CUPS_SERVER", previousServer.c_str(), 1);
  }

  // A queue with a driver (PPD) of the CUPS tests.
  void AddQueue(const std::string& name, const std::string& uri, const std::string& ppd) {
    ASSERT_EQ(cupsd->AddQueue(name, uri, std::string(PRADEX_TEST_PPD_DIR) + "/" + ppd), "");
  }

  // A device of the emulator on port 80 of `address`.
  void AddDevice(const std::string& address, Behaviour behaviour, int status = 200,
                 int delayMs = 0) {
    DeviceSpec spec;
    spec.address = address;
    spec.port = 80;
    spec.behaviour = behaviour;
    spec.status = status;
    spec.delayMs = delayMs;
    devices.AddDevice(spec);
  }

  void MakeWindow() {
    window = std::make_unique<PradexWindow>(
        platform.utf8Strings, platform.versions, browser,
        [this](MessagePoster& poster) -> std::unique_ptr<SearchDriver> {
          return std::make_unique<DeviceSearchEngine>(platform.Search(poster));
        });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  Lines List() { return Paragraphs(*window->List()); }
  std::string Message(int n) { return LoadMessage(platform.utf8Strings, n); }
  bool WaitFor(const std::function<bool()>& condition, int ms = 15000) {
    return QTest::qWaitFor(condition, ms);
  }

  testsupport::ScratchDir scratch;
  std::unique_ptr<testsupport::PrivateCupsd> cupsd;
  std::string previousServer;
  DeviceEmulator devices;
  LinuxPlatform platform;
  FakeBrowserLauncher browser;
  std::unique_ptr<PradexWindow> window;
};

TEST_F(FullSearchTest, ListsTheAnsweringDevicesAsLinksAndOpensTheClickedOne) {
  AddDevice("127.0.80.2", Behaviour::kAnswer);
  AddDevice("127.0.80.3", Behaviour::kAnswer, 200, 300);
  AddDevice("127.0.80.4", Behaviour::kAnswer);
  AddDevice("127.0.80.5", Behaviour::kAnswer, 404);
  AddDevice("127.0.80.6", Behaviour::kAnswer);
  AddQueue("toimisto", "ipp://127.0.80.2:631/ipp/print", "brimline-300.ppd");
  AddQueue("Käytävä", "socket://127.0.80.3:9100", "glowmark-5000.ppd");
  AddQueue("Aula", "lpd://127.0.80.4/queue", "brimline-300.ppd");
  AddQueue("Varasto", "socket://127.0.80.5", "glowmark-5000.ppd");
  AddQueue("Muu", "socket://127.0.80.6", "otherco-laser.ppd");  // another maker

  MakeWindow();
  ASSERT_TRUE(WaitFor([&] { return window->Logic().IsIdle(); })) << testing::PrintToString(List());

  // Byte order: upper case first; the 404 device and the other maker's printer are not listed.
  EXPECT_EQ(List(), (Lines{"", Message(4), "", "Aula", "Käytävä", "toimisto", ""}));
  EXPECT_EQ(
      Links(*window->List()),
      (std::vector<LinkRun>{{"Aula", "Aula"}, {"Käytävä", "Käytävä"}, {"toimisto", "toimisto"}}));
  EXPECT_FALSE(window->Button(kStopButtonId)->isEnabled());
  EXPECT_TRUE(window->Button(kRefreshButtonId)->isEnabled());
  EXPECT_TRUE(window->Button(kRefreshButtonId)->isDefault());

  std::vector<std::string> probed;
  for (const auto& request : devices.Requests()) {
    probed.push_back(request.address + request.path);
    EXPECT_EQ(request.userAgent, "InetSearch");
  }
  std::sort(probed.begin(), probed.end());
  EXPECT_EQ(probed,
            (Lines{"127.0.80.2/?type=supplies", "127.0.80.3/tamrin/device/this.LCDispatcher",
                   "127.0.80.4/?type=supplies", "127.0.80.5/tamrin/device/this.LCDispatcher"}));

  const std::string shot = qttest::SaveScreenshot(window->grab().toImage(), "pradex-window");
  RecordProperty("screenshot", shot);

  QTest::mouseClick(window->List()->viewport(), Qt::LeftButton, {},
                    PointOnLine(*window->List(), "Käytävä"));
  QTest::mouseClick(window->List()->viewport(), Qt::LeftButton, {},
                    PointOnLine(*window->List(), "toimisto"));
  EXPECT_EQ(browser.launched, (Lines{"http://127.0.80.3/tamrin/device/this.LCDispatcher",
                                     "http://127.0.80.2/?type=supplies"}));
}

TEST_F(FullSearchTest, StopRefreshAndCloseWhileADeviceNeverAnswers) {
  AddDevice("127.0.80.7", Behaviour::kHang);
  AddDevice("127.0.80.8", Behaviour::kAnswer);
  AddQueue("Hidas", "socket://127.0.80.7", "brimline-300.ppd");
  AddQueue("Nopea", "socket://127.0.80.8", "brimline-300.ppd");

  MakeWindow();
  const Lines searchingWithDevice{"", Message(2), "", "Nopea", ""};
  ASSERT_TRUE(WaitFor([&] { return List() == searchingWithDevice; }))
      << testing::PrintToString(List());
  EXPECT_FALSE(window->Logic().IsIdle()) << "the silent device keeps the search going";

  QTest::mouseClick(window->Button(kStopButtonId), Qt::LeftButton);
  EXPECT_EQ(List(), (Lines{"", Message(4), "", "Nopea", ""}));
  EXPECT_FALSE(window->Button(kStopButtonId)->isEnabled());
  EXPECT_TRUE(window->Button(kRefreshButtonId)->isEnabled());

  QTest::mouseClick(window->Button(kRefreshButtonId), Qt::LeftButton);
  EXPECT_EQ(List(), (Lines{"", Message(2), "", ""}));
  EXPECT_TRUE(window->Button(kStopButtonId)->isEnabled());
  EXPECT_FALSE(window->Button(kRefreshButtonId)->isEnabled());
  // The new run starts once the stopped one has ended, and finds the device again.
  ASSERT_TRUE(WaitFor([&] { return List() == searchingWithDevice; }))
      << testing::PrintToString(List());

  QTest::mouseClick(window->Button(kCloseButtonId), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }, 5000));
  EXPECT_EQ(window->result(), PradexWindow::kQuitResult);
  // The silent probe is cut, not waited for (its time limit is 7 s).
  const auto start = std::chrono::steady_clock::now();
  window.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

}  // namespace
}  // namespace pradex
