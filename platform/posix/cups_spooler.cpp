#include "platform/posix/cups_spooler.h"

#include <cups/cups.h>
#include <cups/http.h>
#include <cups/ipp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "platform/posix/cups_exchange.h"
#include "platform/posix/device_uri.h"
#include "platform/win_codes.h"

namespace pradex {

namespace {

using Ending = CupsExchange::Ending;

bool IsAuthorizationStatus(ipp_status_t status) {
  return status == IPP_STATUS_ERROR_NOT_AUTHENTICATED ||
         status == IPP_STATUS_ERROR_NOT_AUTHORIZED || status == IPP_STATUS_ERROR_FORBIDDEN ||
         status == IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED;
}

struct Queue {
  std::string name;
  std::optional<std::string> makeAndModel;
  std::optional<std::string> deviceUri;  // without credentials
};

const char* StringValue(ipp_attribute_t* attribute) {
  switch (ippGetValueTag(attribute)) {
    case IPP_TAG_NAME:
    case IPP_TAG_NAMELANG:
    case IPP_TAG_TEXT:
    case IPP_TAG_TEXTLANG:
    case IPP_TAG_URI:
      return ippGetString(attribute, 0, nullptr);
    default:
      return nullptr;
  }
}

// The printer groups of a CUPS-Get-Printers response, in the server's order. Groups without
// a printer-name are left out.
std::vector<Queue> ReadQueues(ipp_t* response) {
  std::vector<Queue> queues;
  ipp_attribute_t* attribute = ippFirstAttribute(response);
  while (attribute) {
    while (attribute && ippGetGroupTag(attribute) != IPP_TAG_PRINTER)
      attribute = ippNextAttribute(response);
    if (!attribute) break;
    Queue queue;
    bool named = false;
    for (; attribute && ippGetGroupTag(attribute) == IPP_TAG_PRINTER;
         attribute = ippNextAttribute(response)) {
      const char* name = ippGetName(attribute);
      const char* value = StringValue(attribute);
      if (!name || !value) continue;
      const std::string_view attributeName(name);
      if (attributeName == "printer-name") {
        queue.name = value;
        named = true;
      } else if (attributeName == "printer-make-and-model") {
        queue.makeAndModel = value;
      } else if (attributeName == "device-uri") {
        queue.deviceUri = RemoveUriCredentials(value);
      }
    }
    if (named) queues.push_back(std::move(queue));
  }
  return queues;
}

long ErrorOf(Ending ending) {
  return CupsExchange::Meaning(ending, CupsSpooler::kErrorTimeout, CupsSpooler::kErrorCancelled,
                               CupsSpooler::kRpcServerUnavailable);
}

long ListQueues(const CupsSpoolerOptions& options, std::stop_token stop,
                std::vector<Queue>& queues) {
  std::string host;
  int port = 0;
  if (options.server) {
    host = options.server->host;
    port = options.server->port;
  } else {
    host = cupsServer();
    port = ippPort();
  }
  // libcups' default connection has no I/O time-out; this one has both, and a deadline.
  const auto start = std::chrono::steady_clock::now();
  CupsExchange exchange(
      {start + std::chrono::milliseconds(options.exchangeDeadlineMs),
       std::chrono::milliseconds(options.connectTimeoutMs), options.ioTimeoutSeconds},
      std::move(stop));
  http_t* http = exchange.Connect(host, port, cupsEncryption());
  if (!http) return ErrorOf(exchange.Ended());

  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  if (!request) return kErrorOutOfMemory;
  static const char* const kRequested[] = {"printer-name", "printer-make-and-model", "device-uri"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kRequested)), nullptr, kRequested);
  // Printers only: a class is a set of queues that are listed themselves, and its device URI
  // is a placeholder.
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type", 0);
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type-mask", CUPS_PRINTER_CLASS);

  IppPointer response(cupsDoRequest(http, request, "/"));  // frees the request
  const ipp_status_t status = cupsLastError();
  if (!response) {
    if (const Ending ended = exchange.Ended(); ended != Ending::kOpen) return ErrorOf(ended);
    if (httpError(http) == ETIMEDOUT) return CupsSpooler::kErrorTimeout;
    if (IsAuthorizationStatus(status)) return kErrorAccessDenied;
    return CupsSpooler::kRpcServerUnavailable;
  }
  // CUPS answers not-found when it has no queues at all.
  if (status == IPP_STATUS_ERROR_NOT_FOUND) return kErrorSuccess;
  if (IsAuthorizationStatus(status)) return kErrorAccessDenied;
  if (status > IPP_STATUS_OK_EVENTS_COMPLETE) return CupsSpooler::kErrorGenFailure;

  queues = ReadQueues(response.get());
  return kErrorSuccess;
}

// The distinct device URIs of the queues, in queue order.
std::vector<std::string> DistinctPorts(const std::vector<Queue>& queues) {
  std::vector<std::string> ports;
  for (const Queue& queue : queues) {
    if (!queue.deviceUri || queue.deviceUri->empty()) continue;
    if (std::find(ports.begin(), ports.end(), *queue.deviceUri) != ports.end()) continue;
    ports.push_back(*queue.deviceUri);
  }
  return ports;
}

}  // namespace

long CupsSpooler::EnumPrinters(std::vector<PrinterInfo>& printers) {
  return EnumPrinters(printers, std::stop_token());
}

long CupsSpooler::EnumPrinters(std::vector<PrinterInfo>& printers, std::stop_token stop) {
  printers.clear();
  {
    std::lock_guard<std::mutex> lock(answerMutex);
    latestPorts.reset();
  }
  try {
    std::vector<Queue> queues;
    const long rc = ListQueues(options, std::move(stop), queues);
    if (rc != kErrorSuccess) return rc;
    std::vector<std::string> ports = DistinctPorts(queues);
    std::vector<PrinterInfo> list;
    list.reserve(queues.size());
    for (Queue& queue : queues) {
      PrinterInfo info;
      info.printerName = std::move(queue.name);
      info.driverName = std::move(queue.makeAndModel);
      info.portName = std::move(queue.deviceUri);
      list.push_back(std::move(info));
    }
    {
      std::lock_guard<std::mutex> lock(answerMutex);
      latestPorts = std::move(ports);
    }
    printers.swap(list);
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    printers.clear();
    return kErrorOutOfMemory;
  }
}

long CupsSpooler::EnumPorts(const std::optional<std::string>& serverName,
                            std::vector<std::string>& ports) {
  ports.clear();
  // Every queue is local to the server that listed it; no other spooler is reachable.
  if (serverName) return CupsSpooler::kErrorNotSupported;
  try {
    {
      // The printer list's own answer: one request per search, and ports that match the
      // printers the search walks, whatever the server does in between.
      std::lock_guard<std::mutex> lock(answerMutex);
      if (latestPorts) {
        ports = *latestPorts;
        return kErrorSuccess;
      }
    }
    std::vector<Queue> queues;
    const long rc = ListQueues(options, std::stop_token(), queues);
    if (rc != kErrorSuccess) return rc;
    ports = DistinctPorts(queues);
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    ports.clear();
    return kErrorOutOfMemory;
  }
}

}  // namespace pradex
