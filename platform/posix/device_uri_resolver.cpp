#include "platform/posix/device_uri_resolver.h"

#include <cctype>
#include <string_view>
#include <utility>

namespace pradex {

namespace {

using Kind = DeviceUriPlan::Kind;
using Status = CupsLookupResult::Status;
using Clock = std::chrono::steady_clock;

// A print server's queue may forward to another server once; more is a loop or a maze.
constexpr int kServerHops = 2;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The host and the port of a direct plan: "localhost:60000" -> "localhost", 60000.
std::pair<std::string, std::uint16_t> HostAndPort(const DeviceUriPlan& plan) {
  if (plan.port == 0) return {plan.address, 0};
  return {plan.address.substr(0, plan.address.rfind(':')), plan.port};
}

Phrase ServiceText(const ServiceName& service) {
  return Phrase::Of("port.service", {Phrase::Literal(service.instance),
                                     Phrase::Literal(service.type + "." + service.domain)});
}

Phrase Millis(std::chrono::milliseconds time) {
  return Phrase::Of("unit.milliseconds", {Phrase::Literal(std::to_string(time.count()))});
}

// `reason`, after the steps on the way to where it happened ("print server x: ...").
Phrase After(const Phrase& via, Phrase reason) {
  if (via.empty()) return reason;
  return Phrase::Of("port.step", {via, std::move(reason)});
}

PortAddress Failed(const Phrase& via, Phrase reason) {
  return PortAddress::NotFound(After(via, std::move(reason)));
}

Phrase Scheme(const DeviceUriPlan& plan) {
  return Phrase::Literal(plan.scheme);
}

Phrase NotNetwork(const DeviceUriPlan& plan) {
  return plan.scheme.empty() ? Phrase::Of("port.not-device-uri")
                             : Phrase::Of("port.not-network", {Scheme(plan)});
}

// What DNS-SD's answer failing says of `what` (a service or a host name).
Phrase DnsSdFailure(DnsSdAnswer::Status status, const Phrase& what,
                    std::chrono::milliseconds limit) {
  switch (status) {
    case DnsSdAnswer::Status::kNoDaemon:
      return Phrase::Of("port.dnssd-no-daemon", {what});
    case DnsSdAnswer::Status::kNotFound:
      return Phrase::Of("port.dnssd-not-found", {what});
    case DnsSdAnswer::Status::kTimedOut:
      return Phrase::Of("port.dnssd-timed-out", {what, Millis(limit)});
    case DnsSdAnswer::Status::kStopped:
      return Phrase::Of("port.dnssd-stopped", {what});
    case DnsSdAnswer::Status::kFound:
      break;
  }
  return Phrase::Of("port.dnssd-no-host", {what});
}

// The words for a CUPS server that did not answer: another print server (named {1}) asked
// which device its queue prints to, or the local one asked for a queue's PPD.
struct ServerTexts {
  const char* unreachable;
  const char* refused;
  const char* password;
  const char* timedOut;  // {2} or {1}: the limit
  const char* stopped;
  const char* notSaid;
};
constexpr ServerTexts kOtherServer{"port.server-unreachable", "port.server-refused",
                                   "port.server-password",    "port.server-timed-out",
                                   "port.server-stopped",     "port.server-not-said"};
constexpr ServerTexts kLocalPpd{"port.ppd-unreachable", "port.ppd-refused", "port.ppd-password",
                                "port.ppd-timed-out",   "port.ppd-stopped", "port.ppd-not-said"};

// What the request to a CUPS server failing says; `server` is its name, if the words take one.
Phrase ServerFailure(Status status, const ServerTexts& texts, std::vector<Phrase> server,
                     std::chrono::milliseconds limit) {
  switch (status) {
    case Status::kUnreachable:
      return Phrase::Of(texts.unreachable, server);
    case Status::kRefused:
      return Phrase::Of(texts.refused, server);
    case Status::kNeedsPassword:
      return Phrase::Of(texts.password, server);
    case Status::kTimedOut:
      server.push_back(Millis(limit));
      return Phrase::Of(texts.timedOut, server);
    case Status::kStopped:
      return Phrase::Of(texts.stopped, server);
    case Status::kNotSaid:
    case Status::kAnswered:
      break;
  }
  return Phrase::Of(texts.notSaid, server);
}

// The address from a DNS-SD answer: IPv4 preferred, else the host name (an IPv6 address of
// the local link would need a zone id, which browsers do not open). A loopback answer (ipp-usb
// announcing its device) keeps the service's port, where the device's pages are.
PortAddress FromAnswer(const DnsSdAnswer& answer) {
  std::string host = answer.ipv4;
  if (host.empty()) host = answer.host;
  if (host.empty() && !answer.ipv6.empty() && answer.ipv6.find('%') == std::string::npos)
    host = "[" + answer.ipv6 + "]";
  if (host.empty()) return PortAddress::NotFound();
  const bool loopback = IsLoopbackHost(host) || (answer.ipv4.empty() && answer.ipv6 == "::1");
  PortAddress address =
      PortAddress::Found(host, loopback && answer.port != 80 ? answer.port : std::uint16_t{0});
  address.hostName = answer.host;
  return address;
}

bool IsQueuePath(std::string_view path) {
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return path.starts_with("printers/") || path.starts_with("classes/");
}

// The device's own IPP URI at the address found for it, when it speaks IPP there: "" for
// other schemes, for a CUPS queue's path (a print server's, never the device's) and for a
// path that would need escapes.
std::string OwnIppUri(std::string_view scheme, const std::string& host, std::uint16_t port,
                      std::string path) {
  if ((scheme != "ipp" && scheme != "ipps") || IsQueuePath(path)) return "";
  if (path.empty() || path.front() != '/') path.insert(0, "/");
  for (const char c : path) {
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) return "";
  }
  return std::string(scheme) + "://" + host + (port != 0 ? ":" + std::to_string(port) : "") + path;
}

// A direct device URI's own IPP URI, at the address its host was found at.
void KeepIppUri(PortAddress& address, const DeviceUriPlan& plan) {
  if (address.outcome != PortAddress::Outcome::kFound) return;
  const std::optional<UriParts> parts = SplitUri(plan.uri);
  if (!parts) return;
  const std::uint16_t port = address.port != 0 ? address.port : parts->port;
  address.ippUri = OwnIppUri(parts->scheme, address.host, port, parts->resource);
}

}  // namespace

