#include "platform/posix/device_uri_resolver.h"

#include <cups/cups.h>
#include <cups/http.h>
#include <cups/ipp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <future>
#include <memory>
#include <string_view>

#include "platform/posix/device_uri.h"
#include "platform/win_codes.h"

namespace pradex {

namespace {

using Kind = DeviceUriPlan::Kind;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

PortResolution Failed(std::string reason) {
  PortResolution outcome;
  outcome.failure = std::move(reason);
  return outcome;
}

PortResolution FromDirect(const DeviceUriPlan& plan) {
  PortResolution outcome;
  outcome.hostName = plan.address;
  if (plan.ipv4Literal) outcome.ipAddress = plan.address;
  return outcome;
}

std::string ServiceText(const ServiceName& service) {
  return "\"" + service.instance + "\" (" + service.type + "." + service.domain + ")";
}

PortResolution FromAnswer(const DnsSdAnswer& answer, const std::string& what,
                          std::chrono::milliseconds timeout) {
  switch (answer.status) {
    case DnsSdAnswer::Status::kFound: {
      PortResolution outcome;
      outcome.hostName = answer.host;
      if (!answer.ipv4.empty()) outcome.ipAddress = answer.ipv4;
      if (outcome.hostName.empty() && !outcome.ipAddress)
        return Failed("DNS-SD gave no host for " + what);
      return outcome;
    }
    case DnsSdAnswer::Status::kNoDaemon:
      return Failed("no DNS-SD daemon (avahi-daemon) to look up " + what);
    case DnsSdAnswer::Status::kNotFound:
      return Failed("DNS-SD service not found: " + what);
    case DnsSdAnswer::Status::kTimedOut:
      return Failed("DNS-SD service not found: " + what + " (no answer within " +
                    std::to_string(timeout.count()) + " ms)");
    case DnsSdAnswer::Status::kStopped:
      return Failed("lookup of " + what + " cut by stop");
  }
  return Failed("DNS-SD lookup failed for " + what);
}

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

constexpr double kWaitSlice = 0.1;  // seconds

// What decides whether a lookup's request may go on waiting: its stop flag and its own limit.
struct LookupClock {
  const std::atomic<bool>* stopped;
  std::chrono::steady_clock::time_point deadline;
};

int KeepWaiting(http_t*, void* data) {
  const auto* clock = static_cast<const LookupClock*>(data);
  return !*clock->stopped && std::chrono::steady_clock::now() < clock->deadline ? 1 : 0;
}

// A connection that `cancel` cuts while it is being made, and whose requests give up in
// short waits once the clock says so, so that Stop ends them within one wait.
http_t* Connect(const char* host, int port, http_encryption_t encryption,
                std::chrono::milliseconds timeout, int* cancel, LookupClock& clock) {
  http_t* http = httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, 1,
                              static_cast<int>(timeout.count()), cancel);
  if (!http) return nullptr;
  httpSetTimeout(http, kWaitSlice, KeepWaiting, &clock);
  return http;
}

}  // namespace

std::optional<std::string> DeviceUriResolver::AskPrintServer(const DeviceUriPlan& plan) {
  LookupClock clock{&stopped, std::chrono::steady_clock::now() + options.lookupTimeout};
  cupsSetPasswordCB2(NoPassword, nullptr);
  const http_encryption_t encryption = plan.scheme == "ipps" || plan.scheme == "https"
                                           ? HTTP_ENCRYPTION_ALWAYS
                                           : HTTP_ENCRYPTION_IF_REQUESTED;
  std::unique_ptr<http_t, HttpCloser> http(Connect(plan.server.c_str(), plan.port, encryption,
                                                   options.lookupTimeout, &connectCancel, clock));
  if (!http) return std::nullopt;
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  if (!request) return std::nullopt;
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, plan.uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "device-uri");
  char resource[1024];
  char ignored[256];
  int port = 0;
  httpSeparateURI(HTTP_URI_CODING_ALL, plan.uri.c_str(), ignored, sizeof(ignored), ignored,
                  sizeof(ignored), ignored, sizeof(ignored), &port, resource, sizeof(resource));
  std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http.get(), request, resource));
  if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return std::nullopt;
  ipp_attribute_t* attribute = ippFindAttribute(response.get(), "device-uri", IPP_TAG_URI);
  const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> DeviceUriResolver::QueueSuppliesUrl(const std::string& queue) {
  // The local server that listed the queue keeps the PPD cups-browsed generated for it.
  LookupClock clock{&stopped, std::chrono::steady_clock::now() + options.lookupTimeout};
  std::unique_ptr<http_t, HttpCloser> http(Connect(cupsServer(), ippPort(), cupsEncryption(),
                                                   options.lookupTimeout, &connectCancel, clock));
  if (!http) return std::nullopt;
  std::FILE* file = std::tmpfile();
  if (!file) return std::nullopt;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
  const std::string resource = "/printers/" + queue + ".ppd";
  if (cupsGetFd(http.get(), resource.c_str(), fileno(file)) != HTTP_STATUS_OK) return std::nullopt;
  std::rewind(file);
  char buffer[4096];
  constexpr std::string_view kKey = "*APSupplies:";
  while (std::fgets(buffer, sizeof(buffer), file)) {
    const std::string_view line(buffer);
    if (line.rfind(kKey, 0) != 0) continue;
    const std::size_t open = line.find('"');
    const std::size_t close = line.rfind('"');
    if (open == std::string_view::npos || close <= open) return std::nullopt;
    return std::string(line.substr(open + 1, close - open - 1));
  }
  return std::nullopt;
}

