// What a device says about itself in IPP: its supplies with their levels, its state and the
// reasons for it. Where to ask (the URIs, in order) and which attributes, and the answer turned
// into facts; no threads, no IPP library.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ipp_client.h"

namespace pradex {

struct Supply {
  // A level that is no percentage: the device says it does not know (IPP -2, -3), or it
  // reports none that can be read (-1, a unit other than percent, a value out of range).
  static constexpr int kUnknown = -1;
  static constexpr int kNotReported = -2;

  std::string name;    // as the device names it ("Black Toner"); "" when it names none
  std::string kind;    // IPP's type keyword ("toner", "ink", "wasteToner", ...); "" when unsaid
  std::string colour;  // "#rrggbb" (the first of several); "" when none or unreadable
  int level = kNotReported;  // 0 to 100 percent, or kUnknown / kNotReported
  int lowMark = -1;          // percent at or below which the supply is low; -1: not said
  int highMark = -1;         // percent at or above which it is full; -1: not said
  // The supply fills up as it is used (a waste toner box): a high level is the warning.
  bool fillsUp = false;
  // The device's own marks, or the IPP state reasons, say it is low (empty, nearly full ...).
  bool low = false;

  friend bool operator==(const Supply&, const Supply&) = default;
};

struct DeviceFacts {
  // Why a device has no facts to show.
  enum class Missing {
    kNone,         // facts were reported
    kNotAsked,     // not asked (yet)
    kUnreachable,  // no IPP connection to the device
    kNotIpp,       // the device did not answer in IPP
    kIppError,     // it answered with an IPP error
    kNothingSaid,  // it answered without supplies or a state
    kTooLarge,     // its answer was too large
    kTimedOut,     // no answer within the limit
    kStopped,      // cut by a stop
  };
  Missing missing = Missing::kNotAsked;
  std::string state;  // "idle", "processing", "stopped"; "" when not said
  // The state reasons as sent, without "none" and with their -report/-warning/-error suffix
  // taken off ("media-jam", "toner-low"); at most kMaxStateReasons.
  std::vector<std::string> stateReasons;
  std::vector<Supply> supplies;
  std::string supplyInfoUri;  // printer-supply-info-uri when it is an http(s) URI; "" otherwise
  int ippStatus = 0;          // kIppError: the device's IPP status code

  bool Reported() const { return missing == Missing::kNone; }
  friend bool operator==(const DeviceFacts&, const DeviceFacts&) = default;
};

// The most supplies a device is believed: an answer with more has no supplies reported.
inline constexpr std::size_t kMaxSupplies = 32;
// The most state reasons kept, and the most bytes of a supply's name or kind or of a reason.
inline constexpr std::size_t kMaxStateReasons = 16;
inline constexpr std::size_t kMaxFactTextBytes = 64;

// Why facts are missing, as a keyword that is the same in every language: "reported",
// "not-asked", "unreachable", "not-ipp", "ipp-error", "nothing-said", "too-large",
// "timed-out", "stopped".
const char* MissingKeyword(DeviceFacts::Missing missing);

// The IPP URIs to ask, in order: the queue's own IPP URI of the device when it names one
// (`deviceIppUri`, "" when none), then ipp://HOST:631/ipp/print, /ipp and / on the device's
// host (`host` as in a URL: a name, an IPv4 address or a bracketed IPv6 literal). `port` is a
// port the device serves its pages on other than 80 (ipp-usb on loopback, which serves IPP on
// the same port); 0 for none.
//
// Never a print server in the device's place: the queue's URI only when its host is `host`, its
// port `port` (when not 0) and its path no CUPS queue's (/printers/..., /classes/...), rebuilt
// as "scheme://HOST:PORT/path". On a loopback host port 631 is this computer's own CUPS: such a
// device is asked only on `port`, and without one not at all. A host that is no safe URL host
// gives no URIs.
std::vector<std::string> FactsUris(const std::string& host, std::uint16_t port,
                                   const std::string& deviceIppUri);

// The attributes asked for.
std::span<const std::string_view> FactsAttributes();

// The facts in an answer. Whatever the answer holds, the result keeps to the bounds above;
// values out of range read as kNotReported, odd colours as none.
//
// The supplies come from printer-supply (with printer-supply-description's names) when the
// device sends it, else from the marker-* attributes. A percentage out of a maxcapacity other
// than 100 is scaled. A supply is low by its own marks, or by a state reason about its kind
// (toner-low, marker-supply-low, marker-waste-almost-full ...) unless one of the supplies the
// reason is about is low already: that one is meant.
DeviceFacts FactsFromAnswer(const IppAnswer& answer);

}  // namespace pradex
