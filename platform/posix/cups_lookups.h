// The requests a search makes to CUPS servers to find the device behind a queue: another
// server's own device-uri for its queue, and the *APSupplies URL in the PPD of a local
// cups-browsed queue. Each is one CupsExchange: it ends by its deadline or at once when its stop
// is requested, whatever the server sends or withholds, and never asks for a password.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>

#include "platform/posix/device_uri.h"

namespace pradex {

struct CupsLookupResult {
  enum class Status {
    kAnswered,       // `value` holds the answer
    kNotSaid,        // the server answered without it
    kUnreachable,    // no connection: unknown host, no route, nothing listening, no TLS where
                     // required; or it broke off, or what came back was not HTTP
    kRefused,        // the server refused the request (an HTTP or IPP error status)
    kNeedsPassword,  // the server asked for credentials (never given, never prompted for)
    kTimedOut,       // no whole answer by the deadline
    kStopped,        // cut by stop
  };
  Status status = Status::kNotSaid;
  std::string value;
};

// The device-uri the server of `plan` (kind kPrintServer) holds for its queue, asked with
// Get-Printer-Attributes.
CupsLookupResult AskPrintServerDevice(const DeviceUriPlan& plan,
                                      std::chrono::steady_clock::time_point deadline,
                                      std::stop_token stop);

// The *APSupplies URL of the local queue `queue`'s PPD, from the server libcups' configuration
// names (the one that listed the queue).
CupsLookupResult QueueSuppliesUrl(const std::string& queue,
                                  std::chrono::steady_clock::time_point deadline,
                                  std::stop_token stop);

}  // namespace pradex