std::chrono::steady_clock::time_point DeviceUriResolver::StepDeadline() const {
  return Clock::now() + options.lookupTimeout;
}

PortAddress DeviceUriResolver::Resolve(const PrinterInfo& printer) {
  if (!printer.portName) return PortAddress::NotFound();
  const DeviceUriPlan plan = PlanDeviceUri(*printer.portName);
  switch (plan.kind) {
    case Kind::kDirect: {
      auto [host, port] = HostAndPort(plan);
      // A printer on the local link: its .local name is known to DNS-SD alone.
      if (IsLocalLinkName(host)) return PortAddress::NeedsLookup("");
      PortAddress address = PortAddress::Found(std::move(host), port);
      KeepIppUri(address, plan);
      return address;
    }
    case Kind::kService:
      return PortAddress::NeedsLookup("");
    case Kind::kPrintServer:
      return PortAddress::NeedsLookup("cups:" + Lower(plan.server) + ":" +
                                      std::to_string(plan.port));
    case Kind::kImplicitClass:
      return PortAddress::NeedsLookup("cups:local");
    case Kind::kNotNetwork:
      break;
  }
  return PortAddress::NotFound(NotNetwork(plan));
}

PortAddress DeviceUriResolver::Lookup(const PrinterInfo& printer, std::stop_token stop) {
  if (!printer.portName) return PortAddress::NotFound();
  const DeviceUriPlan plan = PlanDeviceUri(*printer.portName);
  if (plan.kind == Kind::kImplicitClass) return FromBrowsedQueue(plan.queue, stop);
  return FromPlan(plan, Phrase{}, kServerHops, stop);
}

