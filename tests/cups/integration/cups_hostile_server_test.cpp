// CupsSpooler and the port resolution over it, and the print dialog's printer discovery, against
// loopback servers of the device emulator that list queues no ordinary setup has, or that answer
// slowly or never.
#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/posix/cups_destinations.h"
#include "platform/posix/cups_spooler.h"
#include "platform/posix/device_uri_resolver.h"
#include "tests/emulator/device_emulator.h"
#include "tests/support/cups_printers_reply.h"
#include "ui/cli/explain.h"

namespace pradex {
namespace {

using emulator::Behaviour;
using Resolved = std::map<std::string, std::optional<std::string>>;
using testsupport::CupsGetPrintersReply;
using testsupport::Queue;

// A CUPS server on 127.0.0.1 that lists `queues` to every request, at once or, trickling, a byte
// every `delayMs`; options for a spooler that asks it.
CupsSpoolerOptions Serve(emulator::DeviceEmulator& server, const std::vector<Queue>& queues,
                         Behaviour behaviour = Behaviour::kAnswer, int delayMs = 0) {
  emulator::DeviceSpec device;
  device.address = "127.0.0.1";
  device.behaviour = behaviour;
  device.delayMs = delayMs;
  device.reply = CupsGetPrintersReply(queues);
  CupsSpoolerOptions options;
  options.server = CupsServer{device.address, server.AddDevice(device)};
  options.ioTimeoutSeconds = 1.0;
  return options;
}

// The printer list of one call and every queue's port resolved, the way one search does it;
// optionally through the console program's recording spooler.
struct SearchOverCups {
  explicit SearchOverCups(CupsSpoolerOptions options, bool recorded = false)
      : spooler(std::move(options)), used(recorded ? recording : static_cast<Spooler&>(spooler)) {}

  Resolved Resolve() {
    Resolved resolved;
    std::vector<PrinterInfo> printers;
    if (used.EnumPrinters(printers) != kErrorSuccess) return resolved;
    for (const PrinterInfo& printer : printers) {
      const PortAddress address = resolver.Resolve(printer);
      resolved[*printer.printerName] = address.outcome == PortAddress::Outcome::kFound
                                           ? std::optional(address.host)
                                           : std::nullopt;
    }
    return resolved;
  }

