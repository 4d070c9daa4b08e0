// CupsSpooler against a private cupsd with known queues (tests/cups/integration/
// private-cupsd-queues), and against servers that are missing or never answer.
#include "platform/posix/cups_spooler.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/device_uri_resolver.h"
#include "tests/emulator/device_emulator.h"
#include "tests/support/private_cupsd.h"

namespace pradex {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The private cupsd with the test queues: the CTest fixture's (PRADEX_CUPSD_DIR, CUPS_SERVER
// set by CTest), or, when the program runs on its own, one started here for this process.
class CupsdEnvironment : public ::testing::Environment {
 public:
  static CupsdEnvironment* instance;

  void SetUp() override {
    if (const char* fixture = std::getenv("PRADEX_CUPSD_DIR"); fixture && *fixture) {
      dir = fixture;
    } else {
      scratch = std::make_unique<testsupport::ScratchDir>();
      cupsd =
          std::make_unique<testsupport::PrivateCupsd>(PRADEX_CUPSD_QUEUES, scratch->Sub("cupsd"));
      dir = scratch->Sub("cupsd");
    }
    socketPath = (dir / "cups.sock").string();
    std::ifstream(dir / "cupsd.port") >> portNumber;
    ASSERT_TRUE(fs::exists(socketPath)) << "no private cupsd in " << dir;
    // libcups reads CUPS_SERVER on a thread's first use; every test asks this server only.
    setenv("CUPS_SERVER", socketPath.c_str(), 1);
  }

  void TearDown() override {
    cupsd.reset();
    scratch.reset();
  }

  const std::string& socket() const { return socketPath; }
  int port() const { return portNumber; }

