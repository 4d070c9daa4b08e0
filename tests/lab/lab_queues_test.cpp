// pradex-cli on a desktop whose queues were set up the ways real Linux desktops do it: DNS-SD
// (dnssd://), driverless (ipp://NAME._ipp._tcp.local/), cups-browsed (implicitclass://),
// ipp-usb (a loopback port), a print server's queue, a wrapper backend and a plain socket
// queue; each is listed with its device's own page or skipped with its own reason. The Qt window
// lists the same printers as links to the same pages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/e2e/cli_e2e_support.h"
#include "tests/cli/json_reader.h"

namespace pradex::test {
namespace {

struct Explained {
  std::string reason;
  std::string url;
};

// What a search on the lab's desktop lists with DNS-SD running: each queue's name with its
// device's own page. Not listed: the queue whose device answers 404, the other maker's printer
// and the queues that lead to no network address.
std::map<std::string, std::string> ExpectedListing() {
  const std::string dispatcher = "/tamrin/device/this.LCDispatcher";
  const std::string supplies = "/?type=supplies";
  return {
      {"dnssd_glowmark", "http://198.51.100.21" + dispatcher},
      {"driverless_brimline", "http://198.51.100.22" + supplies},
      {"Tamrin_GlowMark_7200", "http://198.51.100.23" + dispatcher},
      {"usb_glowmark", "http://localhost:60000" + dispatcher},
      {"server_office", "http://198.51.100.25" + dispatcher},
      {"wrapped_brimline", "http://198.51.100.26" + supplies},
      {"socket_brimline", "http://198.51.100.26" + supplies},
      // Offered by the print dialog without a queue; the two other printers it offers are
      // the devices of installed queues and are not listed twice.
      {"Tamrin_BrimLine_520", "http://198.51.100.27" + supplies},
  };
}

class LabQueuesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (geteuid() != 0) {
      skipReason = "the lab needs root for its network namespaces";
      return;
    }
    const ProcessResult check = RunProcess({PRADEX_LAB, "check"}, {SystemPath()});
    if (check.exitCode == 3) {
      skipReason = "the lab cannot be made here: " + check.err;
      return;
    }
    // A missing program is a set-up fault, not a reason to skip.
    if (check.exitCode != 0) {
      upLog = check.err;
      return;
    }
    scratch = std::make_unique<ScratchDir>();
    labDir = scratch->Sub("lab");
    const ProcessResult up =
        RunProcess({PRADEX_LAB, "up", labDir, "--owner", std::to_string(getpid())},
                   {SystemPath(), std::string("PRADEX_EMULATOR=") + PRADEX_EMULATOR}, "",
                   Milliseconds(120000));
    upLog = up.err;
    labUp = up.exitCode == 0;
  }
  static void TearDownTestSuite() {
    if (!labDir.empty()) RunProcess({PRADEX_LAB, "down", labDir}, {SystemPath()});
    scratch.reset();
  }

  void SetUp() override {
    if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    ASSERT_TRUE(labUp) << "the lab did not come up:\n" << upLog;
  }

  static std::vector<std::string> Environment() {
    std::vector<std::string> env{SystemPath(), "LANG=C.UTF-8"};
    for (const std::string& entry : SanitizerEnvironment()) env.push_back(entry);
    return env;
  }

  // One search of pradex-cli on the lab's desktop: the listed devices and every printer's
  // reason from the JSON explanation. With `interruptAfter`, Ctrl-C comes that long after the
  // start.
  static void Search(std::map<std::string, std::string>& listed,
                     std::map<std::string, Explained>& explained, long long& elapsedMs,
                     std::optional<Milliseconds> interruptAfter = std::nullopt) {
    // The program's process ID in the desktop's namespace, where Ctrl-C is sent from.
    const std::string pidFile = scratch->File("cli.pid");
    ChildProcess child({PRADEX_LAB, "cli", labDir, "sh", "-c",
                        "echo $$ >" + pidFile + "; exec " + PRADEX_CLI +
                            " --json --explain --language=en"},
                       Environment(), "");
    if (interruptAfter) {
      std::this_thread::sleep_for(*interruptAfter);
      RunProcess({PRADEX_LAB, "cli", labDir, "sh", "-c", "kill -INT $(cat " + pidFile + ")"},
                 {SystemPath()});
    }
    const ProcessResult result = child.Wait(Milliseconds(60000));
    ASSERT_EQ(result.exitCode, interruptAfter ? 130 : 0) << result.err;
    elapsedMs = result.elapsedMs;
    const JsonValue parsed = JsonReader::Parse(result.out);
    facts.clear();
    for (const JsonValue& device : parsed["devices"].Array()) {
      listed[device["name"].String()] = device["url"].String();
      facts[device["name"].String()] = device;
    }
    for (const JsonValue& printer : parsed["explain"]["printers"].Array())
      explained[printer["name"].String()] = {printer["reason"].String(), printer["url"].String()};
  }

