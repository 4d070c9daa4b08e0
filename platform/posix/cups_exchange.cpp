#include "platform/posix/cups_exchange.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

namespace pradex {

namespace {

// A host that needs no name server: an address, or the path of a local socket.
bool IsLiteralHost(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return host.empty() || host.front() == '/' || inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The addresses of `host`. The system's name lookup keeps time-outs of its own (seconds per
// name server and try) and cannot be cut, so a name is looked up on a thread of its own, left
// behind (to free what it finds) at `end` or on `stop`. nullptr when nothing was found in time.
http_addrlist_t* LookUpAddresses(const std::string& host, const std::string& service,
                                 std::chrono::steady_clock::time_point end,
                                 const std::stop_token& stop) {
  if (IsLiteralHost(host)) return httpAddrGetList(host.c_str(), AF_UNSPEC, service.c_str());
  struct Lookup {
    std::mutex mutex;
    std::condition_variable_any done;
    bool finished = false;
    bool abandoned = false;
    http_addrlist_t* found = nullptr;
  };
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host, service] {
      http_addrlist_t* found = httpAddrGetList(host.c_str(), AF_UNSPEC, service.c_str());
      std::lock_guard lock(lookup->mutex);
      if (lookup->abandoned) {
        httpAddrFreeList(found);
        return;
      }
      lookup->found = found;
      lookup->finished = true;
      lookup->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return httpAddrGetList(host.c_str(), AF_UNSPEC, service.c_str());
  }
  std::unique_lock lock(lookup->mutex);
  lookup->done.wait_until(lock, stop, end, [&] { return lookup->finished; });
  if (lookup->finished) return lookup->found;
  lookup->abandoned = true;
  return nullptr;
}

const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

// How long one of libcups' waits for the server lasts before it asks KeepWaiting. Without a
// watchdog (no thread could be started) this bounds how late a stop is seen between bytes.
constexpr double kWaitSlice = 0.1;  // seconds

// After the cut, how often the watchdog looks again: libcups may still have been connecting
// at the cut (its cancel variable is read every 250 ms), or may connect anew.
constexpr std::chrono::milliseconds kRecutPause{20};

// How often a connection attempt of our own looks whether the exchange was cut.
constexpr std::chrono::milliseconds kConnectSlice{20};

bool SamePeer(const http_addr_t& peer, const http_addr_t& address) {
  if (peer.addr.sa_family != address.addr.sa_family) return false;
  switch (peer.addr.sa_family) {
    case AF_INET:
      return peer.ipv4.sin_port == address.ipv4.sin_port &&
             peer.ipv4.sin_addr.s_addr == address.ipv4.sin_addr.s_addr;
    case AF_INET6:
      return peer.ipv6.sin6_port == address.ipv6.sin6_port &&
             std::memcmp(&peer.ipv6.sin6_addr, &address.ipv6.sin6_addr,
                         sizeof(peer.ipv6.sin6_addr)) == 0;
    case AF_LOCAL:
      return std::strncmp(peer.un.sun_path, address.un.sun_path, sizeof(peer.un.sun_path)) == 0;
    default:
      return false;
  }
}

// Connects sockets of our own to all `addresses` at once, as libcups does, and returns the
// first address that takes the connection: nullptr when none does by `end` (`timedOut`) or
// before `cut()` says so.
template <typename Cut>
const http_addrlist_t* FirstToAccept(const http_addrlist_t* addresses,
                                     std::chrono::steady_clock::time_point end, const Cut& cut,
                                     bool& timedOut) {
  std::vector<int> opened;
  std::vector<pollfd> pending;  // a socket whose attempt has failed stays as -1, which poll skips
  std::vector<const http_addrlist_t*> tried;
  const http_addrlist_t* taker = nullptr;
  for (const http_addrlist_t* address = addresses; address && !taker; address = address->next) {
    const int fd =
        socket(address->addr.addr.sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    opened.push_back(fd);
    const auto length = static_cast<socklen_t>(httpAddrLength(&address->addr));
    if (connect(fd, &address->addr.addr, length) == 0) {
      taker = address;
    } else if (errno == EINPROGRESS || errno == EAGAIN) {
      pending.push_back({fd, POLLOUT, 0});
      tried.push_back(address);
    }
  }
  const auto waiting = [&pending] {
    return std::any_of(pending.begin(), pending.end(), [](const pollfd& p) { return p.fd >= 0; });
  };
  while (!taker && waiting() && !cut()) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    const auto slice = std::min(left, kConnectSlice);
    if (poll(pending.data(), pending.size(), static_cast<int>(slice.count())) < 0 && errno != EINTR)
      break;
    for (std::size_t i = 0; i < pending.size() && !taker; ++i) {
      if (pending[i].fd < 0 || pending[i].revents == 0) continue;
      int error = 0;
      socklen_t length = sizeof(error);
      if (getsockopt(pending[i].fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0 &&
          (pending[i].revents & (POLLERR | POLLHUP)) == 0)
        taker = tried[i];
      else
        pending[i].fd = -1;
    }
  }
  for (const int fd : opened) close(fd);
  return taker;
}

}  // namespace

struct CupsExchange::Watch {
  std::mutex mutex;
  std::condition_variable wake;
  // Guarded by the mutex.
  http_t* http = nullptr;                // the connection; null again once the exchange is over
  http_addrlist_t* addresses = nullptr;  // where it may be connected to
  bool finished = false;
  bool stopRequested = false;

