// Asking another CUPS server which device its queue prints to, and the local one for a queue's
// PPD: a server that never takes the connection, never speaks, or trickles its answer is given
// up at the lookup's limit, Stop cuts the lookup at once, and failures come back apart.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <stop_token>
#include <string>

#include "platform/posix/cups_lookups.h"
#include "tests/emulator/device_emulator.h"
#include "tests/support/child_process.h"

namespace pradex {
namespace {

using emulator::Behaviour;
using namespace std::chrono_literals;

using Status = CupsLookupResult::Status;
using Clock = std::chrono::steady_clock;
enum class Lookup { kPrintServer, kPpd };

// One lookup against the emulated server at 127.0.0.2:`port`, on a thread of its own as a search
// makes it: the device of the server's queue "office", or the PPD of the local queue "office"
// with that server as the thread's CUPS server.
std::future<CupsLookupResult> Start(Lookup lookup, std::uint16_t port, Clock::duration limit,
                                    std::stop_token stop = {}, const std::string& scheme = "ipp") {
  return std::async(std::launch::async, [=] {
    const Clock::time_point deadline = Clock::now() + limit;
    if (lookup == Lookup::kPpd) {
      cupsSetServer(("127.0.0.2:" + std::to_string(port)).c_str());
      return QueueSuppliesUrl("office", deadline, stop);
    }
    DeviceUriPlan plan;
    plan.kind = DeviceUriPlan::Kind::kPrintServer;
    plan.scheme = scheme;
    plan.server = "127.0.0.2";
    plan.port = port;
    plan.uri = scheme + "://127.0.0.2:" + std::to_string(port) + "/printers/office";
    return AskPrintServerDevice(plan, deadline, stop);
  });
}

constexpr char kAsksForPassword[] =
    "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"CUPS\"\r\nContent-Length: "
    "0\r\n\r\n";

emulator::DeviceSpec Spec(Behaviour behaviour, std::string reply = {}, int delayMs = 0) {
  emulator::DeviceSpec spec;
  spec.behaviour = behaviour;
  spec.reply = std::move(reply);
  spec.delayMs = delayMs;
  return spec;
}

TEST(CupsLookupTest, ASilentServerIsGivenUpAtTheLimitAndStopCutsItAtOnce) {
  const struct {
    Behaviour server;
    const char* scheme;
    bool stop;
    Clock::duration limit;
    Status status;
  } cases[] = {
      {Behaviour::kHang, "ipp", false, 1000ms, Status::kTimedOut},
      // Limits far beyond the guard below: only Stop can end these in time.
      {Behaviour::kHang, "ipp", true, 60s, Status::kStopped},
      {Behaviour::kBlackhole, "ipp", true, 60s, Status::kStopped},
      // libcups waits 10 s for each silence of a TLS handshake, asking nobody whether to go on.
      {Behaviour::kHang, "ipps", false, 300ms, Status::kTimedOut},
      {Behaviour::kHang, "ipps", true, 60s, Status::kStopped},
  };
  for (const auto& c : cases) {
    const emulator::DeviceSpec spec = Spec(c.server);
    SCOPED_TRACE(std::string(c.scheme) + " " + emulator::BehaviourText(spec) +
                 (c.stop ? ", stopped" : ""));
    emulator::DeviceEmulator servers;
    std::stop_source stop;
    auto result =
        Start(Lookup::kPrintServer, servers.AddDevice(spec), c.limit, stop.get_token(), c.scheme);
    if (c.stop) {
      // A server that takes connections has the request (or the handshake) before it is cut.
      if (c.server == Behaviour::kHang) {
        ASSERT_TRUE(std::string(c.scheme) == "ipps" ? servers.WaitForOpenConnectionsAtLeast(1, 10s)
                                                    : servers.WaitForRequests(1, 10s));
      }
      stop.request_stop();
    }
    ASSERT_EQ(result.wait_for(c.stop ? 10s : c.limit + 4s), std::future_status::ready);
    EXPECT_EQ(result.get().status, c.status);
  }
}

// A byte every 50 ms is never silence enough for libcups to ask whether to go on; the whole
// answer would take 20 s.
TEST(CupsLookupTest, ATricklingServerIsGivenUpAtTheDeadline) {
  for (const Lookup lookup : {Lookup::kPrintServer, Lookup::kPpd}) {
    SCOPED_TRACE(lookup == Lookup::kPpd ? "PPD" : "print server");
    emulator::DeviceEmulator server;
    const std::string reply =
        "HTTP/1.1 200 OK\r\nContent-Length: 400\r\n\r\n" + std::string(400, '*');
    auto result = Start(lookup, server.AddDevice(Spec(Behaviour::kTrickle, reply, 50)), 500ms);
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(result.get().status, Status::kTimedOut);
  }
}

TEST(CupsLookupTest, UnreachableRefusedAndPasswordComeBackApart) {
  const struct {
    const char* reply;  // nullptr: nothing listens
    Status status;
  } cases[] = {
      {nullptr, Status::kUnreachable},
      {"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", Status::kRefused},
      {kAsksForPassword, Status::kNeedsPassword},
  };
  for (const auto& c : cases) {
    for (const Lookup lookup : {Lookup::kPrintServer, Lookup::kPpd}) {
      SCOPED_TRACE(std::string(c.reply ? c.reply : "closed port") +
                   (lookup == Lookup::kPpd ? " (PPD)" : " (print server)"));
      emulator::DeviceEmulator server;
      const std::uint16_t port = c.reply ? server.AddDevice(Spec(Behaviour::kAnswer, c.reply))
                                         : emulator::DeviceEmulator::ClosedPort("127.0.0.2");
      auto result = Start(lookup, port, 10s);
      ASSERT_EQ(result.wait_for(15s), std::future_status::ready);
      EXPECT_EQ(result.get().status, c.status);
    }
  }
}

// libcups' own answer to a server that asks for a password is a prompt on the controlling
// terminal, where it waits for ever. The lookups run, each on a new thread, in a child process
// of this program whose terminal nobody types on; it uses this process's private cupsd.
TEST(CupsLookupTest, AServerAskingForAPasswordGetsNoPromptOnTheTerminal) {
  if (const char* child = std::getenv("PRADEX_LOOKUP_PORT")) {
    for (const Lookup lookup : {Lookup::kPrintServer, Lookup::kPpd}) {
      const auto port = static_cast<std::uint16_t>(std::atoi(child));
      std::printf("status %d\n", static_cast<int>(Start(lookup, port, 10s).get().status));
    }
    return;
  }
  const char* cupsServer = std::getenv("CUPS_SERVER");
  if (!cupsServer || *cupsServer != '/') GTEST_SKIP() << "no private cupsd";
  emulator::DeviceEmulator server;
  const std::uint16_t port = server.AddDevice(Spec(Behaviour::kAnswer, kAsksForPassword));
  std::vector<std::string> env = testsupport::SanitizerEnvironment();
  env.push_back("PRADEX_LOOKUP_PORT=" + std::to_string(port));
  env.push_back(std::string("CUPS_SERVER=") + cupsServer);
  env.push_back("PRADEX_CUPSD_DIR=" + std::filesystem::path(cupsServer).parent_path().string());
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  testsupport::ChildProcess child({"/proc/self/exe", "--gtest_filter=CupsLookupTest." + test}, env,
                                  "", /*errorToTerminal=*/true, /*controllingTerminal=*/true);
  const testsupport::ProcessResult ran = child.Wait(30s);
  const std::string needsPassword = "status " + std::to_string(int(Status::kNeedsPassword)) + "\n";
  EXPECT_NE(ran.out.find(needsPassword + needsPassword), std::string::npos) << ran.out << ran.err;
  EXPECT_EQ(ran.exitCode, 0);
}

}  // namespace
}  // namespace pradex