  CupsSpooler spooler;
  cli::RecordingSpooler recording{spooler};
  Spooler& used;
  DeviceUriResolver resolver;
};

// "1394_" marks IEEE 1394 ports among Windows port names only; in a device URI it is text.
TEST(CupsHostileServerTest, DeviceUrisHoldingTheIeee1394MarkResolveToTheirHost) {
  emulator::DeviceEmulator server;
  const CupsSpoolerOptions options =
      Serve(server, {{"lab", "Tamrin GlowMark 1", "socket://lab1394_pr:9100"},
                     {"queue", "Tamrin BrimLine 2", "lpd://127.0.2.32/1394_q"},
                     {"named", "Tamrin GlowMark 3", "ipp://1394_001/ipp/print"}});
  for (const bool recorded : {false, true}) {
    SCOPED_TRACE(recorded ? "through the console's recording spooler" : "CupsSpooler");
    SearchOverCups search(options, recorded);
    EXPECT_EQ(search.Resolve(),
              (Resolved{{"lab", "lab1394_pr"}, {"queue", "127.0.2.32"}, {"named", "1394_001"}}));
  }
}

// The ports come from the printer list's own answer: a search asks the server once, however
// many queues it resolves, so a server that stalls or changes after that answer costs nothing.
TEST(CupsHostileServerTest, OneRequestPerSearchThePortsComeFromThePrinterListsAnswer) {
  emulator::DeviceEmulator server;
  SearchOverCups search(Serve(server, {{"a", "Tamrin GlowMark 1", "socket://127.0.2.1:9100"},
                                       {"b", "Tamrin GlowMark 2", "socket://127.0.2.2:9100"},
                                       {"c", "Tamrin BrimLine 3", "lpd://127.0.2.3/q"}}));
  EXPECT_EQ(search.Resolve(),
            (Resolved{{"a", "127.0.2.1"}, {"b", "127.0.2.2"}, {"c", "127.0.2.3"}}));
  EXPECT_EQ(server.RequestCount(), 1u);
}

// A server that trickles its answer, each byte well within the I/O time-out, is given up at the
// exchange's deadline like a server that does not answer.
TEST(CupsHostileServerTest, ATricklingServerIsGivenUpAtTheExchangesDeadline) {
  emulator::DeviceEmulator server;
  CupsSpoolerOptions options =
      Serve(server, {{"a", "Tamrin GlowMark 1", "socket://127.0.2.1:9100"}}, Behaviour::kTrickle,
            /*delayMs=*/100);
  options.exchangeDeadlineMs = 1500;
  CupsSpooler spooler(options);
  auto listing = std::async(std::launch::async, [&spooler] {
    std::vector<PrinterInfo> printers;
    return spooler.EnumPrinters(printers);
  });
  // Only a guard against a hang: the reply alone takes far longer at this pace, and the listing
  // would end with it.
  EXPECT_TRUE(listing.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
      << "the listing did not end at its deadline";
  EXPECT_EQ(listing.get(), CupsSpooler::kErrorTimeout);
  EXPECT_EQ(server.RequestCount(), 1u);
}

// Stop cuts the printer list while the server is silent, long before its time-outs would.
TEST(CupsHostileServerTest, StopCutsThePrinterListAtOnce) {
  emulator::DeviceEmulator server;
  CupsSpoolerOptions options = Serve(server, {}, Behaviour::kHang);
  options.ioTimeoutSeconds = 60;
  options.exchangeDeadlineMs = 60000;
  CupsSpooler spooler(options);
  std::stop_source stop;
  auto listing = std::async(std::launch::async, [&] {
    std::vector<PrinterInfo> printers;
    return spooler.EnumPrinters(printers, stop.get_token());
  });
  ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(10)));
  stop.request_stop();
  ASSERT_EQ(listing.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(listing.get(), CupsSpooler::kErrorCancelled);
}

// cupsEnumDests asks the local cupsd first, and waits for ever on one that never answers.
TEST(CupsHostileServerTest, AStalledCupsdHoldsTheDialogsDiscoveryNoLongerThanItsTimeOutOrAStop) {
  // It stays stalled for the rest of the process, so the threads left behind wait on it, as on
  // such a cupsd, rather than all go on to DNS-SD when it goes: libdbus, under avahi, sets its
  // locks up with atomics of its own that ThreadSanitizer cannot follow across threads.
  static emulator::DeviceEmulator* const stalled = new emulator::DeviceEmulator;
  emulator::DeviceEmulator& cupsd = *stalled;
  cupsd.ClearRequests();
  CupsSpoolerOptions server = Serve(cupsd, {}, Behaviour::kHang);
  // Read by each thread on its first use of libcups: the discovery's own thread. Put back
  // while the threads left behind still wait on the server.
  struct Restored {
    std::string value;
    ~Restored() { setenv("CUPS_SERVER", value.c_str(), 1); }
  } restored{std::getenv("CUPS_SERVER") ? std::getenv("CUPS_SERVER") : ""};
  setenv("CUPS_SERVER", (server.server->host + ":" + std::to_string(server.server->port)).c_str(),
         1);
  for (const bool stopped : {false, true}) {
    SCOPED_TRACE(stopped ? "stopped" : "time-out");
    std::stop_source stop;
    auto listed = std::async(std::launch::async, [&] {
      return ListDiscoveredDestinations(
          stopped ? std::chrono::seconds(60) : std::chrono::seconds(1), stop.get_token());
    });
    ASSERT_TRUE(cupsd.WaitForRequests(stopped ? 2 : 1, std::chrono::seconds(10)));
    if (stopped) stop.request_stop();
    ASSERT_EQ(listed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(listed.get().empty());
  }
}

}  // namespace
}  // namespace pradex