 private:
  fs::path dir;
  std::string socketPath;
  int portNumber = 0;
  // A server of this process's own, when it runs without the CTest fixture.
  std::unique_ptr<testsupport::ScratchDir> scratch;
  std::unique_ptr<testsupport::PrivateCupsd> cupsd;
};

CupsdEnvironment* CupsdEnvironment::instance =
    static_cast<CupsdEnvironment*>(::testing::AddGlobalTestEnvironment(new CupsdEnvironment));

struct ExpectedQueue {
  std::string name;
  std::string makeAndModel;
  std::string port;
};

// The queues of private-cupsd-queues in the server's order (CUPS sorts queue names); the
// class all_glowmarks is not among them.
const std::vector<ExpectedQueue> kQueues = {
    {"brimline_300", "TAMRIN BRIMLINE 300", "lpd://127.0.0.6/queue"},
    {"glow_usb", "Tamrin GlowMark 5000 Series", "usb://Tamrin/GlowMark%205000?serial=GM5000-01"},
    {"glow_x_secure", "Tamrin-GlowMark X", "ipp://127.0.0.7:631/ipp/print"},
    {"glowmark_5000", "Tamrin GlowMark 5000 Series", "socket://127.0.0.5:9100"},
    {"null_sink", "Otherco LaserStar 12", "file:///dev/null"},
    {"office_laser", "Otherco LaserStar 12", "http://127.0.0.8:631/printers/laser"},
    {"shared_socket", "Otherco LaserStar 12", "socket://127.0.0.5:9100"},
};

void ExpectTestQueues(const std::vector<PrinterInfo>& printers) {
  ASSERT_EQ(printers.size(), kQueues.size());
  for (std::size_t i = 0; i < kQueues.size(); ++i) {
    SCOPED_TRACE(kQueues[i].name);
    EXPECT_EQ(printers[i].printerName, kQueues[i].name);
    EXPECT_EQ(printers[i].driverName, kQueues[i].makeAndModel);
    EXPECT_EQ(printers[i].portName, kQueues[i].port);
    EXPECT_EQ(printers[i].serverName, std::nullopt);
  }
}

TEST(CupsSpoolerTest, EnumPrintersListsTheQueuesOfTheConfiguredServer) {
  CupsSpooler spooler;
  std::vector<PrinterInfo> printers;
  const auto start = Clock::now();
  ASSERT_EQ(spooler.EnumPrinters(printers), kErrorSuccess);
  std::printf("EnumPrinters with %zu queues: %.4f s\n", printers.size(), SecondsSince(start));
  ExpectTestQueues(printers);
  for (const PrinterInfo& printer : printers) {
    EXPECT_EQ(printer.portName->find("alice"), std::string::npos);
    EXPECT_EQ(printer.portName->find("s3cret"), std::string::npos);
  }
}

TEST(CupsSpoolerTest, EnumPortsListsEachDeviceUriOnceInQueueOrder) {
  CupsSpooler spooler;
  std::vector<std::string> ports = {"left over"};
  ASSERT_EQ(spooler.EnumPorts(std::nullopt, ports), kErrorSuccess);
  EXPECT_EQ(ports, (std::vector<std::string>{
                       "lpd://127.0.0.6/queue",
                       "usb://Tamrin/GlowMark%205000?serial=GM5000-01",
                       "ipp://127.0.0.7:631/ipp/print",
                       "socket://127.0.0.5:9100",
                       "file:///dev/null",
                       "http://127.0.0.8:631/printers/laser",
                   }));

  // Every printer's port is in the list, so the port cache's exact look-up finds it.
  std::vector<PrinterInfo> printers;
  ASSERT_EQ(spooler.EnumPrinters(printers), kErrorSuccess);
  for (const PrinterInfo& printer : printers)
    EXPECT_NE(std::find(ports.begin(), ports.end(), *printer.portName), ports.end())
        << printer.printerName.value_or("");

  std::vector<std::string> remote = {"left over"};
  EXPECT_EQ(spooler.EnumPorts(std::string("printserver"), remote), CupsSpooler::kErrorNotSupported);
  EXPECT_TRUE(remote.empty());
}

TEST(CupsSpoolerTest, ExplicitServerByLocalSocketOrLoopbackPort) {
  const CupsdEnvironment& cupsd = *CupsdEnvironment::instance;
  for (const CupsServer& server :
       {CupsServer{cupsd.socket(), 0}, CupsServer{"127.0.0.1", cupsd.port()}}) {
    SCOPED_TRACE(server.host);
    CupsSpooler spooler(CupsSpoolerOptions{server, 3000, 5.0});
    std::vector<PrinterInfo> printers;
    ASSERT_EQ(spooler.EnumPrinters(printers), kErrorSuccess);
    ExpectTestQueues(printers);
  }
}

// The queues' device URIs as the port resolution reads them.
TEST(CupsSpoolerTest, TheQueuesPortsResolveToTheirDevices) {
  CupsSpooler spooler;
  DeviceUriResolver resolver;
  std::vector<PrinterInfo> printers;
  ASSERT_EQ(spooler.EnumPrinters(printers), kErrorSuccess);

  std::map<std::string, std::optional<std::string>> resolved;
  for (const PrinterInfo& printer : printers) {
    const PortAddress address = resolver.Resolve(printer);
    if (address.outcome == PortAddress::Outcome::kNeedsLookup)
      resolved[*printer.printerName] = "asks its server";
    else if (address.outcome == PortAddress::Outcome::kFound)
      resolved[*printer.printerName] = address.host;
    else
      resolved[*printer.printerName] = std::nullopt;
  }
  EXPECT_EQ(resolved, (std::map<std::string, std::optional<std::string>>{
                          {"brimline_300", "127.0.0.6"},
                          {"glow_usb", std::nullopt},
                          {"glow_x_secure", "127.0.0.7"},
                          {"glowmark_5000", "127.0.0.5"},
                          {"null_sink", std::nullopt},
                          {"office_laser", "asks its server"},
                          {"shared_socket", "127.0.0.5"},
                      }));
}

// A server of its own, started and stopped by the test itself.
TEST(CupsSpoolerTest, ServerWithoutQueuesGivesAnEmptyList) {
  testsupport::ScratchDir scratch;
  const fs::path dir = scratch.Sub("cupsd");
  auto cupsd = std::make_unique<testsupport::PrivateCupsd>(PRADEX_CUPSD_PRIVATE, dir.string());
  EXPECT_EQ(cupsd->Server(), (dir / "cups.sock").string());

  CupsSpooler spooler(CupsSpoolerOptions{CupsServer{(dir / "cups.sock").string(), 0}, 3000, 5.0});
  std::vector<PrinterInfo> printers(1);
  std::vector<std::string> ports = {"left over"};
  EXPECT_EQ(spooler.EnumPrinters(printers), kErrorSuccess);
  EXPECT_TRUE(printers.empty());
  EXPECT_EQ(spooler.EnumPorts(std::nullopt, ports), kErrorSuccess);
  EXPECT_TRUE(ports.empty());

  cupsd.reset();  // stops it
  EXPECT_EQ(spooler.EnumPrinters(printers), CupsSpooler::kRpcServerUnavailable)
      << "cupsd still running";
}

TEST(CupsSpoolerTest, MissingServerFailsAtOnce) {
  const std::string missing =
      (fs::temp_directory_path() / "pradex-no-cupsd" / "cups.sock").string();

  // Time-outs of 30 s: a call that waited for one of them would not end within 10 s.
  CupsSpooler bySocket(CupsSpoolerOptions{CupsServer{missing, 0}, 30000, 30.0});
  std::vector<PrinterInfo> printers(1);
  auto start = Clock::now();
  EXPECT_EQ(bySocket.EnumPrinters(printers), CupsSpooler::kRpcServerUnavailable);
  double seconds = SecondsSince(start);
  std::printf("missing socket: %.4f s\n", seconds);
  EXPECT_LT(seconds, 10.0);
  EXPECT_TRUE(printers.empty()) << "a failure is not a list";
  std::vector<std::string> ports = {"left over"};
  EXPECT_EQ(bySocket.EnumPorts(std::nullopt, ports), CupsSpooler::kRpcServerUnavailable);
  EXPECT_TRUE(ports.empty());

  // The same through CUPS_SERVER, which libcups reads on a thread's first use.
  const std::string saved = std::getenv("CUPS_SERVER") ? std::getenv("CUPS_SERVER") : "";
  setenv("CUPS_SERVER", missing.c_str(), 1);
  long rc = -1;
  start = Clock::now();
  std::thread([&rc] {
    CupsSpooler configured;
    std::vector<PrinterInfo> list;
    rc = configured.EnumPrinters(list);
  }).join();
  seconds = SecondsSince(start);
  setenv("CUPS_SERVER", saved.c_str(), 1);
  EXPECT_EQ(rc, CupsSpooler::kRpcServerUnavailable);
  EXPECT_LT(seconds, CupsSpoolerOptions{}.connectTimeoutMs / 1000.0);

  // A closed loopback port.
  const std::uint16_t closedPort = emulator::DeviceEmulator::ClosedPort("127.0.0.1");
  CupsSpooler byPort(CupsSpoolerOptions{CupsServer{"127.0.0.1", closedPort}, 30000, 30.0});
  start = Clock::now();
  EXPECT_EQ(byPort.EnumPrinters(printers), CupsSpooler::kRpcServerUnavailable);
  seconds = SecondsSince(start);
  std::printf("closed loopback port: %.4f s\n", seconds);
  EXPECT_LT(seconds, 10.0);
}

// A loopback server of the device emulator (emulator::Behaviour); its port.
int Serve(emulator::DeviceEmulator& server, emulator::Behaviour behaviour, std::string reply = {}) {
  emulator::DeviceSpec spec;
  spec.address = "127.0.0.1";
  spec.behaviour = behaviour;
  spec.reply = std::move(reply);
  return server.AddDevice(spec);
}

TEST(CupsSpoolerTest, ServerThatNeverAnswersFailsWithinTheTimeOuts) {
  emulator::DeviceEmulator server;
  const int port = Serve(server, emulator::Behaviour::kHang);
  const CupsSpoolerOptions defaults;
  CupsSpooler spooler(CupsSpoolerOptions{CupsServer{"127.0.0.1", port}, defaults.connectTimeoutMs,
                                         defaults.ioTimeoutSeconds});
  std::vector<PrinterInfo> printers(1);
  const auto start = Clock::now();
  EXPECT_EQ(spooler.EnumPrinters(printers), CupsSpooler::kErrorTimeout);
  const double seconds = SecondsSince(start);
  std::printf("silent server, I/O time-out %.1f s: %.3f s\n", defaults.ioTimeoutSeconds, seconds);
  EXPECT_TRUE(printers.empty());
  // Connecting succeeds at once; the wait for the answer is what ends.
  EXPECT_GE(seconds, defaults.ioTimeoutSeconds - 0.5);
  EXPECT_LT(seconds, defaults.ioTimeoutSeconds + 1.5);
}

TEST(CupsSpoolerTest, ConnectionThatIsNeverAcceptedFailsWithinTheConnectTimeOut) {
  emulator::DeviceEmulator server;
  const int port = Serve(server, emulator::Behaviour::kBlackhole);
  CupsSpooler spooler(CupsSpoolerOptions{CupsServer{"127.0.0.1", port}, 1000, 5.0});
  std::vector<PrinterInfo> printers;
  const auto start = Clock::now();
  EXPECT_EQ(spooler.EnumPrinters(printers), CupsSpooler::kErrorTimeout);
  const double seconds = SecondsSince(start);
  std::printf("unaccepted connection, connect time-out 1 s: %.3f s\n", seconds);
  // The connect time-out ended it, seconds before the 5 s wait for an answer could have.
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 4.0);
}

