// pradex-cli as a user runs it: against a private cupsd whose queues point at loopback devices
// served by the device emulator on port 80 (the device URLs carry no port), a missing and a
// silent CUPS server, signals, the proxy from the environment and the command line.
//
// Each test uses its own block of addresses 127.0.70.(16 * block + 1 ... 15) and its own
// cupsd, so tests can run in parallel. Port 80 is open to them in the network namespace that
// tests/support/in-netns makes for each; without one they skip.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "tests/cli/cli_texts.h"
#include "tests/cli/e2e/cli_e2e_support.h"
#include "tests/cli/json_reader.h"
#include "tests/emulator/device_emulator.h"
#include "tests/support/cups_printers_reply.h"
#include "tests/support/loopback_port80.h"
#include "tests/support/proxy_environment.h"

namespace pradex::test {
namespace {

using namespace std::chrono_literals;
using emulator::Behaviour;
using emulator::DeviceEmulator;
using emulator::DeviceSpec;

const std::string kDispatcher = "/tamrin/device/this.LCDispatcher";
const std::string kSupplies = "/?type=supplies";

std::string Ppd(const std::string& name) {
  return std::string(PRADEX_CLI_PPD_DIR) + "/" + name;
}

// The explanation's lines by printer name: {reason, detail}.
std::map<std::string, std::pair<std::string, std::string>> ExplainedPrinters(
    const std::vector<std::string>& lines) {
  std::map<std::string, std::pair<std::string, std::string>> printers;
  bool inExplanation = false;
  for (const std::string& line : lines) {
    if (line.starts_with("spooler: ")) {
      inExplanation = true;
      continue;
    }
    if (!inExplanation) continue;
    const std::vector<std::string> fields = Fields(line);
    if (fields.size() >= 3) printers[fields[0]] = {fields[1], fields[2]};
  }
  return printers;
}

bool IsEmptyDir(const std::string& dir) {
  return std::filesystem::is_empty(dir);
}

class CliE2eTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The program must see only the proxy settings a test gives it.
    testsupport::ClearProxyEnvironment();
  }

  void SetUp() override {
    if (const auto why = testsupport::Port80Unavailable(Address(0, 1))) GTEST_SKIP() << *why;
  }

  static std::string Address(int block, int host) {
    return "127.0.70." + std::to_string(16 * block + host);
  }

  void StartCupsd() {
    cupsd = std::make_unique<PrivateCupsd>(PRADEX_CUPSD_PRIVATE, scratch.Sub("cupsd"));
    cupsServer = cupsd->Server();
  }

  void AddQueue(const std::string& name, const std::string& uri, const std::string& ppd) {
    ASSERT_EQ(cupsd->AddQueue(name, uri, Ppd(ppd)), "");
  }

  std::uint16_t Serve(const std::string& address, Behaviour behaviour, int status = 200,
                      std::uint16_t port = 80) {
    DeviceSpec spec;
    spec.address = address;
    spec.port = port;
    spec.behaviour = behaviour;
    spec.status = status;
    return devices.AddDevice(spec);
  }

  // A CUPS server that accepts every connection and never answers.
  void ServeSilentCupsd() {
    cupsServer = "127.0.0.1:" + std::to_string(Serve("127.0.0.1", Behaviour::kHang, 200, 0));
  }