std::vector<DnsSdAnswer> DeviceUriResolver::ResolveNames(const std::vector<DnsSdQuery>& queries) {
  const auto deadline = std::chrono::steady_clock::now() + options.lookupTimeout;
  std::vector<DnsSdAnswer> answers;
  for (const DnsSdQuery& query : queries) answers.push_back(dnssd.Resolve(query, deadline, {}));
  return answers;
}

void DeviceUriResolver::Begin() {
  stopped = false;
  std::atomic_ref<int>(connectCancel).store(0);
}

void DeviceUriResolver::Prepare(const std::vector<std::string>& uris) {
  std::map<std::string, PortResolution> found;

  // First round, all at once: the print servers are asked for their queues' devices and the
  // cups-browsed queues for the printer behind them. What they name may be a DNS-SD name,
  // which the second round resolves together with the queues' own service names.
  struct Pending {
    std::string uri;
    DeviceUriPlan plan;
    std::string via;  // how the plan was reached, for the reason text
  };
  std::vector<Pending> needLookup;
  std::vector<std::pair<std::string, std::future<std::optional<std::string>>>> servers;
  std::vector<std::pair<std::string, std::future<std::optional<std::string>>>> browsed;
  for (const std::string& uri : uris) {
    if (found.count(uri) != 0) continue;
    DeviceUriPlan plan = PlanDeviceUri(uri);
    switch (plan.kind) {
      case Kind::kService:
        needLookup.push_back({uri, std::move(plan), ""});
        found[uri] = Failed("");
        break;
      case Kind::kPrintServer:
        servers.emplace_back(
            uri, std::async(std::launch::async, [this, plan] { return AskPrintServer(plan); }));
        found[uri] = Failed("");
        break;
      case Kind::kImplicitClass:
        browsed.emplace_back(uri, std::async(std::launch::async, [this, queue = plan.queue] {
                               return QueueSuppliesUrl(queue);
                             }));
        found[uri] = Failed("");
        break;
      case Kind::kDirect:
      case Kind::kNotNetwork:
        break;
    }
  }

  for (auto& [uri, answer] : servers) {
    const DeviceUriPlan serverPlan = PlanDeviceUri(uri);
    const std::string server = serverPlan.server;
    const std::optional<std::string> deviceUri = answer.get();
    if (stopped) {
      found[uri] = Failed("asking print server " + server + " cut by stop");
      continue;
    }
    if (!deviceUri) {
      found[uri] =
          Failed("print server " + server + " did not say which device its queue prints to");
      continue;
    }
    DeviceUriPlan device = PlanDeviceUri(*deviceUri);
    if (device.kind == Kind::kDirect)
      found[uri] = FromDirect(device);
    else if (device.kind == Kind::kService)
      needLookup.push_back({uri, std::move(device), "print server " + server + ": "});
    else
      found[uri] =
          Failed("print server " + server + " prints to a device that is not on the network (" +
                 (device.scheme.empty() ? std::string("unknown") : device.scheme) + ":)");
  }
  for (auto& [uri, answer] : browsed) {
    const std::optional<std::string> url = answer.get();
    if (stopped) {
      found[uri] = Failed("reading the queue's PPD cut by stop");
      continue;
    }
    if (!url) {
      found[uri] =
          Failed("cups-browsed queue without *APSupplies in its PPD: its printer is unknown");
      continue;
    }
    DeviceUriPlan device = PlanDeviceUri(*url);
    if (device.kind == Kind::kDirect && !device.ipv4Literal &&
        Lower(device.address).ends_with(".local")) {
      // A printer on the local link: its .local name is known to DNS-SD alone.
      DeviceUriPlan host;
      host.kind = Kind::kDirect;
      host.address = device.address;
      needLookup.push_back({uri, std::move(host), "cups-browsed queue: "});
    } else if (device.kind == Kind::kDirect) {
      found[uri] = FromDirect(device);
    } else if (device.kind == Kind::kPrintServer) {
      // A queue shared by another CUPS server: the PPD names the server, not the printer.
      found[uri] = Failed("cups-browsed queue of print server " + device.server +
                          ": the printer behind it is not known");
    } else {
      found[uri] = Failed("cups-browsed queue's PPD names no network printer");
    }
  }

  std::vector<DnsSdQuery> queries;
  for (const Pending& pending : needLookup) {
    DnsSdQuery query;
    if (pending.plan.kind == Kind::kService)
      query.service = pending.plan.service;
    else
      query.hostName = pending.plan.address;
    queries.push_back(std::move(query));
  }
  const std::vector<DnsSdAnswer> answers = ResolveNames(queries);
  for (std::size_t i = 0; i < needLookup.size() && i < answers.size(); ++i) {
    const Pending& pending = needLookup[i];
    const std::string what = pending.plan.kind == Kind::kService ? ServiceText(pending.plan.service)
                                                                 : pending.plan.address;
    PortResolution outcome = FromAnswer(answers[i], what, options.lookupTimeout);
    if (!outcome.Resolved()) outcome.failure = pending.via + outcome.failure;
    found[pending.uri] = std::move(outcome);
  }

  std::lock_guard<std::mutex> lock(mutex);
  outcomes = std::move(found);
}

