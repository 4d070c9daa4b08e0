// What the device URIs of desktop queues are, and how their lookups turn into addresses and
// reasons, with the lookups themselves replaced; the real daemons are in the lab tests.
#include "platform/posix/device_uri_resolver.h"
#include "tests/support/english_texts.h"

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

namespace pradex {
namespace {

using Kind = DeviceUriPlan::Kind;
using Clock = std::chrono::steady_clock;

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

// The lookups answer from tables.
class FakeResolver : public DeviceUriResolver {
 public:
  using DeviceUriResolver::DeviceUriResolver;
  std::map<std::string, CupsLookupResult> serverDevices;  // printer-uri -> device-uri
  std::map<std::string, CupsLookupResult> supplies;       // queue -> *APSupplies
  std::map<std::string, DnsSdAnswer> names;               // instance or host name -> answer

 protected:
  CupsLookupResult AskPrintServer(const DeviceUriPlan& plan, Clock::time_point,
                                  std::stop_token) override {
    const auto it = serverDevices.find(plan.uri);
    return it == serverDevices.end() ? CupsLookupResult{} : it->second;
  }
  CupsLookupResult QueueSupplies(const std::string& queue, Clock::time_point,
                                 std::stop_token) override {
    const auto it = supplies.find(queue);
    return it == supplies.end() ? CupsLookupResult{} : it->second;
  }
  DnsSdAnswer ResolveName(const DnsSdQuery& query, Clock::time_point, std::stop_token) override {
    const auto it = names.find(query.service ? query.service->instance : query.hostName);
    DnsSdAnswer notFound;
    notFound.status = DnsSdAnswer::Status::kNotFound;
    return it == names.end() ? notFound : it->second;
  }
};

CupsLookupResult Said(const std::string& value) {
  return CupsLookupResult{CupsLookupResult::Status::kAnswered, value};
}

DnsSdAnswer Found(const std::string& host, const std::string& ipv4, std::uint16_t port = 631,
                  const std::string& rp = "ipp/print") {
  DnsSdAnswer answer;
  answer.status = DnsSdAnswer::Status::kFound;
  answer.host = host;
  answer.ipv4 = ipv4;
  answer.port = port;
  answer.resourcePath = rp;
  return answer;
}

// What the search gets for a port: at once, or from the lookup it asked for.
PortAddress Address(DeviceUriResolver& resolver, const std::string& uri) {
  const PrinterInfo printer{std::nullopt, "queue", uri, "Tamrin GlowMark 1"};
  const PortAddress first = resolver.Resolve(printer);
  if (first.outcome != PortAddress::Outcome::kNeedsLookup) return first;
  return resolver.Lookup(printer, std::stop_token());
}

struct OutcomeCase {
  const char* uri;
  const char* address;  // resolved: host[:port], "" when not
  const char* failure;  // unresolved: a part of the reason
};

TEST(DeviceUriResolverTest, ResolvesEveryKindOrSaysWhyNot) {
  using S = CupsLookupResult::Status;
  FakeResolver resolver;
  resolver.names["Tamrin GlowMark 5000"] = Found("labprn-a.local", "198.51.100.21");
  resolver.names["Tamrin BrimLine 410"] = Found("labprn-b.local", "");
  resolver.names["labprn-c.local"] = Found("labprn-c.local", "198.51.100.23");
  resolver.names["Tamrin GlowMark 8000"] = Found("labprn-e.local", "198.51.100.27");
  resolver.names["Desk USB"] = Found("desk.local", "127.0.0.1", 60000);
  resolver.names["Office Shared"] = Found("labsrv.local", "198.51.100.30", 631, "printers/office");
  resolver.names["Only Six"] = Found("six.local", "");
  resolver.names["Only Six"].ipv6 = "fe80::6%eth0";
  for (const auto& [name, status] : {std::pair{"No Daemon", DnsSdAnswer::Status::kNoDaemon},
                                     {"Silent", DnsSdAnswer::Status::kTimedOut},
                                     {"Cut", DnsSdAnswer::Status::kStopped}})
    resolver.names[name].status = status;
  resolver.serverDevices["ipp://198.51.100.30:631/printers/office"] =
      Said("socket://198.51.100.25:9100");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/usbdesk"] =
      Said("usb://Tamrin/BrimLine");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/mdns"] =
      Said("dnssd://Tamrin%20GlowMark%208000._ipp._tcp.local/");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/ippusb"] =
      Said("ipp://localhost:60000/ipp/print");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/onward"] =
      Said("ipp://198.51.100.31:631/printers/far");
  resolver.serverDevices["ipp://198.51.100.31:631/printers/far"] = Said("lpd://198.51.100.32/q");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/loop"] =
      Said("ipp://198.51.100.30:631/printers/loop");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/gone"] = {S::kUnreachable, ""};
  resolver.serverDevices["ipp://198.51.100.30:631/printers/no"] = {S::kRefused, ""};
  resolver.serverDevices["ipp://198.51.100.30:631/printers/locked"] = {S::kNeedsPassword, ""};
  resolver.supplies["Tamrin_GlowMark_7200"] = Said("https://labprn-c.local.:8631/");
  resolver.supplies["Tamrin_BrimLine_1"] = Said("http://198.51.100.28:631/");
  resolver.supplies["office_labsrv"] = Said("https://labsrv:631/printers/office");

  const OutcomeCase cases[] = {
      {"dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/?uuid=1", "198.51.100.21", ""},
      // Without an IPv4 address the host name stands.
      {"ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/", "labprn-b.local", ""},
      {"ipp://Only%20Six._ipp._tcp.local/", "six.local", ""},
      // ipp-usb announcing its device on this machine: the service's port is the device's.
      {"dnssd://Desk%20USB._ipp._tcp.local/", "127.0.0.1:60000", ""},
      // A print server's shared queue, announced: the device its queue prints to.
      {"dnssd://Office%20Shared._ipp._tcp.local/", "198.51.100.25", ""},
      {"dnssd://Tamrin%20GlowMark%209999._ipp._tcp.local/", "",
       "DNS-SD service not found: \"Tamrin GlowMark 9999\""},
      {"dnssd://No%20Daemon._ipp._tcp.local/", "", "no DNS-SD daemon"},
      {"dnssd://Silent._ipp._tcp.local/", "", "(no answer within 2000 ms)"},
      {"dnssd://Cut._ipp._tcp.local/", "", "cut by stop"},
      {"ipp://labprn-c.local./ipp/print", "198.51.100.23", ""},
      {"implicitclass://Tamrin_GlowMark_7200/", "198.51.100.23", ""},
      {"implicitclass://Tamrin_BrimLine_1/", "198.51.100.28", ""},
      {"implicitclass://office_labsrv/", "", "of print server labsrv"},
      {"implicitclass://no_supplies/", "", "without *APSupplies"},
      {"ipp://198.51.100.30:631/printers/office", "198.51.100.25", ""},
      {"ipp://198.51.100.30:631/printers/mdns", "198.51.100.27", ""},
      {"ipp://198.51.100.30:631/printers/onward", "198.51.100.32", ""},
      {"ipp://198.51.100.30:631/printers/loop", "", "one print server too many"},
      {"ipp://198.51.100.30:631/printers/ippusb", "", "on its own machine (localhost:60000)"},
      {"ipp://198.51.100.30:631/printers/usbdesk", "",
       "print server 198.51.100.30 prints to a device that is not on the network (usb:)"},
      {"ipp://198.51.100.30:631/printers/silent", "", "print server 198.51.100.30 did not say"},
      {"ipp://198.51.100.30:631/printers/gone", "", "198.51.100.30 cannot be reached"},
      {"ipp://198.51.100.30:631/printers/no", "", "198.51.100.30 refused"},
      {"ipp://198.51.100.30:631/printers/locked", "", "asks for a password"},
      {"ipp://localhost:60000/ipp/print", "localhost:60000", ""},
      {"beh:/1/3/5/socket://198.51.100.26:9100", "198.51.100.26", ""},
      {"usb://Tamrin/GlowMark", "", "not a network device (usb:)"},
  };
  for (const OutcomeCase& c : cases) {
    const PortAddress address = Address(resolver, c.uri);
    if (*c.failure) {
      EXPECT_EQ(address.outcome, PortAddress::Outcome::kNotFound) << c.uri;
      const std::string problem = testsupport::English(address.problem);
      EXPECT_NE(problem.find(c.failure), std::string::npos) << c.uri << ": " << problem;
    } else {
      ASSERT_EQ(address.outcome, PortAddress::Outcome::kFound) << c.uri;
      const std::string got =
          address.host + (address.port ? ":" + std::to_string(address.port) : "");
      EXPECT_EQ(got, c.address) << c.uri;
    }
  }
}

// Only what needs asking someone waits for a lookup; print servers' lookups are grouped by
// server, so that a few at a time go to each.
TEST(DeviceUriResolverTest, OnlyPortsThatNeedAskingWaitForALookup) {
  FakeResolver resolver;
  const auto group = [&](const std::string& uri) {
    const PortAddress address = resolver.Resolve(PrinterInfo{std::nullopt, "q", uri, "m"});
    return address.outcome == PortAddress::Outcome::kNeedsLookup ? address.lookupGroup
                                                                 : std::string("at once");
  };
  EXPECT_EQ(group("socket://198.51.100.26:9100"), "at once");
  EXPECT_EQ(group("usb://Tamrin/GlowMark"), "at once");
  EXPECT_EQ(group("ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/"), "");
  EXPECT_EQ(group("ipp://PrintSrv:631/printers/a"), group("ipp://printsrv:631/printers/b"));
  EXPECT_NE(group("ipp://printsrv:631/printers/a"), group("ipp://othersrv:631/printers/a"));
}

// The device's own IPP URI goes with its address, at that address; never a print server's.
TEST(DeviceUriResolverTest, KeepsTheDevicesOwnIppUriAtItsAddress) {
  FakeResolver resolver;
  resolver.names["Tamrin GlowMark 5000"] = Found("labprn-a.local", "198.51.100.21", 8631);
  resolver.names["labprn-c.local"] = Found("labprn-c.local", "198.51.100.23");
  resolver.names["Office Shared"] = Found("labsrv.local", "198.51.100.30", 631, "printers/office");
  resolver.serverDevices["ipp://198.51.100.30:631/printers/office"] =
      Said("ipp://198.51.100.25/ipp/print");
  resolver.supplies["Tamrin_GlowMark_7200"] = Said("http://198.51.100.23:8631/");
  const std::pair<const char*, const char*> cases[] = {
      {"ipp://198.51.100.21/ipp/print", "ipp://198.51.100.21/ipp/print"},
      {"ipps://198.51.100.21:8443/ipp/print", "ipps://198.51.100.21:8443/ipp/print"},
      {"ipp://localhost:60000/ipp/print", "ipp://localhost:60000/ipp/print"},
      {"socket://198.51.100.26:9100", ""},
      {"ipp://labprn-c.local./ipp/print", "ipp://198.51.100.23/ipp/print"},
      {"dnssd://Tamrin%20GlowMark%205000._ipp._tcp.local/", "ipp://198.51.100.21:8631/ipp/print"},
      {"dnssd://Office%20Shared._ipp._tcp.local/", "ipp://198.51.100.25/ipp/print"},
      {"implicitclass://Tamrin_GlowMark_7200/", "ipp://198.51.100.23:8631/ipp/print"},
  };
  for (const auto& [uri, ippUri] : cases) EXPECT_EQ(Address(resolver, uri).ippUri, ippUri) << uri;
}

}  // namespace
}  // namespace pradex
