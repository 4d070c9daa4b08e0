#include "platform/posix/dnssd_resolver.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <avahi-common/strlst.h>
#include <dbus/dbus.h>
#include <net/if.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace pradex {

namespace {

using Clock = std::chrono::steady_clock;
using Status = DnsSdAnswer::Status;

// How long an IPv6 answer waits for an IPv4 one, which is preferred.
constexpr auto kIpv4Grace = std::chrono::milliseconds(250);

enum Family { kIpv4 = 0, kIpv6 = 1 };

struct Lookup;

// One of a lookup's two daemon resolvers, one per address family. Only the connection
// thread touches it.
struct Side {
  Lookup* lookup = nullptr;
  Family family = kIpv4;
  void* resolver = nullptr;  // an AvahiServiceResolver or AvahiHostNameResolver
};

struct Lookup {
  DnsSdConnection* connection = nullptr;
  DnsSdQuery query;
  std::array<Side, 2> sides;
  std::condition_variable_any changed;
  // Guarded by the connection's mutex.
  DnsSdAnswer answer;
  std::array<bool, 2> failed{};  // per family: the daemon said there is none
  std::optional<Clock::time_point> ipv6At;
  bool noDaemon = false;
  bool updated = false;
  bool callerGone = false;  // the caller has its answer or gave up: the resolvers can go
};

}  // namespace

struct DnsSdConnection {
  std::mutex mutex;
  // All guarded by mutex.
  bool running = false;             // a connection thread exists
  bool closing = false;             // the resolver is gone: the thread ends after its current call
  AvahiSimplePoll* poll = nullptr;  // the thread's, while it exists
  std::deque<std::shared_ptr<Lookup>> queued;  // not yet handed to the daemon
  int waiting = 0;                             // callers inside Resolve
  bool inCall = false;                         // a blocking daemon call is under way...
  std::shared_ptr<Lookup> callFor;             // ...for this lookup; null: for the connection

  bool changed = false;  // something for the thread came since it last looked
  void Wake() {          // under mutex
    changed = true;
    if (poll) avahi_simple_poll_wakeup(poll);
  }
  // Marks a blocking daemon call as under way; false when the resolver is being destroyed.
  bool BeginCall(std::shared_ptr<Lookup> lookup) {
    std::lock_guard<std::mutex> lock(mutex);
    if (closing) return false;
    inCall = true;
    callFor = std::move(lookup);
    return true;
  }
  void EndCall() {
    std::lock_guard<std::mutex> lock(mutex);
    inCall = false;
    callFor.reset();
  }
};

