#include "platform/posix/cups_lookups.h"

#include <cups/cups.h>
#include <cups/http.h>
#include <cups/ipp.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string_view>

namespace pradex {

namespace {

using Status = CupsLookupResult::Status;

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

// What decides whether a request may go on waiting: its stop and its deadline.
struct LookupClock {
  std::stop_token stop;
  std::chrono::steady_clock::time_point deadline;
};

int KeepWaiting(http_t*, void* data) {
  const auto* clock = static_cast<const LookupClock*>(data);
  return !clock->stop.stop_requested() && std::chrono::steady_clock::now() < clock->deadline ? 1
                                                                                             : 0;
}

CupsLookupResult Result(Status status, std::string value = {}) {
  return CupsLookupResult{status, std::move(value)};
}

Status Ended(const LookupClock& clock) {
  return clock.stop.stop_requested() ? Status::kStopped : Status::kTimedOut;
}

// A connection that the stop cuts while it is being made, and whose requests give up in short
// waits once the clock says so.
http_t* Connect(const char* host, int port, http_encryption_t encryption, LookupClock& clock) {
  alignas(std::atomic_ref<int>::required_alignment) int cancel = 0;
  std::stop_callback cut(clock.stop, [&cancel] { std::atomic_ref<int>(cancel).store(1); });
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      clock.deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return nullptr;
  http_t* http = httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, 1,
                              static_cast<int>(left.count()), &cancel);
  if (!http) return nullptr;
  httpSetTimeout(http, kWaitSlice, KeepWaiting, &clock);
  return http;
}

}  // namespace

CupsLookupResult AskPrintServerDevice(const DeviceUriPlan& plan,
                                      std::chrono::steady_clock::time_point deadline,
                                      std::stop_token stop) {
  LookupClock clock{stop, deadline};
  cupsSetPasswordCB2(NoPassword, nullptr);
  const http_encryption_t encryption = plan.scheme == "ipps" || plan.scheme == "https"
                                           ? HTTP_ENCRYPTION_ALWAYS
                                           : HTTP_ENCRYPTION_IF_REQUESTED;
  std::unique_ptr<http_t, HttpCloser> http(
      Connect(plan.server.c_str(), plan.port, encryption, clock));
  if (!http) return Result(KeepWaiting(nullptr, &clock) ? Status::kUnreachable : Ended(clock));
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  if (!request) return Result(Status::kNotSaid);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, plan.uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "device-uri");
  char resource[1024];
  char ignored[256];
  int port = 0;
  httpSeparateURI(HTTP_URI_CODING_ALL, plan.uri.c_str(), ignored, sizeof(ignored), ignored,
                  sizeof(ignored), ignored, sizeof(ignored), &port, resource, sizeof(resource));
  std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http.get(), request, resource));
  if (!KeepWaiting(nullptr, &clock)) return Result(Ended(clock));
  if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return Result(Status::kNotSaid);
  ipp_attribute_t* attribute = ippFindAttribute(response.get(), "device-uri", IPP_TAG_URI);
  const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  if (!value || !*value) return Result(Status::kNotSaid);
  return Result(Status::kAnswered, value);
}

CupsLookupResult QueueSuppliesUrl(const std::string& queue,
                                  std::chrono::steady_clock::time_point deadline,
                                  std::stop_token stop) {
  LookupClock clock{stop, deadline};
  cupsSetPasswordCB2(NoPassword, nullptr);
  std::unique_ptr<http_t, HttpCloser> http(
      Connect(cupsServer(), ippPort(), cupsEncryption(), clock));
  if (!http) return Result(KeepWaiting(nullptr, &clock) ? Status::kUnreachable : Ended(clock));
  std::FILE* file = std::tmpfile();
  if (!file) return Result(Status::kNotSaid);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
  const std::string resource = "/printers/" + queue + ".ppd";
  const http_status_t status = cupsGetFd(http.get(), resource.c_str(), fileno(file));
  if (!KeepWaiting(nullptr, &clock)) return Result(Ended(clock));
  if (status != HTTP_STATUS_OK) return Result(Status::kNotSaid);
  std::rewind(file);
  char buffer[4096];
  constexpr std::string_view kKey = "*APSupplies:";
  while (std::fgets(buffer, sizeof(buffer), file)) {
    const std::string_view line(buffer);
    if (line.rfind(kKey, 0) != 0) continue;
    const std::size_t open = line.find('"');
    const std::size_t close = line.rfind('"');
    if (open == std::string_view::npos || close <= open) return Result(Status::kNotSaid);
    return Result(Status::kAnswered, std::string(line.substr(open + 1, close - open - 1)));
  }
  return Result(Status::kNotSaid);
}

}  // namespace pradex
