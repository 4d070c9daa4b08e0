// DNS-SD names resolved through the system's DNS-SD daemon (avahi-daemon, over D-Bus).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

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
    kTimedOut,  // no answer by the deadline
    kStopped,   // cut by the caller's stop
  };
  Status status = Status::kTimedOut;
  std::string host;  // the service's target host ("printer.local"), or the name asked
  std::string ipv4;  // dotted IPv4 address, when one was found
  // IPv6 address (no brackets; with a "%ifname" zone when link-local), when one was found
  std::string ipv6;
  std::uint16_t port = 0;    // services only
  std::string resourcePath;  // the TXT record's "rp" ("ipp/print", "printers/Office"), or ""
};

struct DnsSdConnection;

// Resolves names through one daemon connection shared by all lookups. The daemon's D-Bus
// calls block while the daemon does not answer (25 s each; with no end while a bus that took
// the connection never answers it), so they are all made by a thread of the resolver's own; a
// lookup only waits for its answer, which bounds it by its deadline and its stop whatever the
// daemon does. A connection that failed (daemon gone or restarted) is made anew by the next lookup.
class DnsSdResolver {
 public:
  DnsSdResolver();
  // Never waits for a daemon that does not answer: a connection thread stuck in a call is
  // left to end by itself once the call returns. No lookup may be in progress.
  ~DnsSdResolver();
  DnsSdResolver(const DnsSdResolver&) = delete;
  DnsSdResolver& operator=(const DnsSdResolver&) = delete;

  // One lookup; thread-safe, many at once. Returns by `deadline`, or at once when `stop` is
  // requested. IPv4 is preferred: once an IPv6 address is in, an IPv4 one is waited for at
  // most 250 ms more.
  DnsSdAnswer Resolve(const DnsSdQuery& query, std::chrono::steady_clock::time_point deadline,
                      std::stop_token stop);

  // Daemon calls still under way whose callers have given up (a hung daemon); for a program
  // that must decide whether it can exit normally. Right after lookups end it may also count,
  // for as long as the daemon takes to answer, the call that frees their daemon resolvers.
  int CallsLeftBehind() const;

 private:
  std::shared_ptr<DnsSdConnection> connection;
  std::thread thread;  // the connection's; guarded by the connection's mutex
};

}  // namespace pradex
