#include "platform/posix/cups_spooler.h"

#include <cups/cups.h>
#include <cups/http.h>
#include <cups/ipp.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/posix/device_uri.h"
#include "platform/win_codes.h"

namespace pradex {

namespace {

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using HttpConnection = std::unique_ptr<http_t, HttpCloser>;
using IppMessage = std::unique_ptr<ipp_t, IppDeleter>;

// Listing queues needs no credentials; a server that asks for them gets none rather than a
// password prompt on the terminal, which a desktop program could not answer.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

// The first expired wait ends the request: there is nobody to ask whether to go on waiting.
int GiveUpOnTimeout(http_t*, void*) {
  return 0;
}

// Ends an exchange at its deadline however the server spaces its bytes: libcups' I/O time-out
// restarts with every byte it receives. At the deadline the receiving side of the socket is
// shut down, which ends libcups' wait at once; its own descriptor is left to it. The watch
// keeps a duplicate of the descriptor, so that the number cannot have been closed and taken by
// another socket meanwhile.
class ExchangeDeadline {
 public:
  ExchangeDeadline(int socketFd, std::chrono::steady_clock::time_point deadline)
      : watchedFd(socketFd >= 0 ? fcntl(socketFd, F_DUPFD_CLOEXEC, 0) : -1) {
    if (watchedFd < 0) return;
    try {
      watcher = std::thread([this, deadline] { Watch(deadline); });
    } catch (const std::system_error&) {
      // No thread: the I/O time-out alone bounds the exchange, as before.
    }
  }
  ~ExchangeDeadline() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      finished = true;
    }
    wake.notify_all();
    if (watcher.joinable()) watcher.join();
    if (watchedFd >= 0) close(watchedFd);
  }
  ExchangeDeadline(const ExchangeDeadline&) = delete;
  ExchangeDeadline& operator=(const ExchangeDeadline&) = delete;

  bool Expired() {
    std::lock_guard<std::mutex> lock(mutex);
    return expired;
  }

 private:
  void Watch(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex);
    if (wake.wait_until(lock, deadline, [this] { return finished; })) return;
    expired = true;
    shutdown(watchedFd, SHUT_RD);
  }

  const int watchedFd;
  std::mutex mutex;
  std::condition_variable wake;
  bool finished = false;
  bool expired = false;
  std::thread watcher;
};

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

long ListQueues(const CupsSpoolerOptions& options, std::vector<Queue>& queues) {
  std::string host;
  int port = 0;
  if (options.server) {
    host = options.server->host;
    port = options.server->port;
  } else {
    host = cupsServer();
    port = ippPort();
  }
  cupsSetPasswordCB2(NoPassword, nullptr);

  // libcups' default connection has no I/O time-out; this one has both.
  const auto connectStart = std::chrono::steady_clock::now();
  errno = 0;
  HttpConnection http(httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(),
                                   /*blocking=*/1, options.connectTimeoutMs, nullptr));
  if (!http) {
    const auto elapsed = std::chrono::steady_clock::now() - connectStart;
    const bool timedOut =
        errno == ETIMEDOUT || elapsed >= std::chrono::milliseconds(options.connectTimeoutMs);
    return timedOut ? CupsSpooler::kErrorTimeout : CupsSpooler::kRpcServerUnavailable;
  }
  httpSetTimeout(http.get(), options.ioTimeoutSeconds, GiveUpOnTimeout, nullptr);
  ExchangeDeadline deadline(httpGetFd(http.get()),
                            connectStart + std::chrono::milliseconds(options.exchangeDeadlineMs));

  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  if (!request) return kErrorOutOfMemory;
  static const char* const kRequested[] = {"printer-name", "printer-make-and-model", "device-uri"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kRequested)), nullptr, kRequested);
  // Printers only: a class is a set of queues that are listed themselves, and its device URI
  // is a placeholder.
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type", 0);
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type-mask", CUPS_PRINTER_CLASS);

  IppMessage response(cupsDoRequest(http.get(), request, "/"));  // frees the request
  const ipp_status_t status = cupsLastError();
  if (!response) {
    if (deadline.Expired() || httpError(http.get()) == ETIMEDOUT) return CupsSpooler::kErrorTimeout;
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
  printers.clear();
  {
    std::lock_guard<std::mutex> lock(answerMutex);
    latestPorts.reset();
  }
  try {
    std::vector<Queue> queues;
    const long rc = ListQueues(options, queues);
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
    const long rc = ListQueues(options, queues);
    if (rc != kErrorSuccess) return rc;
    ports = DistinctPorts(queues);
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    ports.clear();
    return kErrorOutOfMemory;
  }
}

}  // namespace pradex
