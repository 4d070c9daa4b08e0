// CupsSpooler and the port resolution over it, against loopback servers that list queues
// no ordinary setup has, or that answer slowly or not at all.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/port_cache.h"
#include "platform/memory/memory_registry.h"
#include "platform/posix/cups_spooler.h"
#include "platform/posix/uri_monitor_registry.h"
#include "tests/cups/integration/fake_cups_server.h"
#include "tests/fakes/memory_device_io.h"
#include "ui/cli/explain.h"

namespace pradex {
namespace {

using Answer = FakeCupsServer::Answer;
using Resolved = std::map<std::string, std::optional<std::string>>;

// The printer list of one call and every queue's port resolved through the monitor view, the
// way one search does it; optionally through the console program's recording spooler.
struct SearchOverCups {
  explicit SearchOverCups(CupsSpoolerOptions options, bool recorded = false)
      : spooler(std::move(options)), used(recorded ? recording : static_cast<Spooler&>(spooler)) {}

  Resolved Resolve() {
    Resolved resolved;
    std::vector<PrinterInfo> printers;
    if (used.EnumPrinters(printers) != kErrorSuccess) return resolved;
    for (const PrinterInfo& printer : printers) {
      std::string address;
      resolved[*printer.printerName] = cache.ResolvePortAddress(platform, printer, address)
                                           ? std::optional(address)
                                           : std::nullopt;
    }
    return resolved;
  }

  CupsSpooler spooler;
  cli::RecordingSpooler recording{spooler};
  Spooler& used;
  MemoryRegistry store;
  UriMonitorRegistry registry{store};
  MemoryDeviceIo devices;
  const DiscoveryPlatform platform{used, registry, devices};
  PortCache cache;
};

CupsSpoolerOptions OptionsFor(const FakeCupsServer& server) {
  CupsSpoolerOptions options;
  options.server = CupsServer{"127.0.0.1", server.port()};
  options.ioTimeoutSeconds = 1.0;
  return options;
}

// "1394_" marks IEEE 1394 ports among Windows port names only; in a device URI it is text.
TEST(CupsHostileServerTest, DeviceUrisHoldingTheIeee1394MarkResolveToTheirHost) {
  FakeCupsServer server({{"lab", "Tamrin GlowMark 1", "socket://lab1394_pr:9100"},
                         {"queue", "Tamrin BrimLine 2", "lpd://127.0.2.32/1394_q"},
                         {"named", "Tamrin GlowMark 3", "ipp://1394_001/ipp/print"}},
                        {Answer::kAtOnce});
  ASSERT_NE(server.port(), 0);
  for (const bool recorded : {false, true}) {
    SCOPED_TRACE(recorded ? "through the console's recording spooler" : "CupsSpooler");
    SearchOverCups search(OptionsFor(server), recorded);
    EXPECT_EQ(search.Resolve(),
              (Resolved{{"lab", "lab1394_pr"}, {"queue", "127.0.2.32"}, {"named", "1394_001"}}));
  }
}

// A server that stalls after its first answer costs the search nothing more: the ports come
// from the printer list's own answer.
TEST(CupsHostileServerTest, OneRequestPerSearchEvenWhenTheServerStallsAfterItsFirstAnswer) {
  FakeCupsServer server({{"a", "Tamrin GlowMark 1", "socket://127.0.2.1:9100"},
                         {"b", "Tamrin GlowMark 2", "socket://127.0.2.2:9100"},
                         {"c", "Tamrin BrimLine 3", "lpd://127.0.2.3/q"}},
                        {Answer::kAtOnce, Answer::kNever});
  ASSERT_NE(server.port(), 0);
  SearchOverCups search(OptionsFor(server));
  EXPECT_EQ(search.Resolve(),
            (Resolved{{"a", "127.0.2.1"}, {"b", "127.0.2.2"}, {"c", "127.0.2.3"}}));
  EXPECT_EQ(server.connections(), 1);
}

// A server that trickles its answer, each byte well within the I/O time-out, is given up at the
// exchange's deadline like a server that does not answer.
TEST(CupsHostileServerTest, ATricklingServerIsGivenUpAtTheExchangesDeadline) {
  FakeCupsServer server({{"a", "Tamrin GlowMark 1", "socket://127.0.2.1:9100"}}, {Answer::kTrickle},
                        std::chrono::milliseconds(100));
  ASSERT_NE(server.port(), 0);
  CupsSpoolerOptions options = OptionsFor(server);
  options.exchangeDeadlineMs = 1500;
  CupsSpooler spooler(options);
  auto listing = std::async(std::launch::async, [&spooler] {
    std::vector<PrinterInfo> printers;
    return spooler.EnumPrinters(printers);
  });
  // Only a guard against a hang: the reply alone would take far longer at this pace.
  if (listing.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "the listing did not end at its deadline";
    server.Stop();
  }
  EXPECT_EQ(listing.get(), CupsSpooler::kErrorTimeout);
  EXPECT_EQ(server.connections(), 1);
}

}  // namespace
}  // namespace pradex