std::optional<PortResolution> DeviceUriResolver::Find(const std::string& uri) const {
  {
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = outcomes.find(uri);
    if (it != outcomes.end()) return it->second;
  }
  const DeviceUriPlan plan = PlanDeviceUri(uri);
  if (plan.kind == Kind::kDirect) return FromDirect(plan);
  return std::nullopt;
}

std::string DeviceUriResolver::FailureReason(const std::string& uri) const {
  const std::optional<PortResolution> outcome = Find(uri);
  if (outcome) return outcome->failure;
  const DeviceUriPlan plan = PlanDeviceUri(uri);
  if (plan.kind == Kind::kNotNetwork)
    return plan.scheme.empty() ? "not a device URI" : "not a network device (" + plan.scheme + ":)";
  return "";
}

void DeviceUriResolver::Stop() {
  stopped = true;
  std::atomic_ref<int>(connectCancel).store(1);
}

long ResolvingSpooler::EnumPrinters(std::vector<PrinterInfo>& printers) {
  resolver.Begin();
  const long rc = inner.EnumPrinters(printers);
  if (rc != kErrorSuccess) return rc;
  try {
    const std::size_t installed = printers.size();
    const auto isInstalled = [&](const CupsDestination& destination) {
      return std::any_of(
          printers.begin(), printers.begin() + static_cast<std::ptrdiff_t>(installed),
          [&](const PrinterInfo& queue) {
            return queue.printerName == destination.name || queue.portName == destination.deviceUri;
          });
    };
    if (discover) {
      for (const CupsDestination& destination : discover(resolver.CancelFlag())) {
        if (isInstalled(destination)) continue;
        PrinterInfo printer;
        printer.printerName = destination.name;
        printer.driverName = destination.makeAndModel;
        printer.portName = destination.deviceUri;
        printers.push_back(std::move(printer));
      }
    }
    std::vector<std::string> uris;
    for (const PrinterInfo& printer : printers)
      if (printer.portName) uris.push_back(*printer.portName);
    resolver.Prepare(uris);

    // One device, one entry: a discovered printer that resolves to where an installed queue
    // prints is that queue's printer.
    const auto addressOf = [&](const PrinterInfo& printer) -> std::string {
      if (!printer.portName) return "";
      const std::optional<PortResolution> outcome = resolver.Find(*printer.portName);
      if (!outcome || !outcome->Resolved()) return "";
      return outcome->ipAddress.value_or(outcome->hostName);
    };
    std::vector<std::string> installedAddresses;
    for (std::size_t i = 0; i < installed; ++i)
      installedAddresses.push_back(addressOf(printers[i]));
    std::vector<std::string> ports;
    std::vector<PrinterInfo> kept(printers.begin(),
                                  printers.begin() + static_cast<std::ptrdiff_t>(installed));
    for (std::size_t i = installed; i < printers.size(); ++i) {
      const std::string address = addressOf(printers[i]);
      if (!address.empty() && std::find(installedAddresses.begin(), installedAddresses.end(),
                                        address) != installedAddresses.end())
        continue;
      ports.push_back(*printers[i].portName);
      kept.push_back(std::move(printers[i]));
    }
    printers.swap(kept);
    std::lock_guard<std::mutex> lock(mutex);
    discoveredPorts = std::move(ports);
  } catch (const std::exception&) {
    // Without the lookups, the ports resolve by their text alone.
  }
  return rc;
}

long ResolvingSpooler::EnumPorts(const std::optional<std::string>& serverName,
                                 std::vector<std::string>& ports) {
  const long rc = inner.EnumPorts(serverName, ports);
  if (rc != kErrorSuccess || serverName) return rc;
  std::lock_guard<std::mutex> lock(mutex);
  for (const std::string& port : discoveredPorts)
    if (std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
  return rc;
}

}  // namespace pradex
