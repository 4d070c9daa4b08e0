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

std::string ServiceText(const ServiceName& service) {
  return "\"" + service.instance + "\" (" + service.type + "." + service.domain + ")";
}

std::string Millis(std::chrono::milliseconds time) {
  return std::to_string(time.count()) + " ms";
}

PortAddress Failed(const std::string& via, const std::string& reason) {
  return PortAddress::NotFound(via + reason);
}

std::string NotNetwork(const DeviceUriPlan& plan) {
  return plan.scheme.empty() ? "not a device URI" : "not a network device (" + plan.scheme + ":)";
}

// What DNS-SD's answer failing says.
std::string DnsSdFailure(DnsSdAnswer::Status status, const std::string& what,
                         std::chrono::milliseconds limit) {
  switch (status) {
    case DnsSdAnswer::Status::kNoDaemon:
      return "no DNS-SD daemon (avahi-daemon) to look up " + what;
    case DnsSdAnswer::Status::kNotFound:
      return "DNS-SD service not found: " + what;
    case DnsSdAnswer::Status::kTimedOut:
      return "DNS-SD service not found: " + what + " (no answer within " + Millis(limit) + ")";
    case DnsSdAnswer::Status::kStopped:
      return "lookup of " + what + " cut by stop";
    case DnsSdAnswer::Status::kFound:
      break;
  }
  return "DNS-SD gave no host for " + what;
}

// What the request to a CUPS server failing says; `asked` is what it was asked for.
std::string ServerFailure(Status status, const std::string& server, const std::string& asked,
                          std::chrono::milliseconds limit) {
  switch (status) {
    case Status::kUnreachable:
      return server + " cannot be reached";
    case Status::kRefused:
      return server + " refused to say " + asked;
    case Status::kNeedsPassword:
      return server + " asks for a password before it says " + asked;
    case Status::kTimedOut:
      return server + " did not say " + asked + " within " + Millis(limit);
    case Status::kStopped:
      return "asking " + server + " cut by stop";
    case Status::kNotSaid:
    case Status::kAnswered:
      break;
  }
  return server + " did not say " + asked;
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
  return FromPlan(plan, "", kServerHops, stop);
}

PortAddress DeviceUriResolver::FromPlan(const DeviceUriPlan& plan, const std::string& via,
                                        int hopsLeft, std::stop_token stop) {
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
      return Failed(via, "a cups-browsed queue of that server, whose printer is not known here");
    case Kind::kNotNetwork:
      break;
  }
  return Failed(via, "prints to " + NotNetwork(plan));
}

PortAddress DeviceUriResolver::FromService(const ServiceName& service, const std::string& via,
                                           int hopsLeft, std::stop_token stop) {
  DnsSdQuery query;
  query.service = service;
  const DnsSdAnswer answer = ResolveName(query, StepDeadline(), stop);
  const std::string what = ServiceText(service);
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

PortAddress DeviceUriResolver::FromLocalName(const std::string& host, const std::string& via,
                                             std::stop_token stop) {
  DnsSdQuery query;
  query.hostName = host;
  if (query.hostName.back() == '.') query.hostName.pop_back();
  const DnsSdAnswer answer = ResolveName(query, StepDeadline(), stop);
  if (answer.status != DnsSdAnswer::Status::kFound)
    return Failed(via, DnsSdFailure(answer.status, host, options.lookupTimeout));
  DnsSdAnswer named = answer;
  if (named.host.empty()) named.host = query.hostName;
  named.port = 0;
  PortAddress address = FromAnswer(named);
  if (address.outcome != PortAddress::Outcome::kFound)
    return Failed(via, DnsSdFailure(DnsSdAnswer::Status::kFound, host, options.lookupTimeout));
  return address;
}

PortAddress DeviceUriResolver::FromPrintServer(const DeviceUriPlan& plan, const std::string& via,
                                               int hopsLeft, std::stop_token stop) {
  const std::string server = "print server " + plan.server;
  if (hopsLeft <= 0)
    return Failed(via, server + " is one print server too many on the way to the printer");
  const CupsLookupResult asked = AskPrintServer(plan, StepDeadline(), stop);
  if (asked.status != Status::kAnswered)
    return Failed(via, ServerFailure(asked.status, server, "which device its queue prints to",
                                     options.lookupTimeout));
  const DeviceUriPlan device = PlanDeviceUri(asked.value);
  if (device.kind == Kind::kDirect) {
    const std::string host = HostAndPort(device).first;
    // The server's own machine: its loopback devices (ipp-usb) cannot be reached from here.
    if (IsLoopbackHost(host))
      return Failed(via, server + " prints to a device on its own machine (" + device.address +
                             "), which cannot be reached from here");
  }
  if (device.kind == Kind::kNotNetwork)
    return Failed(via, server + " prints to a device that is not on the network (" +
                           (device.scheme.empty() ? std::string("unknown") : device.scheme) + ":)");
  return FromPlan(device, via + server + ": ", hopsLeft - 1, stop);
}

PortAddress DeviceUriResolver::FromBrowsedQueue(const std::string& queue, std::stop_token stop) {
  // The local server that listed the queue keeps the PPD cups-browsed generated for it.
  const CupsLookupResult asked = QueueSupplies(queue, StepDeadline(), stop);
  if (asked.status == Status::kNotSaid)
    return PortAddress::NotFound(
        "cups-browsed queue without *APSupplies in its PPD: its printer is unknown");
  if (asked.status != Status::kAnswered)
    return PortAddress::NotFound("cups-browsed queue: " +
                                 ServerFailure(asked.status, "the local print server",
                                               "the queue's PPD", options.lookupTimeout));
  const DeviceUriPlan device = PlanDeviceUri(asked.value);
  if (device.kind == Kind::kPrintServer) {
    // A queue shared by another CUPS server: the PPD names the server, not the printer.
    return PortAddress::NotFound("cups-browsed queue of print server " + device.server +
                                 ": the printer behind it is not known");
  }
  if (device.kind != Kind::kDirect)
    return PortAddress::NotFound("cups-browsed queue's PPD names no network printer");
  PortAddress address = FromPlan(device, "cups-browsed queue: ", 0, stop);
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
