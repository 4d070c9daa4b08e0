#include "platform/posix/cups_lookups.h"

#include <cups/cups.h>
#include <cups/http.h>
#include <cups/ipp.h>

#include <cstdio>
#include <memory>
#include <string_view>

#include "platform/posix/cups_exchange.h"

namespace pradex {

namespace {

using Status = CupsLookupResult::Status;
using Ending = CupsExchange::Ending;

CupsLookupResult Result(Status status, std::string value = {}) {
  return CupsLookupResult{status, std::move(value)};
}

Status FromEnding(Ending ending) {
  return CupsExchange::Meaning(ending, Status::kTimedOut, Status::kStopped, Status::kUnreachable);
}

bool AsksForPassword(ipp_status_t status) {
  return status == IPP_STATUS_ERROR_NOT_AUTHENTICATED ||
         status == IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED;
}

bool AsksForPassword(http_status_t status) {
  return status == HTTP_STATUS_UNAUTHORIZED || status == HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED;
}

// Why a request that was not cut has no answer: its HTTP status and libcups' last error.
Status Unanswered(http_status_t status, ipp_status_t error) {
  if (AsksForPassword(status) || AsksForPassword(error)) return Status::kNeedsPassword;
  // The connection broke off, or what came back was not HTTP.
  if (status == HTTP_STATUS_ERROR) return Status::kUnreachable;
  return Status::kRefused;
}

}  // namespace

CupsLookupResult AskPrintServerDevice(const DeviceUriPlan& plan,
                                      std::chrono::steady_clock::time_point deadline,
                                      std::stop_token stop) {
  CupsExchange exchange(deadline, std::move(stop));
  const http_encryption_t encryption = plan.scheme == "ipps" || plan.scheme == "https"
                                           ? HTTP_ENCRYPTION_ALWAYS
                                           : HTTP_ENCRYPTION_IF_REQUESTED;
  http_t* http = exchange.Connect(plan.server, plan.port, encryption);
  if (!http) return Result(FromEnding(exchange.Ended()));
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
  IppPointer response(cupsDoRequest(http, request, resource));
  if (!response) {
    const Ending ended = exchange.Ended();
    if (ended != Ending::kOpen) return Result(FromEnding(ended));
    return Result(Unanswered(httpGetStatus(http), cupsLastError()));
  }
  const ipp_status_t status = ippGetStatusCode(response.get());
  if (status > IPP_STATUS_OK_EVENTS_COMPLETE)
    return Result(AsksForPassword(status) ? Status::kNeedsPassword : Status::kRefused);
  ipp_attribute_t* attribute = ippFindAttribute(response.get(), "device-uri", IPP_TAG_URI);
  const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  if (!value || !*value) return Result(Status::kNotSaid);
  return Result(Status::kAnswered, value);
}

CupsLookupResult QueueSuppliesUrl(const std::string& queue,
                                  std::chrono::steady_clock::time_point deadline,
                                  std::stop_token stop) {
  CupsExchange exchange(deadline, std::move(stop));
  http_t* http = exchange.Connect(cupsServer(), ippPort(), cupsEncryption());
  if (!http) return Result(FromEnding(exchange.Ended()));
  std::FILE* file = std::tmpfile();
  if (!file) return Result(Status::kNotSaid);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
  const std::string resource = "/printers/" + queue + ".ppd";
  const http_status_t status = cupsGetFd(http, resource.c_str(), fileno(file));
  // A cut PPD download ends like a whole one, with the file as far as it came.
  if (const Ending ended = exchange.Ended(); ended != Ending::kOpen)
    return Result(FromEnding(ended));
  if (status != HTTP_STATUS_OK) return Result(Unanswered(status, cupsLastError()));
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