  // The printers every listing test starts from, with their devices. Of the maker's two
  // families with a network port, three answer, one answers 404 and one refuses connections;
  // the others must not be asked at all.
  void AddStandardMachine(int block) {
    const auto a = [block](int host) { return Address(block, host); };
    AddQueue("glowmark_7200", "socket://" + a(1) + ":9100", "glowmark-7200.ppd");
    AddQueue("brimline_410", "lpd://" + a(2) + "/queue", "brimline-410.ppd");
    AddQueue("Zeta_secure", "ipp://alice:s3cret@" + a(3) + ":631/ipp/print", "glowmark-7200.ppd");
    AddQueue("glow_x", "socket://" + a(4) + ":9100", "glowmark-x.ppd");
    AddQueue("office_laser", "http://" + a(5) + ":631/printers/laser", "otherco-laser.ppd");
    AddQueue("pagewise", "socket://" + a(6), "pagewise-20.ppd");
    AddQueue("glow_usb", "usb://Tamrin/GlowMark%207200?serial=GM-1", "glowmark-7200.ppd");
    AddQueue("brim_404", "socket://" + a(7), "brimline-410.ppd");
    AddQueue("glow_refused", "socket://" + a(8) + ":9100", "glowmark-7200.ppd");
    for (const int host : {1, 2, 3, 4, 5, 6}) Serve(a(host), Behaviour::kAnswer);
    Serve(a(7), Behaviour::kAnswer, 404);
  }

  std::string ExpectedListing(int block, const std::string& status = kFoundText) const {
    return status + "\n" + "Zeta_secure\thttp://" + Address(block, 3) + kDispatcher + "\n" +
           "brimline_410\thttp://" + Address(block, 2) + kSupplies + "\n" +
           "glowmark_7200\thttp://" + Address(block, 1) + kDispatcher + "\n";
  }

  // PATH, a HOME of its own, UTF-8 text and the test's CUPS server; nothing else of this
  // process's environment (no proxy).
  std::vector<std::string> Environment(const std::vector<std::string>& extra = {},
                                       bool withLang = true) {
    std::vector<std::string> env{SystemPath(), "HOME=" + home, "CUPS_SERVER=" + cupsServer};
    if (withLang) env.push_back("LANG=C.UTF-8");
    for (const std::string& entry : SanitizerEnvironment()) env.push_back(entry);
    for (const std::string& entry : extra) env.push_back(entry);
    return env;
  }

  // The same, with the texts in English.
  std::vector<std::string> EnglishEnvironment(std::vector<std::string> extra = {}) {
    extra.push_back("PRADEX_LANGUAGE=en");
    return Environment(extra);
  }

  ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<std::string> argv{PRADEX_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, env, workDir);
  }

  std::unique_ptr<ChildProcess> StartCli(const std::vector<std::string>& args,
                                         const std::vector<std::string>& env) {
    std::vector<std::string> argv{PRADEX_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(argv, env, workDir);
  }

  // The device requests received, as "address path" (agent and method checked on the way).
  std::multiset<std::string> DeviceRequests() {
    std::multiset<std::string> requests;
    for (const auto& request : devices.Requests()) {
      EXPECT_EQ(request.method, "GET");
      EXPECT_EQ(request.userAgent, "InetSearch");
      requests.insert(request.address + " " + request.path);
    }
    return requests;
  }

  ScratchDir scratch;
  std::string home = scratch.Sub("home");
  std::string workDir = scratch.Sub("work");
  std::string cupsServer = scratch.File("no-cupsd/cups.sock");
  std::unique_ptr<PrivateCupsd> cupsd;
  DeviceEmulator devices;
};

TEST_F(CliE2eTest, ListsTheAnsweringDevicesInTheWindowsOrder) {
  constexpr int kBlock = 1;
  StartCupsd();
  AddStandardMachine(kBlock);

  const ProcessResult result = RunCli({}, Environment());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, ExpectedListing(kBlock));
  // Each device of the two families with a network address was asked exactly once.
  const auto a = [](int host) { return Address(kBlock, host); };
  EXPECT_EQ(DeviceRequests(),
            (std::multiset<std::string>{a(1) + " " + kDispatcher, a(2) + " " + kSupplies,
                                        a(3) + " " + kDispatcher, a(7) + " " + kSupplies}));
  // The program writes no files: neither its home nor its working folder gains any.
  EXPECT_TRUE(IsEmptyDir(home));
  EXPECT_TRUE(IsEmptyDir(workDir));

  // In the "C"/"POSIX" locale (plain ASCII) the same text comes as UTF-8.
  const ProcessResult noLang = RunCli({}, Environment({}, false));
  EXPECT_EQ(noLang.exitCode, 0) << noLang.err;
  EXPECT_EQ(noLang.out, ExpectedListing(kBlock));
  const ProcessResult posix = RunCli({}, Environment({"LC_ALL=POSIX"}, false));
  EXPECT_EQ(posix.out, ExpectedListing(kBlock));
}