PortAddress DeviceUriResolver::FromPlan(const DeviceUriPlan& plan, const Phrase& via, int hopsLeft,
                                        std::stop_token stop) {
  switch (plan.kind) {
    case Kind::kDirect: {
      auto [host, port] = HostAndPort(plan);
      PortAddress address = IsLocalLinkName(host) ? FromLocalName(host, via, stop)
                                                  : PortAddress::Found(std::move(host), port);
      KeepIppUri(address, plan);
      return address;
    }
    case Kind::kService:
      return FromService(plan.service, via, hopsLeft, stop);
    case Kind::kPrintServer:
      return FromPrintServer(plan, via, hopsLeft, stop);
    case Kind::kImplicitClass:
      return Failed(via, Phrase::Of("port.browsed-class"));
    case Kind::kNotNetwork:
      break;
  }
  if (plan.scheme.empty()) return Failed(via, Phrase::Of("port.prints-to-not-uri"));
  return Failed(via, Phrase::Of("port.prints-to-not-network", {Scheme(plan)}));
}

PortAddress DeviceUriResolver::FromService(const ServiceName& service, const Phrase& via,
                                           int hopsLeft, std::stop_token stop) {
  DnsSdQuery query;
  query.service = service;
  const DnsSdAnswer answer = ResolveName(query, StepDeadline(), stop);
  const Phrase what = ServiceText(service);
  if (answer.status != DnsSdAnswer::Status::kFound)
    return Failed(via, DnsSdFailure(answer.status, what, options.lookupTimeout));
  if (IsQueuePath(answer.resourcePath)) {
    // A CUPS server shares this queue: the device is the one its queue prints to.
    PortAddress server = FromAnswer(answer);
    if (server.outcome != PortAddress::Outcome::kFound)
      return Failed(via, DnsSdFailure(DnsSdAnswer::Status::kFound, what, options.lookupTimeout));
    std::string path = answer.resourcePath;
    if (path.front() != '/') path.insert(0, "/");
    DeviceUriPlan queue;
    queue.kind = Kind::kPrintServer;
    queue.scheme = service.type.starts_with("_ipps.") ? "ipps" : "ipp";
    queue.server = server.host;
    queue.port = answer.port != 0 ? answer.port : 631;
    queue.uri = queue.scheme + "://" + queue.server + ":" + std::to_string(queue.port) + path;
    return FromPrintServer(queue, via, hopsLeft, stop);
  }
  PortAddress address = FromAnswer(answer);
  if (address.outcome != PortAddress::Outcome::kFound)
    return Failed(via, DnsSdFailure(DnsSdAnswer::Status::kFound, what, options.lookupTimeout));
  const std::string_view scheme = service.type.starts_with("_ipps.")  ? "ipps"
                                  : service.type.starts_with("_ipp.") ? "ipp"
                                                                      : "";
  address.ippUri = OwnIppUri(scheme, address.host, answer.port, answer.resourcePath);
  return address;
}

PortAddress DeviceUriResolver::FromLocalName(const std::string& host, const Phrase& via,
                                             std::stop_token stop) {
  DnsSdQuery query;
  query.hostName = host;
  if (query.hostName.back() == '.') query.hostName.pop_back();
  const DnsSdAnswer answer = ResolveName(query, StepDeadline(), stop);
  if (answer.status != DnsSdAnswer::Status::kFound)
    return Failed(via, DnsSdFailure(answer.status, Phrase::Literal(host), options.lookupTimeout));
  DnsSdAnswer named = answer;
  if (named.host.empty()) named.host = query.hostName;
  named.port = 0;
  PortAddress address = FromAnswer(named);
  if (address.outcome != PortAddress::Outcome::kFound)
    return Failed(via, DnsSdFailure(DnsSdAnswer::Status::kFound, Phrase::Literal(host),
                                    options.lookupTimeout));
  return address;
}

