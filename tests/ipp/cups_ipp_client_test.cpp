// CupsIppClient against a real IPP Everywhere printer (ippeveprinter) and against loopback
// servers that answer badly, slowly or never.
#include "platform/posix/cups_ipp_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "discovery/device_facts.h"
#include "tests/emulator/device_emulator.h"
#include "tests/support/child_process.h"

namespace pradex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Status = IppAnswer::Status;
using emulator::Behaviour;

IppAnswer Ask(const std::string& uri, Clock::duration limit, std::stop_token stop = {}) {
  return CupsIppClient().GetPrinterAttributes(uri, FactsAttributes(), Clock::now() + limit, stop);
}

std::string Uri(std::uint16_t port) {
  return "ipp://127.0.0.2:" + std::to_string(port) + "/ipp/print";
}

std::string HttpAnswer(const std::string& body, const std::string& type = "application/ipp") {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// ippeveprinter wants a D-Bus system bus for its DNS-SD client even when it registers nothing:
// it gets one of its own. It listens on loopback only.
TEST(CupsIppClientTest, AnIppEverywherePrintersSuppliesAndStateBecomeFacts) {
  const std::string printerProgram = testsupport::FindProgram("ippeveprinter");
  const std::string busProgram = testsupport::FindProgram("dbus-daemon");
  if (printerProgram.empty() || busProgram.empty()) GTEST_SKIP() << "no ippeveprinter or D-Bus";
  testsupport::ScratchDir scratch;
  const std::string bus = scratch.File("bus");
  std::ofstream(scratch.File("bus.conf"))
      << "<busconfig><listen>unix:path=" << bus << "</listen><policy context=\"default\"><allow "
      << "send_destination=\"*\"/><allow receive_sender=\"*\"/></policy></busconfig>";
  testsupport::ChildProcess busDaemon({busProgram, "--nofork", "--config-file=" + bus + ".conf"},
                                      {testsupport::SystemPath()});
  for (int i = 0; i < 500 && !std::filesystem::exists(bus); ++i) std::this_thread::sleep_for(20ms);
  const std::uint16_t port = emulator::DeviceEmulator::ClosedPort("127.0.0.1");
  testsupport::ChildProcess printer({printerProgram, "-r", "off", "-n", "localhost", "-p",
                                     std::to_string(port), "-d", scratch.Sub("spool"), "GlowMark"},
                                    {testsupport::SystemPath(), "HOME=" + scratch.Sub("home"),
                                     "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + bus});
  const std::string uri = FactsUris("127.0.0.1", port, "").at(0);
  for (const auto start = Clock::now(); Ask(uri, 2s).status == Status::kUnreachable;) {
    if (Clock::now() - start > 15s) GTEST_SKIP() << "ippeveprinter did not start";
    std::this_thread::sleep_for(50ms);
  }
  DeviceFacts facts{DeviceFacts::Missing::kNone, "idle", {}, {}, "https://localhost:"};
  facts.supplyInfoUri += std::to_string(port) + "/supplies";
  facts.supplies = {{"Toner Waste Tank", "wasteToner", "", 25, -1, -1, true, false},
                    {"Black Toner", "toner", "#000000", 75, -1, -1, false, false}};
  // ipps: over TLS, with the printer's self-signed certificate.
  for (const std::string& asked : {uri, "ipps" + uri.substr(3)})
    EXPECT_EQ(FactsFromAnswer(Ask(asked, 10s)), facts) << asked;
}

TEST(CupsIppClientTest, EachBadAnswerGetsItsStatusByTheDeadlineOrTheStop) {
  // IPP 2.0 answers, request 1, no attributes: successful-ok and client-error-not-found.
  const std::string answer("\2\0\0\0\0\0\0\1\3", 9), error("\2\0\4\6\0\0\0\1\3", 9);
  const std::vector<std::tuple<std::string, Behaviour, std::string, Status, int>> rows = {
      {"an answer", Behaviour::kAnswer, HttpAnswer(answer), Status::kAnswered, 0},
      {"a 100 first", Behaviour::kAnswer, "HTTP/1.1 100 Continue\r\n\r\n" + HttpAnswer(answer),
       Status::kAnswered, 0},
      {"HTTP 404", Behaviour::kAnswer, "", Status::kNotIpp, 0},
      {"a web page", Behaviour::kAnswer, HttpAnswer("<p>", "text/html"), Status::kNotIpp, 0},
      {"an IPP error", Behaviour::kAnswer, HttpAnswer(error), Status::kIppError, 0x0406},
      {"cut IPP", Behaviour::kAnswer, HttpAnswer(answer.substr(0, 8)), Status::kNotIpp, 0},
      {"an endless body", Behaviour::kEndlessBody, "", Status::kTooLarge, 0},
      {"a large body of no length", Behaviour::kAnswer,
       "HTTP/1.1 200 OK\r\n\r\n" + std::string(kIppMaxAnswerBytes + 1, 'x'), Status::kTooLarge, 0},
      {"a byte every 100 ms", Behaviour::kTrickle, HttpAnswer(answer), Status::kTimedOut, 0},
      {"silence", Behaviour::kHang, "", Status::kTimedOut, 0}};
  emulator::DeviceEmulator server;
  emulator::DeviceSpec device;
  for (const auto& [what, behaviour, reply, status, ippStatus] : rows) {
    device.behaviour = behaviour;
    device.reply = reply;
    // An answer waits for the request's body: a close with bytes unread resets the connection.
    device.delayMs = behaviour == Behaviour::kTrickle ? 100 : 50;
    const Clock::duration limit = status == Status::kTimedOut ? 400ms : 10s;
    const auto start = Clock::now();
    const IppAnswer answered = Ask(Uri(server.AddDevice(device)), limit);
    EXPECT_LT(Clock::now() - start, limit + 2s) << what;
    EXPECT_EQ(answered.status, status) << what;
    EXPECT_EQ(answered.ippStatus, ippStatus) << what;
  }
  EXPECT_EQ(Ask(Uri(emulator::DeviceEmulator::ClosedPort("127.0.0.2")), 10s).status,
            Status::kUnreachable);

  device.behaviour = Behaviour::kHang;
  const std::uint16_t silent = server.AddDevice(device);
  server.ClearRequests();
  std::stop_source stop;
  auto asked =
      std::async(std::launch::async, [&] { return Ask(Uri(silent), 60s, stop.get_token()); });
  ASSERT_TRUE(server.WaitForRequests(1, 10s));
  stop.request_stop();
  ASSERT_EQ(asked.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(asked.get().status, Status::kStopped);
}

}  // namespace
}  // namespace pradex