namespace {

void Notify(Lookup& lookup) {  // under the connection's mutex
  lookup.updated = true;
  lookup.changed.notify_all();
}

std::string AddressText(const AvahiAddress& address, AvahiIfIndex interface) {
  char text[AVAHI_ADDRESS_STR_MAX];
  if (!avahi_address_snprint(text, sizeof(text), &address)) return "";
  std::string result = text;
  const std::uint8_t* bytes = address.data.ipv6.address;
  if (address.proto == AVAHI_PROTO_INET6 && bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80) {
    // A link-local address means nothing without the link it was seen on.
    char name[IF_NAMESIZE];
    if (interface > 0 && if_indextoname(static_cast<unsigned>(interface), name))
      result += std::string("%") + name;
  }
  return result;
}

std::string ResourcePath(AvahiStringList* txt) {
  for (AvahiStringList* item = txt; item; item = avahi_string_list_get_next(item)) {
    const std::string_view entry(reinterpret_cast<const char*>(avahi_string_list_get_text(item)),
                                 avahi_string_list_get_size(item));
    // TXT keys are case-insensitive.
    if (entry.size() >= 3 && strncasecmp(entry.data(), "rp=", 3) == 0)
      return std::string(entry.substr(3));
  }
  return "";
}

void Record(Side& side, AvahiResolverEvent event, const char* host, const AvahiAddress* address,
            AvahiIfIndex interface, std::uint16_t port, AvahiStringList* txt) {
  Lookup& lookup = *side.lookup;
  std::lock_guard<std::mutex> lock(lookup.connection->mutex);
  DnsSdAnswer& answer = lookup.answer;
  const AvahiProtocol wanted = side.family == kIpv4 ? AVAHI_PROTO_INET : AVAHI_PROTO_INET6;
  if (event != AVAHI_RESOLVER_FOUND || !address || address->proto != wanted) {
    lookup.failed[side.family] = true;
    Notify(lookup);
    return;
  }
  if (lookup.query.service) {
    if (host) answer.host = host;
    answer.port = port;
    answer.resourcePath = ResourcePath(txt);
  }
  std::string& text = side.family == kIpv4 ? answer.ipv4 : answer.ipv6;
  if (text.empty()) text = AddressText(*address, interface);
  if (side.family == kIpv6 && !lookup.ipv6At) lookup.ipv6At = Clock::now();
  Notify(lookup);
}

void ServiceResolved(AvahiServiceResolver*, AvahiIfIndex interface, AvahiProtocol,
                     AvahiResolverEvent event, const char*, const char*, const char*,
                     const char* host, const AvahiAddress* address, std::uint16_t port,
                     AvahiStringList* txt, AvahiLookupResultFlags, void* user) {
  Record(*static_cast<Side*>(user), event, host, address, interface, port, txt);
}

void HostResolved(AvahiHostNameResolver*, AvahiIfIndex interface, AvahiProtocol,
                  AvahiResolverEvent event, const char*, const AvahiAddress* address,
                  AvahiLookupResultFlags, void* user) {
  Record(*static_cast<Side*>(user), event, nullptr, address, interface, 0, nullptr);
}

// The lookup's outcome once it has one (under the connection's mutex).
std::optional<Status> Decide(const Lookup& lookup, Clock::time_point now,
                             Clock::time_point deadline) {
  if (lookup.noDaemon) return Status::kNoDaemon;
  if (!lookup.answer.ipv4.empty()) return Status::kFound;
  if (!lookup.answer.ipv6.empty() &&
      (lookup.failed[kIpv4] || now >= *lookup.ipv6At + kIpv4Grace || now >= deadline))
    return Status::kFound;
  if (lookup.failed[kIpv4] && lookup.failed[kIpv6]) return Status::kNotFound;
  return std::nullopt;
}

bool NoDaemonError(int error) {
  return error == AVAHI_ERR_DISCONNECTED || error == AVAHI_ERR_NO_DAEMON ||
         error == AVAHI_ERR_BAD_STATE;
}

struct ClientState {
  bool failed = false;
};

void ClientChanged(AvahiClient*, AvahiClientState state, void* user) {
  // The client cannot be freed inside its own callback: the thread does it after dispatch.
  if (state == AVAHI_CLIENT_FAILURE) static_cast<ClientState*>(user)->failed = true;
}

// Asks the daemon for the lookup's name in both families. False when the resolver is being
// destroyed.
bool Start(DnsSdConnection& connection, AvahiClient* client,
           const std::shared_ptr<Lookup>& lookup) {
  const DnsSdQuery& query = lookup->query;
  for (Side& side : lookup->sides) {
    {
      std::lock_guard<std::mutex> lock(connection.mutex);
      if (lookup->callerGone || lookup->noDaemon) return true;
    }
    if (!connection.BeginCall(lookup)) return false;
    const AvahiProtocol family = side.family == kIpv4 ? AVAHI_PROTO_INET : AVAHI_PROTO_INET6;
    if (query.service) {
      side.resolver = avahi_service_resolver_new(
          client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, query.service->instance.c_str(),
          query.service->type.c_str(), query.service->domain.c_str(), family, AvahiLookupFlags(0),
          ServiceResolved, &side);
    } else {
      side.resolver = avahi_host_name_resolver_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                   query.hostName.c_str(), family,
                                                   AvahiLookupFlags(0), HostResolved, &side);
    }
    const int error = side.resolver ? AVAHI_OK : avahi_client_errno(client);
    connection.EndCall();
    // A call the daemon left unanswered (D-Bus time-out) says nothing about the name: the
    // lookup ends at its deadline.
    if (!side.resolver && error != AVAHI_ERR_DBUS_ERROR) {
      std::lock_guard<std::mutex> lock(connection.mutex);
      (NoDaemonError(error) ? lookup->noDaemon : lookup->failed[side.family]) = true;
      Notify(*lookup);
    }
  }
  return true;
}

// Frees the lookup's resolvers in the daemon. False when the resolver is being destroyed.
bool Finish(DnsSdConnection& connection, const std::shared_ptr<Lookup>& lookup) {
  for (Side& side : lookup->sides) {
    if (!side.resolver) continue;
    if (!connection.BeginCall(lookup)) return false;
    if (lookup->query.service)
      avahi_service_resolver_free(static_cast<AvahiServiceResolver*>(side.resolver));
    else
      avahi_host_name_resolver_free(static_cast<AvahiHostNameResolver*>(side.resolver));
    side.resolver = nullptr;
    connection.EndCall();
  }
  return true;
}

// One round of the poll. The poll forgets a wake-up that comes before it prepares, so one
// that came since the thread last looked at its work is made again once it has prepared.
bool Iterate(DnsSdConnection& connection, AvahiSimplePoll* poll) {
  if (avahi_simple_poll_prepare(poll, -1) != 0) return false;
  {
    std::lock_guard<std::mutex> lock(connection.mutex);
    if (connection.changed) avahi_simple_poll_wakeup(poll);
  }
  return avahi_simple_poll_run(poll) == 0 && avahi_simple_poll_dispatch(poll) == 0;
}

