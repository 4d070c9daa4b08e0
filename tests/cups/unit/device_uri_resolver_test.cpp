// What the device URIs of desktop queues are, and how their lookups turn into port keys and
// reasons, with the lookups themselves replaced; the real daemons are in the lab tests.
#include "platform/posix/device_uri_resolver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory/memory_registry.h"
#include "platform/monitor_keys.h"
#include "platform/posix/uri_monitor_registry.h"
#include "tests/fakes/memory_spooler.h"

namespace pradex {
namespace {

using Kind = DeviceUriPlan::Kind;

struct PlanCase {
  const char* uri;
  Kind kind;
  const char* detail;  // kDirect: address; kService: "instance|type|domain"; kImplicitClass:
                       // queue; kPrintServer: "server:port"
};

std::string Detail(const DeviceUriPlan& plan) {
  switch (plan.kind) {
    case Kind::kDirect:
      return plan.address;
    case Kind::kService:
      return plan.service.instance + "|" + plan.service.type + "|" + plan.service.domain;
    case Kind::kImplicitClass:
      return plan.queue;
    case Kind::kPrintServer:
      return plan.server + ":" + std::to_string(plan.port);
    case Kind::kNotNetwork:
      return "";
  }
  return "?";
}

TEST(PlanDeviceUriTest, TellsEachQueueKindFromItsUri) {
  const PlanCase cases[] = {
      // DNS-SD service names, escaped as CUPS writes them; the instance may hold dots.
      {"dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/?uuid=7a3e0000-0000-4000-8000-0000",
       Kind::kService, "Tamrin GlowMark 5000|_ipp._tcp|local"},
      {"ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/", Kind::kService,
       "Tamrin BrimLine 410|_ipp._tcp|local"},
      {"ipps://Tamrin%20GlowMark%207200._ipps._tcp.local/", Kind::kService,
       "Tamrin GlowMark 7200|_ipps._tcp|local"},
      {"dnssd://Tamrin%20GlowMark%205000._printer._tcp.local/", Kind::kService,
       "Tamrin GlowMark 5000|_printer._tcp|local"},
      {"dnssd://Desk%20GlowMark._pdl-datastream._tcp.local./", Kind::kService,
       "Desk GlowMark|_pdl-datastream._tcp|local"},
      {"dnssd://Floor%202.GlowMark%20v1.5._ipp._tcp.local/", Kind::kService,
       "Floor 2.GlowMark v1.5|_ipp._tcp|local"},
      {"dnssd://Tamrin%20Page._http._tcp.local/", Kind::kNotNetwork, ""},
      {"dnssd://._ipp._tcp.local/", Kind::kNotNetwork, ""},
      // cups-browsed
      {"implicitclass://Tamrin_GlowMark_7200/", Kind::kImplicitClass, "Tamrin_GlowMark_7200"},
      // ipp-usb keeps its loopback port; a loopback host on the scheme's port does not.
      {"ipp://localhost:60000/ipp/print", Kind::kDirect, "localhost:60000"},
      {"ipp://127.0.0.1:60001/ipp/print", Kind::kDirect, "127.0.0.1:60001"},
      {"ipp://127.0.0.5:631/ipp/print", Kind::kDirect, "127.0.0.5"},
      {"socket://localhost:9100", Kind::kDirect, "localhost"},
      // Queues of another CUPS server.
      {"ipp://printserver:631/printers/office", Kind::kPrintServer, "printserver:631"},
      {"ipp://198.51.100.30/classes/floor", Kind::kPrintServer, "198.51.100.30:631"},
      {"http://198.51.100.30:8631/printers/office", Kind::kPrintServer, "198.51.100.30:8631"},
      // Wrapper backends.
      {"beh:/1/3/5/socket://198.51.100.26:9100", Kind::kDirect, "198.51.100.26"},
      {"beh:/0/10/60/dnssd://Tamrin%20BrimLine%20410._ipp._tcp.local/", Kind::kService,
       "Tamrin BrimLine 410|_ipp._tcp|local"},
      {"beh:/1/3/5/usb://Tamrin/GlowMark", Kind::kNotNetwork, ""},
      // Plain queues.
      {"socket://198.51.100.26:9100", Kind::kDirect, "198.51.100.26"},
      {"lpd://labprn-b/queue", Kind::kDirect, "labprn-b"},
      {"ipp://198.51.100.22/ipp/print", Kind::kDirect, "198.51.100.22"},
      {"usb://Tamrin/GlowMark%205000?serial=1", Kind::kNotNetwork, ""},
      {"file:///dev/null", Kind::kNotNetwork, ""},
      {"not a uri", Kind::kNotNetwork, ""},
  };
  for (const PlanCase& c : cases) {
    const DeviceUriPlan plan = PlanDeviceUri(c.uri);
    EXPECT_EQ(plan.kind, c.kind) << c.uri;
    EXPECT_EQ(Detail(plan), c.detail) << c.uri;
  }
}

// The lookups answer from tables; every DNS-SD round is recorded.
class FakeResolver : public DeviceUriResolver {
 public:
  std::map<std::string, std::optional<std::string>> serverDevices;  // printer-uri -> device-uri
  std::map<std::string, std::optional<std::string>> supplies;       // queue -> *APSupplies
  std::map<std::string, DnsSdAnswer> names;  // instance or host name -> answer
  DnsSdAnswer::Status unknownName = DnsSdAnswer::Status::kNotFound;
  std::vector<std::size_t> rounds;  // queries per DNS-SD round