  // What each listed device said about itself in the last search (its JSON object).
  static inline std::map<std::string, JsonValue> facts;
  static inline std::unique_ptr<ScratchDir> scratch;
  static inline std::string labDir;
  static inline std::string skipReason;
  static inline std::string upLog;
  static inline bool labUp = false;
};

TEST_F(LabQueuesTest, EveryQueueKindIsListedWithItsDevicePageOrSkippedWithItsReason) {
  std::map<std::string, std::string> listed;
  std::map<std::string, Explained> explained;
  long long elapsedMs = 0;
  ASSERT_NO_FATAL_FAILURE(Search(listed, explained, elapsedMs));
  std::cout << "lab: whole search with DNS-SD running took " << elapsedMs << " ms\n";

  EXPECT_EQ(listed, ExpectedListing());

  // Skipped, each with its own reason.
  const std::map<std::string, std::string> reasons = {
      {"gone_glowmark",
       "no network address found behind its port: DNS-SD service not found: \"Tamrin GlowMark "
       "9999\""},
      {"server_usbdesk",
       "no network address found behind its port: print server 198.51.100.30 prints to a device "
       "that is not on the "
       "network (usb:)"},
      {"broken_glowmark", "the device answered 404"},
      {"other_maker", "not a Tamrin printer"},
  };
  for (const auto& [name, reason] : reasons) {
    ASSERT_EQ(explained.count(name), 1u) << name;
    EXPECT_EQ(explained[name].reason.substr(0, reason.size()), reason) << explained[name].reason;
  }

  // ippeveprinter tells its supplies and state itself, on its IPP port; the emulated devices
  // speak no IPP and are listed as they were, without facts.
  const JsonValue& eve = facts["Tamrin_GlowMark_7200"];
  ASSERT_EQ(eve["facts"].String(), "reported");
  EXPECT_EQ(eve["state"]["value"].String(), "idle");
  ASSERT_FALSE(eve["supplies"].Array().empty());
  std::cout << "lab: ippeveprinter reports " << eve["supplies"].Array().size() << " supplies\n";
  for (const JsonValue& supply : eve["supplies"].Array()) {
    ASSERT_FALSE(supply["level"].IsNull()) << supply["name"].String();
    EXPECT_LE(supply["level"].Number(), 100) << supply["name"].String();
  }
  for (const char* name : {"dnssd_glowmark", "server_office", "socket_brimline"})
    EXPECT_NE(facts[name]["facts"].String(), "reported") << name;
}

#ifdef PRADEX_LAB_WINDOW  // builds without the Qt window (ThreadSanitizer) leave this out
// The Qt window lists the same printers as links, and a click on each opens its device's page.
TEST_F(LabQueuesTest, TheWindowListsEveryQueueAsALinkToItsDevicePage) {
  // Qt's runtime folder in the scratch folder rather than one of its own making in /tmp.
  const std::string runtime = scratch->Sub("runtime");
  ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
  std::vector<std::string> env{SystemPath(), "LANG=C.UTF-8", "QT_QPA_PLATFORM=offscreen",
                               "XDG_RUNTIME_DIR=" + runtime};
  for (const std::string& entry : SanitizerEnvironment()) env.push_back(entry);
  const ProcessResult result =
      RunProcess({PRADEX_LAB, "cli", labDir, PRADEX_LAB_WINDOW}, env, "", Milliseconds(90000));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::cout << "lab: the window's search and its clicks took " << result.elapsedMs << " ms\n";

  std::map<std::string, std::string> listed;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    EXPECT_TRUE(listed.emplace(line.substr(0, tab), line.substr(tab + 1)).second)
        << "listed twice: " << line;
  }
  EXPECT_EQ(listed, ExpectedListing()) << result.err;
}
#endif

