// One exchange with a CUPS server: connecting, one request and its answer's last byte. It ends
// by its deadline, or at once when its stop is requested, whatever the server sends or
// withholds. The spooler's printer list and a search's lookups go through it (cupsEnumDests,
// which makes its own connections, runs on a thread that can be left behind instead).
//
// libcups alone cannot promise that: its cancel variable is looked at only while connecting
// (every 250 ms), the TLS handshake of an ipps connection waits 10 s for each silence without
// asking anybody, and its time-out callback is asked only after a silence, so that a server
// sending a byte now and then is never given up. So a connection of our own, which the cut
// ends at once, first finds the address that takes one, and a watchdog thread shuts the
// reading side of libcups' socket at the deadline or on stop: every read or handshake libcups
// has under way ends at once, and so does every later one.
//
// The calling thread's libcups password callback is set to one that gives no password (libcups
// keeps it per thread): a server that asks for credentials is refused, never a prompt on the
// terminal that nobody answers.
#pragma once

#include <cups/http.h>
#include <cups/ipp.h>

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace pradex {

// An IPP message that deletes itself.
struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPointer = std::unique_ptr<ipp_t, IppDeleter>;

class CupsExchange {
 public:
  using Clock = std::chrono::steady_clock;

  struct Limits {
    Clock::time_point deadline;  // the whole exchange
    // Connecting alone, within the deadline; nullopt: the deadline only.
    std::optional<std::chrono::milliseconds> connectTimeout;
    // > 0: a wait for the server's next byte that lasts this long gives the request up
    // (httpError() of the connection is then ETIMEDOUT). 0: only the deadline and the stop do.
    double silenceSeconds = 0;
  };

  enum class Ending {
    kOpen,         // not ended from outside, and connected if Connect was called
    kUnreachable,  // Connect made no connection: unknown host, nothing listening, no TLS
    kTimedOut,     // the connect time-out, or the deadline cut the exchange
    kStopped,      // the stop cut the exchange
  };

  CupsExchange(const Limits& limits, std::stop_token stop);
  // Bounded by the deadline alone.
  CupsExchange(Clock::time_point deadline, std::stop_token stop)
      : CupsExchange(Limits{deadline, std::nullopt, 0}, std::move(stop)) {}
  // Ends the watch, then closes the connection (without waiting for the server to agree).
  ~CupsExchange();
  CupsExchange(const CupsExchange&) = delete;
  CupsExchange& operator=(const CupsExchange&) = delete;

  // Connects to `host` (a name, an address, or the path of a local socket) on `port`, on the
  // calling thread, which then makes the exchange. The connection belongs to the exchange;
  // nullptr when none was made (Ended() says why). Once per exchange.
  http_t* Connect(const std::string& host, int port, http_encryption_t encryption);

  // kTimedOut or kStopped once the exchange has been cut (also when its answer was whole by
  // then), kUnreachable or kTimedOut after a Connect that failed on its own, else kOpen.
  Ending Ended() const;

  // An ending in the caller's terms: `timedOut`, `stopped`, or `unreachable` for the others.
  template <typename T>
  static T Meaning(Ending ending, T timedOut, T stopped, T unreachable) {
    if (ending == Ending::kTimedOut) return timedOut;
    return ending == Ending::kStopped ? stopped : unreachable;
  }

 private:
  struct Watch;
  struct WakeOnStop {
    Watch* watch;
    void operator()() const noexcept;
  };
  static int KeepWaiting(http_t* http, void* exchange);

  Limits limits;
  std::stop_token stop;
  std::unique_ptr<Watch> watch;
  std::thread watchdog;
  std::optional<std::stop_callback<WakeOnStop>> onStop;
  http_t* connection = nullptr;
  Ending connectFailure = Ending::kOpen;
};

}  // namespace pradex