// Progress is for a person at a terminal: a standard error that is a pipe gets none, and the
// result on standard output is the same either way.
TEST_F(CliE2eTest, ProgressGoesToStandardErrorOnlyWhenItIsATerminal) {
  constexpr int kBlock = 6;
  StartCupsd();
  AddStandardMachine(kBlock);
  std::vector<std::string> argv{PRADEX_CLI};
  const ProcessResult piped = RunProcess(argv, Environment(), workDir);
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(piped.out, ExpectedListing(kBlock));

  const ProcessResult shown =
      RunProcess(argv, Environment(), workDir, std::chrono::milliseconds(60000), true);
  EXPECT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_EQ(shown.out, ExpectedListing(kBlock));
  EXPECT_NE(shown.err.find("laitetta tarkistettu"), std::string::npos) << shown.err;
  // The line is wiped at the end, so that the terminal is left as it was.
  const std::string wipe = "\r\x1b[K";
  ASSERT_GE(shown.err.size(), wipe.size());
  EXPECT_EQ(shown.err.substr(shown.err.size() - wipe.size()), wipe);
}

TEST_F(CliE2eTest, JsonListsTheSameDevices) {
  constexpr int kBlock = 2;
  StartCupsd();
  AddStandardMachine(kBlock);

  const ProcessResult result = RunCli({"--json"}, Environment({}, false));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const JsonValue json = JsonReader::Parse(result.out);
  EXPECT_EQ(json["status"].String(), kFoundText);
  EXPECT_FALSE(json["interrupted"].Bool());
  EXPECT_EQ(json["outcome"].String(), "completed");
  EXPECT_FALSE(json.Has("explain"));
  std::vector<std::pair<std::string, std::string>> listed;
  for (const JsonValue& device : json["devices"].Array())
    listed.emplace_back(device["name"].String(), device["url"].String());
  EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::string>>{
                        {"Zeta_secure", "http://" + Address(kBlock, 3) + kDispatcher},
                        {"brimline_410", "http://" + Address(kBlock, 2) + kSupplies},
                        {"glowmark_7200", "http://" + Address(kBlock, 1) + kDispatcher}}));
}