PortAddress DeviceUriResolver::FromPrintServer(const DeviceUriPlan& plan, const Phrase& via,
                                               int hopsLeft, std::stop_token stop) {
  const Phrase name = Phrase::Literal(plan.server);
  if (hopsLeft <= 0) return Failed(via, Phrase::Of("port.server-too-many", {name}));
  const CupsLookupResult asked = AskPrintServer(plan, StepDeadline(), stop);
  if (asked.status != Status::kAnswered)
    return Failed(via, ServerFailure(asked.status, kOtherServer, {name}, options.lookupTimeout));
  const DeviceUriPlan device = PlanDeviceUri(asked.value);
  if (device.kind == Kind::kDirect) {
    const std::string host = HostAndPort(device).first;
    // The server's own machine: its loopback devices (ipp-usb) cannot be reached from here.
    if (IsLoopbackHost(host))
      return Failed(
          via, Phrase::Of("port.server-prints-locally", {name, Phrase::Literal(device.address)}));
  }
  if (device.kind == Kind::kNotNetwork)
    return Failed(via, Phrase::Of("port.server-prints-off-network",
                                  {name, device.scheme.empty() ? Phrase::Of("port.unknown-scheme")
                                                               : Scheme(device)}));
  return FromPlan(device, After(via, Phrase::Of("port.print-server", {name})), hopsLeft - 1, stop);
}

PortAddress DeviceUriResolver::FromBrowsedQueue(const std::string& queue, std::stop_token stop) {
  // The local server that listed the queue keeps the PPD cups-browsed generated for it.
  const CupsLookupResult asked = QueueSupplies(queue, StepDeadline(), stop);
  const Phrase browsed = Phrase::Of("port.browsed-queue");
  if (asked.status == Status::kNotSaid)
    return PortAddress::NotFound(Phrase::Of("port.browsed-no-supplies"));
  if (asked.status != Status::kAnswered)
    return Failed(browsed, ServerFailure(asked.status, kLocalPpd, {}, options.lookupTimeout));
  const DeviceUriPlan device = PlanDeviceUri(asked.value);
  if (device.kind == Kind::kPrintServer) {
    // A queue shared by another CUPS server: the PPD names the server, not the printer.
    return PortAddress::NotFound(
        Phrase::Of("port.browsed-server-queue", {Phrase::Literal(device.server)}));
  }
  if (device.kind != Kind::kDirect)
    return PortAddress::NotFound(Phrase::Of("port.browsed-no-printer"));
  PortAddress address = FromPlan(device, browsed, 0, stop);
  // The PPD names the device's supplies page, which an IPP device serves on its IPP port.
  const std::optional<UriParts> page = SplitUri(device.uri);
  if (address.outcome == PortAddress::Outcome::kFound && address.ippUri.empty() && page &&
      page->port != 0 && (page->scheme == "http" || page->scheme == "https")) {
    address.ippUri =
        OwnIppUri(page->scheme == "https" ? "ipps" : "ipp", address.host, page->port, "/ipp/print");
  }
  return address;
}

std::vector<PrinterInfo> DeviceUriResolver::OfferedPrinters(std::stop_token stop) {
  std::vector<PrinterInfo> printers;
  if (!OffersPrinters()) return printers;
  for (CupsDestination& destination : Discover(options.discoveryTime, stop)) {
    PrinterInfo printer;
    printer.printerName = std::move(destination.name);
    printer.driverName = std::move(destination.makeAndModel);
    printer.portName = std::move(destination.deviceUri);
    printers.push_back(std::move(printer));
  }
  return printers;
}

CupsLookupResult DeviceUriResolver::AskPrintServer(const DeviceUriPlan& plan,
                                                   std::chrono::steady_clock::time_point deadline,
                                                   std::stop_token stop) {
  return AskPrintServerDevice(plan, deadline, std::move(stop));
}

CupsLookupResult DeviceUriResolver::QueueSupplies(const std::string& queue,
                                                  std::chrono::steady_clock::time_point deadline,
                                                  std::stop_token stop) {
  return QueueSuppliesUrl(queue, deadline, std::move(stop));
}

DnsSdAnswer DeviceUriResolver::ResolveName(const DnsSdQuery& query,
                                           std::chrono::steady_clock::time_point deadline,
                                           std::stop_token stop) {
  return dnssd.Resolve(query, deadline, std::move(stop));
}

std::vector<CupsDestination> DeviceUriResolver::Discover(std::chrono::milliseconds timeout,
                                                         std::stop_token stop) {
  return ListDiscoveredDestinations(timeout, std::move(stop));
}

}  // namespace pradex
