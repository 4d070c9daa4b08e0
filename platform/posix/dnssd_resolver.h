// DNS-SD names resolved through the system's DNS-SD daemon (avahi-daemon, over D-Bus).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/device_uri.h"

namespace pradex {

// What one lookup asks: a service instance, or a host name (such as "printer.local").
struct DnsSdQuery {
  std::optional<ServiceName> service;
  std::string hostName;  // when `service` is nullopt
};

struct DnsSdAnswer {
  enum class Status {
    kFound,
    kNoDaemon,  // no DNS-SD daemon (or no system bus) to ask
    kNotFound,  // the daemon answered that there is no such service or host
    kTimedOut,  // no answer within the time limit
    kStopped,   // cut by Stop
  };
  Status status = Status::kTimedOut;
  std::string host;  // the target host of a service ("printer.local"), or the host asked for
  std::string ipv4;  // its IPv4 address, when the daemon gave one
  std::uint16_t port = 0;
};

// Resolves any number of names at once: every lookup is sent before the first answer is
// awaited, and all share one time limit, so N names take about as long as the slowest one,
// never N times the limit. Stop, from any thread, ends a resolution in progress (and the
// next ones) at once with kStopped; Reset allows resolutions again.
class DnsSdResolver {
 public:
  std::vector<DnsSdAnswer> ResolveAll(const std::vector<DnsSdQuery>& queries,
                                      std::chrono::milliseconds timeout);
  void Stop();
  void Reset();

 private:
  std::mutex mutex;
  void* activePoll = nullptr;  // the AvahiSimplePoll of a resolution in progress; guarded
  std::atomic<bool> stopped{false};
};

}  // namespace pradex