TEST_F(CliE2eTest, ExplainGivesEveryPrinterItsReason) {
  constexpr int kBlock = 3;
  StartCupsd();
  AddStandardMachine(kBlock);
  const auto a = [](int host) { return Address(kBlock, host); };
  AddQueue("glow_hang", "lpd://" + a(9) + "/queue", "glowmark-7200.ppd");
  Serve(a(9), Behaviour::kHang);

  // The plain and the JSON explanation side by side: both wait for the hanging device.
  auto plain = StartCli({"--explain"}, EnglishEnvironment());
  auto json = StartCli({"--json", "--explain"}, EnglishEnvironment());
  const ProcessResult plainResult = plain->Wait(60s);
  const ProcessResult jsonResult = json->Wait(60s);
  ASSERT_EQ(plainResult.exitCode, 0) << plainResult.err;
  ASSERT_EQ(jsonResult.exitCode, 0) << jsonResult.err;

  const std::vector<std::string> lines = Lines(plainResult.out);
  // The listing first, as without --explain, then an empty line and the spooler's line.
  ASSERT_GE(lines.size(), 6u);
  const std::string listing = ExpectedListing(kBlock, kFoundEnglish);
  EXPECT_EQ(plainResult.out.substr(0, listing.size()), listing);
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "spooler: 10 printers");
  const auto url = [&](int host, const std::string& path) { return "http://" + a(host) + path; };
  using Reasons = std::map<std::string, std::pair<std::string, std::string>>;
  EXPECT_EQ(ExplainedPrinters(lines),
            (Reasons{
                {"Zeta_secure", {"answered", url(3, kDispatcher)}},
                {"brim_404", {"the device answered 404", url(7, kSupplies)}},
                {"brimline_410", {"answered", url(2, kSupplies)}},
                {"glow_hang", {"no answer within 7 s", url(9, kDispatcher)}},
                {"glow_refused",
                 {"the device cannot be reached (HTTP client error 12029)", url(8, kDispatcher)}},
                {"glow_usb",
                 {"no network address found behind its port: not a network device (usb:)",
                  "port: usb://Tamrin/GlowMark%207200?serial=GM-1"}},
                {"glow_x", {"not a Tamrin printer", "driver: Tamrin-GlowMark X"}},
                {"glowmark_7200", {"answered", url(1, kDispatcher)}},
                {"office_laser", {"not a Tamrin printer", "driver: Otherco LaserStar 12"}},
                {"pagewise",
                 {"a Tamrin printer of neither the GlowMark nor the BrimLine family",
                  "driver: Tamrin PageWise 20"}},
            }));

  const JsonValue parsed = JsonReader::Parse(jsonResult.out);
  EXPECT_EQ(parsed["explain"]["spooler"]["error"].Number(), 0);
  std::map<std::string, std::string> verdicts;
  for (const JsonValue& printer : parsed["explain"]["printers"].Array()) {
    std::string verdict = printer["verdict"].String();
    if (!printer["probe"].IsNull()) verdict += " " + printer["probe"]["end"].String();
    verdicts[printer["name"].String()] = verdict;
  }
  EXPECT_EQ(verdicts, (std::map<std::string, std::string>{{"Zeta_secure", "probed answered"},
                                                          {"brim_404", "probed http-status"},
                                                          {"brimline_410", "probed answered"},
                                                          {"glow_hang", "probed timed-out"},
                                                          {"glow_refused", "probed client-error"},
                                                          {"glow_usb", "port-not-resolved"},
                                                          {"glow_x", "not-maker"},
                                                          {"glowmark_7200", "probed answered"},
                                                          {"office_laser", "not-maker"},
                                                          {"pagewise", "neither-family"}}));
  // Ports are shown without the credentials of their device URI.
  EXPECT_EQ(plainResult.out.find("s3cret"), std::string::npos);
  EXPECT_EQ(jsonResult.out.find("s3cret"), std::string::npos);
}

TEST_F(CliE2eTest, WithoutACupsdTheNoneFoundTextComesBeforeAnyTimeOut) {
  // No cupsd: CUPS_SERVER names a socket that does not exist. The text is the window's, but a
  // script must be able to tell this from a machine without such printers.
  long long slowest = 0;
  for (int run = 0; run < 3; ++run) {
    const ProcessResult result = RunCli({}, Environment());
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(result.out, kNoneFoundText + "\n");
    slowest = std::max(slowest, result.elapsedMs);
  }
  RecordProperty("slowest_ms", std::to_string(slowest));
  std::cout << "no cupsd: slowest of 3 runs " << slowest << " ms\n";
  // A missing server fails at once: no run waits out the spooler's 3 s connect time-out.
  EXPECT_LT(slowest, 3000);

  const ProcessResult explained = RunCli({"--explain"}, EnglishEnvironment());
  EXPECT_EQ(explained.out,
            kNoneFoundEnglish + "\n\nspooler: the print server is not running (error 1722)\n");
  // Standard error says why in one line, with or without --explain.
  EXPECT_EQ(explained.err,
            "pradex-cli: the printers could not be listed: the print server is not running "
            "(pradex-cli --explain tells more)\n");
  const ProcessResult json = RunCli({"--json"}, Environment());
  EXPECT_EQ(json.exitCode, 3) << json.err;
  EXPECT_EQ(JsonReader::Parse(json.out)["outcome"].String(), "spooler-unavailable");
}