// Serves lookups over one daemon connection until it fails or the resolver is destroyed.
void ServeConnection(DnsSdConnection& connection) {
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  AvahiClient* client = nullptr;
  ClientState state;
  if (poll) {
    {
      std::lock_guard<std::mutex> lock(connection.mutex);
      connection.poll = poll;
    }
    if (connection.BeginCall(nullptr)) {
      int error = 0;
      // Without AVAHI_CLIENT_NO_FAIL, a missing daemon or bus fails here at once instead of
      // waiting for a daemon that may never come.
      client = avahi_client_new(avahi_simple_poll_get(poll), AvahiClientFlags(0), ClientChanged,
                                &state, &error);
      connection.EndCall();
    }
  }

  std::vector<std::shared_ptr<Lookup>> active;  // handed to the daemon
  bool open = client != nullptr;
  while (open) {
    std::vector<std::shared_ptr<Lookup>> fresh;
    std::vector<std::shared_ptr<Lookup>> done;
    {
      std::lock_guard<std::mutex> lock(connection.mutex);
      if (connection.closing) break;
      connection.changed = false;
      fresh.assign(connection.queued.begin(), connection.queued.end());
      connection.queued.clear();
      const auto kept = std::stable_partition(
          active.begin(), active.end(), [](const auto& lookup) { return !lookup->callerGone; });
      done.assign(kept, active.end());
      active.erase(kept, active.end());
    }
    for (const auto& lookup : fresh) {
      open = open && Start(connection, client, lookup);
      active.push_back(lookup);
    }
    for (const auto& lookup : done) open = open && Finish(connection, lookup);
    open = open && !state.failed && Iterate(connection, poll) && !state.failed;
  }

  {
    std::lock_guard<std::mutex> lock(connection.mutex);
    connection.poll = nullptr;
    // What this connection held has no daemon to answer it any more. When the connection was
    // never made, that includes every lookup queued for it.
    if (!client) {
      active.assign(connection.queued.begin(), connection.queued.end());
      connection.queued.clear();
    }
    for (const auto& lookup : active) {
      lookup->noDaemon = true;
      Notify(*lookup);
    }
  }
  // Closes the bus before freeing the resolvers, so this makes no daemon call.
  if (client) avahi_client_free(client);
  if (poll) avahi_simple_poll_free(poll);
}

// The connection thread: a connection, and a new one while lookups come after one failed.
void Serve(std::shared_ptr<DnsSdConnection> connection) {
  for (;;) {
    ServeConnection(*connection);
    std::lock_guard<std::mutex> lock(connection->mutex);
    if (connection->closing || connection->queued.empty()) {
      connection->running = false;
      return;
    }
  }
}

}  // namespace

DnsSdResolver::DnsSdResolver() : connection(std::make_shared<DnsSdConnection>()) {
  // libdbus makes its global locks on first use. Made here, before any lookup thread or the
  // print dialog's discovery thread exists, two threads never race to make them.
  dbus_threads_init_default();
}

DnsSdResolver::~DnsSdResolver() {
  std::unique_lock<std::mutex> lock(connection->mutex);
  connection->closing = true;
  connection->Wake();
  // A thread out of any daemon call ends at once; one inside a call ends when the call
  // returns, which may be never.
  const bool stuck = connection->inCall;
  std::thread worker = std::move(thread);
  lock.unlock();
  if (!worker.joinable()) return;
  if (stuck)
    worker.detach();
  else
    worker.join();
}

DnsSdAnswer DnsSdResolver::Resolve(const DnsSdQuery& query, Clock::time_point deadline,
                                   std::stop_token stop) {
  DnsSdAnswer cut;
  if (!query.service) cut.host = query.hostName;
  if (stop.stop_requested()) {
    cut.status = Status::kStopped;
    return cut;
  }
  auto lookup = std::make_shared<Lookup>();
  lookup->connection = connection.get();
  lookup->query = query;
  lookup->answer = cut;
  lookup->sides[kIpv4] = {lookup.get(), kIpv4, nullptr};
  lookup->sides[kIpv6] = {lookup.get(), kIpv6, nullptr};

  DnsSdConnection& shared = *connection;
  std::unique_lock<std::mutex> lock(shared.mutex);
  if (!shared.running) {
    // No connection yet, or the last one failed and its thread has ended.
    if (thread.joinable()) thread.join();
    thread = std::thread(Serve, connection);
    shared.running = true;
  }
  shared.queued.push_back(lookup);
  ++shared.waiting;
  shared.Wake();

  std::optional<Status> status;
  for (;;) {
    const Clock::time_point now = Clock::now();
    status = Decide(*lookup, now, deadline);
    if (status) break;
    if (stop.stop_requested()) {
      status = Status::kStopped;
      break;
    }
    if (now >= deadline) {
      status = Status::kTimedOut;
      break;
    }
    Clock::time_point until = deadline;
    if (lookup->ipv6At) until = std::min(until, *lookup->ipv6At + kIpv4Grace);
    lookup->changed.wait_until(lock, stop, until, [&] { return lookup->updated; });
    lookup->updated = false;
  }
  lookup->callerGone = true;
  --shared.waiting;
  shared.Wake();
  DnsSdAnswer answer = lookup->answer;
  answer.status = *status;
  return answer;
}

int DnsSdResolver::CallsLeftBehind() const {
  std::lock_guard<std::mutex> lock(connection->mutex);
  if (!connection->inCall) return 0;
  if (connection->callFor) return connection->callFor->callerGone ? 1 : 0;
  return connection->waiting == 0 ? 1 : 0;
}

}  // namespace pradex
