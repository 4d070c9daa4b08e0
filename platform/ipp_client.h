// Asking a device in IPP: one Get-Printer-Attributes request and the printer attributes of its
// answer, without any IPP library's types, so that each platform can answer it with its own
// (libcups on Linux; the Windows program could take it over its HTTP client).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace pradex {

// One value of an attribute as the device sent it.
struct IppValue {
  enum class Kind {
    kInteger,  // integer or enum: `integer`
    kBoolean,  // `integer` 0 or 1
    kText,     // keyword, name, text, URI, MIME type, charset, language: `text` (UTF-8 as sent)
    kOctets,   // octetString: `text` holds the bytes
    kOther,    // ranges, resolutions, dates, collections, out-of-band values: nothing kept
  };
  Kind kind = Kind::kOther;
  std::int64_t integer = 0;
  std::string text;
};

struct IppAttribute {
  std::string name;
  std::vector<IppValue> values;
};

// What every client keeps to, whatever a device sends: larger answers are not read on, and
// what lies beyond these counts is left out of the answer.
inline constexpr std::size_t kIppMaxAnswerBytes = 256 * 1024;
inline constexpr std::size_t kIppMaxAttributes = 256;
inline constexpr std::size_t kIppMaxValues = 64;
inline constexpr std::size_t kIppMaxTextBytes = 1024;

struct IppAnswer {
  enum class Status {
    kAnswered,     // an IPP answer with a successful status; `attributes` holds its printer group
    kUnreachable,  // no connection (refused, no route, name not found)
    kNotIpp,       // something answered, but not in IPP (an HTTP error, a web page, garbage)
    kIppError,     // an IPP answer with an error status (`ippStatus`)
    kTooLarge,     // the answer went beyond kIppMaxAnswerBytes
    kTimedOut,     // no whole answer before the deadline
    kStopped,      // cut by a stop
  };
  Status status = Status::kUnreachable;
  int ippStatus = 0;
  std::vector<IppAttribute> attributes;
};

class IppClient {
 public:
  virtual ~IppClient() = default;
  // Sends Get-Printer-Attributes for `requested` to `uri` ("ipp://host:631/ipp/print",
  // "ipps://..."). Returns by `deadline`, and soon after `stop` is requested. Called on any
  // thread, several at once.
  virtual IppAnswer GetPrinterAttributes(const std::string& uri,
                                         std::span<const std::string_view> requested,
                                         std::chrono::steady_clock::time_point deadline,
                                         std::stop_token stop) = 0;
};

}  // namespace pradex