TEST_F(CliE2eTest, ASilentCupsdDoesNotHangTheSearch) {
  ServeSilentCupsd();
  auto plain = StartCli({}, Environment());
  auto explained = StartCli({"--explain"}, EnglishEnvironment());
  const ProcessResult result = plain->Wait(30s);
  const ProcessResult explainedResult = explained->Wait(30s);
  EXPECT_GE(devices.RequestCount(), 2u);
  EXPECT_EQ(result.exitCode, 3) << result.err;
  EXPECT_EQ(result.out, kNoneFoundText + "\n");
  EXPECT_EQ(
      explainedResult.out,
      kNoneFoundEnglish + "\n\nspooler: the print server did not answer in time (error 1460)\n");
  RecordProperty("elapsed_ms", std::to_string(result.elapsedMs));
  std::cout << "silent cupsd: search ended after " << result.elapsedMs << " ms\n";
  // The spooler's time-outs: 1 s for the server's go-ahead and 5 s for its answer.
  EXPECT_GE(result.elapsedMs, 4000);
  EXPECT_LT(result.elapsedMs, 9500);
}

TEST_F(CliE2eTest, SigintEndsASearchHeldByASilentCupsdBeforeItsTimeOut) {
  ServeSilentCupsd();
  auto child = StartCli({"--explain"}, EnglishEnvironment());
  ASSERT_TRUE(devices.WaitForRequests(1, 10s));
  std::this_thread::sleep_for(200ms);  // well inside the wait for the server's answer

  const auto signalled = Clock::now();
  child->Signal(SIGINT);
  const ProcessResult result = child->Wait(30s);
  const long long afterSignal = MillisecondsSince(signalled);
  RecordProperty("after_signal_ms", std::to_string(afterSignal));
  std::cout << "SIGINT during a silent cupsd: exit after " << afterSignal << " ms\n";
  EXPECT_EQ(result.exitCode, 130) << result.err;
  EXPECT_EQ(
      result.out,
      kNoneFoundEnglish + "\n\nspooler: no answer: the search was stopped while waiting for it\n");
  EXPECT_LT(afterSignal, 3000) << "the signal should not wait out the 5 s answer time-out";
}

// An office server that lists its queues and then stalls: what must be asked of it (a
// cups-browsed queue's PPD, a server queue's device, the print dialog's printers) is given up at
// its limit, and the printer whose address stands in its URI is listed all the same.
TEST_F(CliE2eTest, AServerThatStallsAfterListingItsQueuesHoldsTheSearchNoLongerThanItsLimits) {
  constexpr int kBlock = 7;
  const std::uint16_t silent = Serve("127.0.0.1", Behaviour::kHang, 200, 0);
  DeviceSpec server;
  server.address = "127.0.0.1";
  server.answers = 1;
  server.reply = testsupport::CupsGetPrintersReply({
      {"glowmark_7200", "Tamrin GlowMark 7200", "socket://" + Address(kBlock, 1) + ":9100"},
      {"browsed", "Tamrin BrimLine 410", "implicitclass://browsed/"},
      {"shared", "Tamrin GlowMark 7200",
       "ipp://127.0.0.1:" + std::to_string(silent) + "/printers/shared"},
  });
  // By name: its addresses are looked up on a thread the exchange may leave behind.
  cupsServer = "localhost:" + std::to_string(devices.AddDevice(server));
  Serve(Address(kBlock, 1), Behaviour::kAnswer);

  const ProcessResult result = RunCli({"--explain"}, EnglishEnvironment());
  std::cout << "server stalled after its list: search ended after " << result.elapsedMs << " ms\n";
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_GE(lines.size(), 2u) << result.out;
  EXPECT_EQ(lines[1], "glowmark_7200\thttp://" + Address(kBlock, 1) + kDispatcher);
  const auto explained = ExplainedPrinters(lines);
  EXPECT_EQ(explained.at("browsed").first,
            "no network address found behind its port: cups-browsed queue: the local print "
            "server did not say the queue's PPD within 2000 ms");
  EXPECT_EQ(explained.at("shared").first,
            "no network address found behind its port: print server 127.0.0.1 did not say which "
            "device its queue prints to within 2000 ms");
  EXPECT_LT(result.elapsedMs, 10000);
}