 protected:
  std::optional<std::string> AskPrintServer(const DeviceUriPlan& plan) override {
    const auto it = serverDevices.find(plan.uri);
    return it == serverDevices.end() ? std::nullopt : it->second;
  }
  std::optional<std::string> QueueSuppliesUrl(const std::string& queue) override {
    const auto it = supplies.find(queue);
    return it == supplies.end() ? std::nullopt : it->second;
  }
  std::vector<DnsSdAnswer> ResolveNames(const std::vector<DnsSdQuery>& queries) override {
    rounds.push_back(queries.size());
    std::vector<DnsSdAnswer> answers;
    for (const DnsSdQuery& query : queries) {
      const std::string key = query.service ? query.service->instance : query.hostName;
      const auto it = names.find(key);
      DnsSdAnswer answer;
      answer.status = unknownName;
      answers.push_back(it == names.end() ? answer : it->second);
    }
    return answers;
  }
};

DnsSdAnswer Found(const std::string& host, const std::string& ipv4) {
  DnsSdAnswer answer;
  answer.status = DnsSdAnswer::Status::kFound;
  answer.host = host;
  answer.ipv4 = ipv4;
  answer.port = 631;
  return answer;
}

struct OutcomeCase {
  const char* uri;
  const char* hostName;   // resolved: "HostName"
  const char* ipAddress;  // resolved: "IPAddress", "" for none
  const char* failure;    // unresolved: a part of the reason
};

TEST(DeviceUriResolverTest, ResolvesEveryKindOrSaysWhyNot) {
  FakeResolver resolver;
  resolver.names["Tamrin GlowMark 5000"] = Found("labprn-a.local", "198.51.100.21");
  resolver.names["Tamrin BrimLine 410"] = Found("labprn-b.local", "");
  resolver.names["labprn-c.local"] = Found("labprn-c.local", "198.51.100.23");
  resolver.names["Tamrin GlowMark 8000"] = Found("labprn-e.local", "198.51.100.27");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/office"] = "socket://198.51.100.25:9100";
  resolver.serverDevices["ipp://198.51.100.30:631/printers/usbdesk"] = "usb://Tamrin/BrimLine";
  resolver.serverDevices["ipp://198.51.100.30:631/printers/mdns"] =
      "dnssd://Tamrin%20GlowMark%208000._ipp._tcp.local/";
  resolver.supplies["Tamrin_GlowMark_7200"] = "https://labprn-c.local:8631/";
  resolver.supplies["Tamrin_BrimLine_1"] = "http://198.51.100.28:631/";
  resolver.supplies["office_labsrv"] = "https://labsrv:631/printers/office";
  resolver.supplies["no_supplies"] = std::nullopt;

  const OutcomeCase cases[] = {
      {"dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/?uuid=1", "labprn-a.local",
       "198.51.100.21", ""},
      // Without an IPv4 address the host name stands.
      {"ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/", "labprn-b.local", "", ""},
      {"dnssd://Tamrin%20GlowMark%209999._ipp._tcp.local/", "", "",
       "DNS-SD service not found: \"Tamrin GlowMark 9999\""},
      {"implicitclass://Tamrin_GlowMark_7200/", "labprn-c.local", "198.51.100.23", ""},
      {"implicitclass://Tamrin_BrimLine_1/", "198.51.100.28", "198.51.100.28", ""},
      {"implicitclass://office_labsrv/", "", "", "of print server labsrv"},
      {"implicitclass://no_supplies/", "", "", "without *APSupplies"},
      {"ipp://198.51.100.30:631/printers/office", "198.51.100.25", "198.51.100.25", ""},
      {"ipp://198.51.100.30:631/printers/mdns", "labprn-e.local", "198.51.100.27", ""},
      {"ipp://198.51.100.30:631/printers/usbdesk", "", "",
       "print server 198.51.100.30 prints to a device that is not on the network (usb:)"},
      {"ipp://198.51.100.30:631/printers/silent", "", "", "print server 198.51.100.30 did not say"},
      {"ipp://localhost:60000/ipp/print", "localhost:60000", "", ""},
      {"beh:/1/3/5/socket://198.51.100.26:9100", "198.51.100.26", "198.51.100.26", ""},
  };
  std::vector<std::string> uris;
  for (const OutcomeCase& c : cases) uris.push_back(c.uri);
  resolver.Prepare(uris);

  // Every name of the search in one round: the lookups wait together, not one after another.
  EXPECT_EQ(resolver.rounds, std::vector<std::size_t>{5});
  for (const OutcomeCase& c : cases) {
    const std::optional<PortResolution> outcome = resolver.Find(c.uri);
    ASSERT_TRUE(outcome) << c.uri;
    if (*c.failure) {
      EXPECT_FALSE(outcome->Resolved()) << c.uri;
      EXPECT_NE(outcome->failure.find(c.failure), std::string::npos)
          << c.uri << ": " << outcome->failure;
      EXPECT_EQ(resolver.FailureReason(c.uri), outcome->failure);
    } else {
      EXPECT_TRUE(outcome->Resolved()) << c.uri << ": " << outcome->failure;
      EXPECT_EQ(outcome->hostName, c.hostName) << c.uri;
      EXPECT_EQ(outcome->ipAddress.value_or(""), c.ipAddress) << c.uri;
    }
  }
  EXPECT_EQ(resolver.FailureReason("usb://Tamrin/GlowMark"), "not a network device (usb:)");
}

TEST(DeviceUriResolverTest, EachDnsSdFailureHasItsOwnReason) {
  const std::pair<DnsSdAnswer::Status, const char*> cases[] = {
      {DnsSdAnswer::Status::kNoDaemon, "no DNS-SD daemon"},
      {DnsSdAnswer::Status::kNotFound, "DNS-SD service not found"},
      {DnsSdAnswer::Status::kTimedOut, "(no answer within 2000 ms)"},
      {DnsSdAnswer::Status::kStopped, "cut by stop"},
  };
  const std::string uri = "dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/";
  for (const auto& [status, reason] : cases) {
    FakeResolver resolver;
    resolver.unknownName = status;
    resolver.Prepare({uri});
    EXPECT_NE(resolver.FailureReason(uri).find(reason), std::string::npos)
        << resolver.FailureReason(uri);
  }
}

TEST(DeviceUriResolverTest, RegistryViewReadsTheResolvedAddressAndHidesUnresolvedPorts) {
  FakeResolver resolver;
  resolver.names["Tamrin GlowMark 5000"] = Found("labprn-a.local", "198.51.100.21");
  const std::string found = "dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/";
  const std::string missing = "dnssd://Tamrin%20GlowMark%209999._ipp._tcp.local/";
  resolver.Prepare({found, missing});
  MemoryRegistry store;
  UriMonitorRegistry view(store, &resolver);

  const auto read = [&](const std::string& uri, const char* value) -> std::optional<std::string> {
    RegKey key = kNoKey;
    const std::string path = std::string(kSystemMonitorPortsKey) + "\\" + uri;
    if (view.OpenKey(kHkeyLocalMachine, path.c_str(), kKeyRead, &key) != kErrorSuccess)
      return std::nullopt;
    std::uint8_t buffer[kMaxPathBuffer] = {};
    std::uint32_t size = sizeof(buffer);
    const long rc = view.QueryValue(key, value, nullptr, buffer, &size);
    view.CloseKey(key);
    if (rc != kErrorSuccess) return std::string("<no value>");
    return std::string(reinterpret_cast<const char*>(buffer));
  };
  EXPECT_EQ(read(found, "IPAddress"), "198.51.100.21");
  EXPECT_EQ(read(found, "HostName"), "labprn-a.local");
  EXPECT_EQ(read(missing, "HostName"), std::nullopt);
  EXPECT_EQ(read("ipp://localhost:60000/ipp/print", "HostName"), "localhost:60000");
  EXPECT_EQ(read("ipp://localhost:60000/ipp/print", "IPAddress"), "<no value>");
  EXPECT_EQ(read("socket://198.51.100.26:9100", "IPAddress"), "198.51.100.26");
}

PrinterInfo Queue(const std::string& name, const std::string& port, const std::string& model) {
  PrinterInfo info;
  info.printerName = name;
  info.portName = port;
  info.driverName = model;
  return info;
}

// The print dialog's printers join the installed queues, each device once, and their ports
// join the port list so that the search can resolve them.
TEST(ResolvingSpoolerTest, AddsThePrintDialogsPrintersEachDeviceOnce) {
  MemorySpooler queues;
  const std::string socketPort = "socket://198.51.100.26:9100";
  const std::string driverless = "ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/";
  queues.SetPrinters({Queue("desk", socketPort, "Tamrin BrimLine 300"),
                      Queue("driverless_brimline", driverless, "Tamrin BrimLine 410"),
                      Queue("Tamrin_GlowMark_7200", "implicitclass://Tamrin_GlowMark_7200/",
                            "Tamrin GlowMark 7200, driverless, cups-filters 1.28.17")});
  queues.SetPorts({socketPort, driverless, "implicitclass://Tamrin_GlowMark_7200/"});
  FakeResolver resolver;
  resolver.names["Tamrin BrimLine 410"] = Found("labprn-b.local", "198.51.100.22");
  resolver.names["Tamrin BrimLine 520"] = Found("labprn-f.local", "198.51.100.27");
  resolver.names["Desk BrimLine"] = Found("labprn-d.local", "198.51.100.26");
  ResolvingSpooler spooler(queues, resolver, [&](int*) {
    return std::vector<CupsDestination>{
        {"Tamrin_BrimLine_410", "Tamrin BrimLine 410", driverless},  // same device URI
        {"Tamrin_GlowMark_7200", "Tamrin GlowMark 7200",             // same name
         "ipps://Tamrin%20GlowMark%207200._ipps._tcp.local/"},
        {"Desk_BrimLine", "Tamrin BrimLine 300",  // resolves to the socket queue's address
         "ipp://Desk%20BrimLine._ipp._tcp.local/"},
        {"Tamrin_BrimLine_520", "Tamrin BrimLine 520",
         "ipp://Tamrin%20BrimLine%20520._ipp._tcp.local/"},
    };
  });

  std::vector<PrinterInfo> printers;
  ASSERT_EQ(spooler.EnumPrinters(printers), kErrorSuccess);
  std::vector<std::string> names;
  for (const PrinterInfo& printer : printers) names.push_back(printer.printerName.value_or(""));
  EXPECT_EQ(names, (std::vector<std::string>{"desk", "driverless_brimline", "Tamrin_GlowMark_7200",
                                             "Tamrin_BrimLine_520"}));
  EXPECT_EQ(printers.back().driverName, "Tamrin BrimLine 520");
  const std::optional<PortResolution> added =
      resolver.Find("ipp://Tamrin%20BrimLine%20520._ipp._tcp.local/");
  ASSERT_TRUE(added && added->Resolved());
  EXPECT_EQ(added->ipAddress, "198.51.100.27");

  std::vector<std::string> ports;
  ASSERT_EQ(spooler.EnumPorts(std::nullopt, ports), kErrorSuccess);
  EXPECT_EQ(ports, (std::vector<std::string>{socketPort, driverless,
                                             "implicitclass://Tamrin_GlowMark_7200/",
                                             "ipp://Tamrin%20BrimLine%20520._ipp._tcp.local/"}));
}

// Stop cuts the print dialog's discovery as it cuts the lookups; the next search is not cut by
// it.
TEST(ResolvingSpoolerTest, StopCutsTheDiscoveryAndTheNextSearchStartsUncut) {
  MemorySpooler queues;
  FakeResolver resolver;
  std::promise<void> browsing;
  std::vector<int> cancelAtStart;
  bool cut = false;
  ResolvingSpooler spooler(queues, resolver, [&](int* cancel) {
    const std::atomic_ref<int> flag(*cancel);
    cancelAtStart.push_back(flag.load());
    if (cancelAtStart.size() == 1) {
      // Browses until cut, as cupsEnumDests does with its cancel variable.
      browsing.set_value();
      const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (flag.load() == 0 && std::chrono::steady_clock::now() < guard)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      cut = flag.load() != 0;
    }
    return std::vector<CupsDestination>{};
  });

  std::future<long> first = std::async(std::launch::async, [&] {
    std::vector<PrinterInfo> printers;
    return spooler.EnumPrinters(printers);
  });
  browsing.get_future().wait();
  resolver.Stop();
  EXPECT_EQ(first.get(), kErrorSuccess);
  EXPECT_TRUE(cut);

  std::vector<PrinterInfo> printers;
  EXPECT_EQ(spooler.EnumPrinters(printers), kErrorSuccess);
  EXPECT_EQ(cancelAtStart, (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace pradex