TEST(CupsSpoolerTest, ServerAskingForCredentialsIsAccessDeniedWithoutAPrompt) {
  emulator::DeviceEmulator server;
  const int port = Serve(server, emulator::Behaviour::kAnswer,
                         "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"CUPS\"\r\n"
                         "Content-Length: 0\r\n\r\n");
  CupsSpooler spooler(CupsSpoolerOptions{CupsServer{"127.0.0.1", port}, 3000, 5.0});
  std::vector<PrinterInfo> printers(1);
  const auto start = Clock::now();
  EXPECT_EQ(spooler.EnumPrinters(printers), kErrorAccessDenied);
  std::printf("server asking for credentials: %.3f s\n", SecondsSince(start));
  EXPECT_LT(SecondsSince(start), 3.0);
  EXPECT_TRUE(printers.empty());
  EXPECT_GE(server.RequestCount(), 1u);
}

TEST(CupsSpoolerTest, ServerErrorIsAFailureNotAnEmptyList) {
  // An IPP response with status server-error-internal-error (0x0500) and no attributes.
  const std::string ipp("\x02\x00\x05\x00\x00\x00\x00\x01\x03", 9);
  emulator::DeviceEmulator server;
  const int port = Serve(server, emulator::Behaviour::kAnswer,
                         "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
                             std::to_string(ipp.size()) + "\r\n\r\n" + ipp);
  CupsSpooler spooler(CupsSpoolerOptions{CupsServer{"127.0.0.1", port}, 3000, 5.0});
  std::vector<PrinterInfo> printers(1);
  const auto start = Clock::now();
  EXPECT_EQ(spooler.EnumPrinters(printers), CupsSpooler::kErrorGenFailure);
  EXPECT_LT(SecondsSince(start), 3.0);
  EXPECT_TRUE(printers.empty());
}

}  // namespace
}  // namespace pradex