TEST_F(CliE2eTest, SigintOrSigtermEndsASearchWaitingForADevice) {
  constexpr int kBlock = 4;
  StartCupsd();
  AddQueue("glow_hang", "socket://" + Address(kBlock, 1) + ":9100", "glowmark-7200.ppd");
  Serve(Address(kBlock, 1), Behaviour::kHang);

  for (const auto& [signalNumber, exitCode] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    devices.ClearRequests();
    auto child = StartCli({"--explain"}, EnglishEnvironment());
    ASSERT_TRUE(devices.WaitForRequests(1, 10s));
    const auto signalled = Clock::now();
    child->Signal(signalNumber);
    const ProcessResult result = child->Wait(30s);
    const long long afterSignal = MillisecondsSince(signalled);
    RecordProperty("after_signal_" + std::to_string(signalNumber) + "_ms",
                   std::to_string(afterSignal));
    std::cout << "signal " << signalNumber << " during a probe: exit after " << afterSignal
              << " ms\n";
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    EXPECT_LT(afterSignal, 3000) << "the signal should not wait out the 7 s time limit";
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], kNoneFoundEnglish);
    EXPECT_EQ(ExplainedPrinters(lines).at("glow_hang").first,
              "the search was stopped before the device answered");
  }
}

TEST_F(CliE2eTest, TheProxyFromTheEnvironmentIsFollowed) {
  constexpr int kBlock = 5;
  StartCupsd();
  // Nothing listens on the device's own address: only the proxy can answer for it.
  const std::string device = Address(kBlock, 1);
  const std::string proxy = Address(kBlock, 2);
  AddQueue("brim_via_proxy", "lpd://" + device + "/queue", "brimline-410.ppd");
  Serve(proxy, Behaviour::kAnswer, 200, 8080);
  const std::string proxyVariable = "http_proxy=http://" + proxy + ":8080";

  const ProcessResult proxied = RunCli({}, Environment({proxyVariable}));
  EXPECT_EQ(proxied.exitCode, 0) << proxied.err;
  EXPECT_EQ(proxied.out, kFoundText + "\nbrim_via_proxy\thttp://" + device + kSupplies + "\n");
  const auto requests = devices.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].address, proxy);
  EXPECT_EQ(requests[0].target, "http://" + device + kSupplies);

  // no_proxy sends the request straight to the device, which is not there.
  const ProcessResult direct =
      RunCli({"--explain"}, EnglishEnvironment({proxyVariable, "no_proxy=" + device}));
  EXPECT_EQ(direct.exitCode, 0) << direct.err;
  EXPECT_EQ(Lines(direct.out)[0], kNoneFoundEnglish);
  EXPECT_EQ(ExplainedPrinters(Lines(direct.out)).at("brim_via_proxy").first,
            "the device cannot be reached (HTTP client error 12029)");
  EXPECT_EQ(devices.RequestCount(), 1u);
}

TEST_F(CliE2eTest, UsageErrorsExitWithTwoAndHelpWithZero) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--json", "list"}}) {
    const ProcessResult result = RunCli(args, Environment());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("usage: pradex-cli"), std::string::npos) << result.err;
  }
  const ProcessResult help = RunCli({"--help"}, Environment());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: pradex-cli", 0), 0u);
  EXPECT_NE(help.out.find("130"), std::string::npos);
  EXPECT_EQ(help.err, "");
}

}  // namespace
}  // namespace pradex::test