  std::atomic<Ending> cut{Ending::kOpen};
  // libcups' cancel variable while it connects; it reads it as a plain int.
  alignas(std::atomic_ref<int>::required_alignment) int cancel = 0;

  void Run(Clock::time_point deadline) {
    std::unique_lock lock(mutex);
    wake.wait_until(lock, deadline, [this] { return finished || stopRequested; });
    if (finished) return;
    cut = stopRequested ? Ending::kStopped : Ending::kTimedOut;
    std::atomic_ref<int>(cancel).store(1);
    do {
      ShutReading();
    } while (!wake.wait_for(lock, kRecutPause, [this] { return finished; }));
  }

  // Ends every read libcups has under way on the connection, and every later one. Only the
  // reading side: a write that fails makes libcups connect anew and send again.
  //
  // The descriptor is read while libcups may be changing it on the exchange's thread: right
  // after it closed a socket, the number may for an instant be another thread's. A socket is
  // shut only when it is connected to the exchange's server, so no other connection of the
  // program can be hit.
  void ShutReading() {
    if (!http) return;
    const int fd = httpGetFd(http);
    if (fd < 0) return;
    http_addr_t peer{};
    socklen_t length = sizeof(peer);
    if (getpeername(fd, &peer.addr, &length) != 0) return;
    for (const http_addrlist_t* address = addresses; address; address = address->next) {
      if (SamePeer(peer, address->addr)) {
        shutdown(fd, SHUT_RD);
        return;
      }
    }
  }
};

void CupsExchange::WakeOnStop::operator()() const noexcept {
  {
    std::lock_guard lock(watch->mutex);
    watch->stopRequested = true;
  }
  watch->wake.notify_all();
}

CupsExchange::CupsExchange(const Limits& limits, std::stop_token stop)
    : limits(limits), stop(std::move(stop)), watch(std::make_unique<Watch>()) {
  cupsSetPasswordCB2(NoPassword, nullptr);
  try {
    watchdog =
        std::thread([watch = watch.get(), deadline = limits.deadline] { watch->Run(deadline); });
  } catch (const std::system_error&) {
    // No watchdog: KeepWaiting alone ends libcups' waits between the server's bytes.
  }
  onStop.emplace(this->stop, WakeOnStop{watch.get()});
}

CupsExchange::~CupsExchange() {
  onStop.reset();
  {
    std::lock_guard lock(watch->mutex);
    watch->finished = true;
    watch->http = nullptr;
  }
  watch->wake.notify_all();
  if (watchdog.joinable()) watchdog.join();
  if (connection) {
    // Nothing more is read: closing a TLS connection then does not wait for the server's
    // reply to its close notice.
    if (const int fd = httpGetFd(connection); fd >= 0) shutdown(fd, SHUT_RD);
    httpClose(connection);
  }
  httpAddrFreeList(watch->addresses);
}

int CupsExchange::KeepWaiting(http_t*, void* data) {
  const auto* exchange = static_cast<const CupsExchange*>(data);
  if (exchange->limits.silenceSeconds > 0) return 0;
  return exchange->Ended() == Ending::kOpen ? 1 : 0;
}

http_t* CupsExchange::Connect(const std::string& host, int port, http_encryption_t encryption) {
  if (const Ending ended = Ended(); ended != Ending::kOpen) {
    connectFailure = ended;
    return nullptr;
  }
  const Clock::time_point start = Clock::now();
  Clock::time_point end = limits.deadline;
  if (limits.connectTimeout) end = std::min(end, start + *limits.connectTimeout);
  // The addresses are looked up here, so that the watchdog knows them.
  const std::string service = std::to_string(port);
  http_addrlist_t* addresses = LookUpAddresses(host, service, end, stop);
  if (!addresses) {
    const Ending ended = Ended();
    connectFailure = ended != Ending::kOpen  ? ended
                     : stop.stop_requested() ? Ending::kStopped
                     : Clock::now() >= end   ? Ending::kTimedOut
                                             : Ending::kUnreachable;
    return nullptr;
  }
  {
    std::lock_guard lock(watch->mutex);
    watch->addresses = addresses;
  }

  // libcups looks at its cancel variable only every 250 ms while it connects. A connection of
  // our own, which the cut ends at once, finds the address that takes one; libcups then
  // connects to that address alone, which takes it at once as well.
  bool timedOut = false;
  const http_addrlist_t* taker = FirstToAccept(
      addresses, end, [this] { return Ended() != Ending::kOpen; }, timedOut);
  if (!taker) {
    const Ending ended = Ended();
    connectFailure = ended != Ending::kOpen ? ended
                     : timedOut             ? Ending::kTimedOut
                                            : Ending::kUnreachable;
    return nullptr;
  }
  http_addrlist_t only = *taker;
  only.next = nullptr;
  // Made unconnected (no time-out): the time-out callback and the watch are in place before
  // the connection and its TLS handshake.
  http_t* http = httpConnect2(host.c_str(), port, &only, AF_UNSPEC, encryption, 1, 0, nullptr);
  {
    std::lock_guard lock(watch->mutex);
    watch->http = http;
  }
  if (!http) {
    connectFailure = Ending::kUnreachable;
    return nullptr;
  }
  connection = http;
  httpSetTimeout(http, limits.silenceSeconds > 0 ? limits.silenceSeconds : kWaitSlice, KeepWaiting,
                 this);
  const auto msec = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
  if (httpReconnect2(http, static_cast<int>(std::clamp<long long>(msec.count(), 1, 86400000)),
                     &watch->cancel) == 0)
    return http;
  // Gone since our own connection, or no TLS where it is required.
  const Ending ended = Ended();
  connectFailure = ended != Ending::kOpen ? ended : Ending::kUnreachable;
  return nullptr;
}

CupsExchange::Ending CupsExchange::Ended() const {
  if (const Ending cut = watch->cut.load(); cut != Ending::kOpen) return cut;
  // The watchdog may not have woken yet, or may be missing.
  if (stop.stop_requested()) return Ending::kStopped;
  if (Clock::now() >= limits.deadline) return Ending::kTimedOut;
  return connectFailure;
}

}  // namespace pradex