// The printers whose address is known at once are probed at once: a Ctrl-C soon after the start
// lists every installed queue whose device answers, although a lookup (the service nobody
// announces) still waits for its limit. The print dialog's printers come after every installed
// queue has its address, so the one it alone offers is not listed yet.
TEST_F(LabQueuesTest, ACtrlCSoonAfterTheStartListsEveryQueueWhoseDeviceAnswered) {
  std::map<std::string, std::string> listed;
  std::map<std::string, Explained> explained;
  long long elapsedMs = 0;
  ASSERT_NO_FATAL_FAILURE(Search(listed, explained, elapsedMs, Milliseconds(800)));
  std::cout << "lab: search interrupted after 800 ms ended after " << elapsedMs << " ms\n";
  std::map<std::string, std::string> expected = ExpectedListing();
  expected.erase("Tamrin_BrimLine_520");
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(explained["gone_glowmark"].reason,
            "no network address found behind its port: lookup of \"Tamrin GlowMark 9999\" "
            "(_ipp._tcp.local) cut by stop");
}

// A DNS-SD daemon that takes calls and never answers costs each DNS-SD lookup its limit and
// nothing else: the queues that need no DNS-SD are listed, and the search ends in time.
TEST_F(LabQueuesTest, WithAHungDnsSdDaemonTheSearchEndsInTimeAndListsTheQueuesThatNeedNone) {
  ASSERT_EQ(RunProcess({PRADEX_LAB, "hang-dnssd", labDir}, {SystemPath()}).exitCode, 0);
  std::map<std::string, std::string> listed;
  std::map<std::string, Explained> explained;
  long long elapsedMs = 0;
  Search(listed, explained, elapsedMs);
  ASSERT_EQ(RunProcess({PRADEX_LAB, "wake-dnssd", labDir}, {SystemPath()}).exitCode, 0);
  std::cout << "lab: whole search with the DNS-SD daemon hung took " << elapsedMs << " ms\n";
  EXPECT_LT(elapsedMs, 5000);
  for (const char* name : {"server_office", "usb_glowmark", "socket_brimline", "wrapped_brimline"})
    EXPECT_EQ(listed[name], ExpectedListing()[name]) << name;
  for (const char* name : {"dnssd_glowmark", "driverless_brimline", "gone_glowmark"}) {
    EXPECT_NE(explained[name].reason.find("(no answer within 2000 ms)"), std::string::npos)
        << name << ": " << explained[name].reason;
  }
}

// Runs last: it stops the desktop's DNS-SD daemon.
TEST_F(LabQueuesTest, WithoutTheDnsSdDaemonItsQueuesAreSkippedWithThatReasonAndTheRestListed) {
  const ProcessResult stop = RunProcess({PRADEX_LAB, "stop-dnssd", labDir}, {SystemPath()});
  ASSERT_EQ(stop.exitCode, 0) << stop.err;
  std::map<std::string, std::string> listed;
  std::map<std::string, Explained> explained;
  long long elapsedMs = 0;
  ASSERT_NO_FATAL_FAILURE(Search(listed, explained, elapsedMs));
  std::cout << "lab: whole search with the DNS-SD daemon stopped took " << elapsedMs << " ms\n";

  for (const char* name : {"dnssd_glowmark", "driverless_brimline", "gone_glowmark"}) {
    ASSERT_EQ(explained.count(name), 1u) << name;
    EXPECT_EQ(explained[name].reason.rfind(
                  "no network address found behind its port: no DNS-SD daemon", 0),
              0u)
        << explained[name].reason;
  }
  EXPECT_EQ(listed.count("server_office"), 1u);
  EXPECT_EQ(listed.count("usb_glowmark"), 1u);
  EXPECT_EQ(listed.count("socket_brimline"), 1u);
}

}  // namespace
}  // namespace pradex::test
