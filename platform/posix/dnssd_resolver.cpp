#include "platform/posix/dnssd_resolver.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <array>
#include <memory>
#include <string_view>

namespace pradex {

namespace {

struct Lookup {
  DnsSdAnswer* answer = nullptr;
  std::size_t* pending = nullptr;
  bool done = false;
  void Finish(DnsSdAnswer::Status status) {
    if (done) return;
    done = true;
    answer->status = status;
    --*pending;
  }
};

void Found(Lookup& lookup, const char* host, const AvahiAddress* address, std::uint16_t port) {
  if (lookup.done) return;
  lookup.answer->host = host ? host : "";
  lookup.answer->port = port;
  if (address && address->proto == AVAHI_PROTO_INET) {
    char text[AVAHI_ADDRESS_STR_MAX];
    lookup.answer->ipv4 = avahi_address_snprint(text, sizeof(text), address);
  }
  lookup.Finish(DnsSdAnswer::Status::kFound);
}

void ServiceResolved(AvahiServiceResolver*, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                     const char*, const char*, const char*, const char* host,
                     const AvahiAddress* address, std::uint16_t port, AvahiStringList*,
                     AvahiLookupResultFlags, void* user) {
  auto& lookup = *static_cast<Lookup*>(user);
  if (event == AVAHI_RESOLVER_FOUND)
    Found(lookup, host, address, port);
  else
    lookup.Finish(DnsSdAnswer::Status::kNotFound);
}

void HostResolved(AvahiHostNameResolver*, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                  const char* name, const AvahiAddress* address, AvahiLookupResultFlags,
                  void* user) {
  auto& lookup = *static_cast<Lookup*>(user);
  if (event == AVAHI_RESOLVER_FOUND)
    Found(lookup, name, address, 0);
  else
    lookup.Finish(DnsSdAnswer::Status::kNotFound);
}

struct PollDeleter {
  void operator()(AvahiSimplePoll* poll) const { avahi_simple_poll_free(poll); }
};
struct ClientDeleter {
  void operator()(AvahiClient* client) const { avahi_client_free(client); }
};

}  // namespace

std::vector<DnsSdAnswer> DnsSdResolver::ResolveAll(const std::vector<DnsSdQuery>& queries,
                                                   std::chrono::milliseconds timeout) {
  std::vector<DnsSdAnswer> answers(queries.size());
  if (queries.empty()) return answers;
  auto finishAll = [&answers](DnsSdAnswer::Status status) {
    for (DnsSdAnswer& answer : answers)
      if (answer.status != DnsSdAnswer::Status::kFound) answer.status = status;
    return answers;
  };
  if (stopped) return finishAll(DnsSdAnswer::Status::kStopped);

  std::unique_ptr<AvahiSimplePoll, PollDeleter> poll(avahi_simple_poll_new());
  if (!poll) return finishAll(DnsSdAnswer::Status::kNoDaemon);
  int error = 0;
  // Without AVAHI_CLIENT_NO_FAIL, a missing daemon or bus fails here at once instead of
  // waiting for a daemon that may never come.
  std::unique_ptr<AvahiClient, ClientDeleter> client(avahi_client_new(
      avahi_simple_poll_get(poll.get()), AvahiClientFlags(0), nullptr, nullptr, &error));
  if (!client) return finishAll(DnsSdAnswer::Status::kNoDaemon);

  std::size_t pending = queries.size();
  std::vector<Lookup> lookups(queries.size());
  for (std::size_t i = 0; i < queries.size(); ++i) {
    lookups[i].answer = &answers[i];
    lookups[i].pending = &pending;
    const DnsSdQuery& query = queries[i];
    bool started = false;
    // The resolvers are freed with the client.
    if (query.service) {
      started = avahi_service_resolver_new(
          client.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, query.service->instance.c_str(),
          query.service->type.c_str(), query.service->domain.c_str(), AVAHI_PROTO_INET,
          AvahiLookupFlags(0), ServiceResolved, &lookups[i]);
    } else {
      started = avahi_host_name_resolver_new(client.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                             query.hostName.c_str(), AVAHI_PROTO_INET,
                                             AvahiLookupFlags(0), HostResolved, &lookups[i]);
    }
    if (!started) {
      const int clientError = avahi_client_errno(client.get());
      lookups[i].Finish(clientError == AVAHI_ERR_DISCONNECTED || clientError == AVAHI_ERR_NO_DAEMON
                            ? DnsSdAnswer::Status::kNoDaemon
                            : DnsSdAnswer::Status::kNotFound);
    }
  }

  {
    std::lock_guard<std::mutex> lock(mutex);
    activePoll = poll.get();
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (pending > 0 && !stopped) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (avahi_simple_poll_iterate(poll.get(), static_cast<int>(left.count())) != 0) break;
    if (avahi_client_get_state(client.get()) == AVAHI_CLIENT_FAILURE) {
      for (Lookup& lookup : lookups) lookup.Finish(DnsSdAnswer::Status::kNoDaemon);
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    activePoll = nullptr;
  }
  for (Lookup& lookup : lookups)
    lookup.Finish(stopped ? DnsSdAnswer::Status::kStopped : DnsSdAnswer::Status::kTimedOut);
  return answers;
}

void DnsSdResolver::Stop() {
  stopped = true;
  std::lock_guard<std::mutex> lock(mutex);
  if (activePoll) avahi_simple_poll_wakeup(static_cast<AvahiSimplePoll*>(activePoll));
}

void DnsSdResolver::Reset() {
  stopped = false;
}

}  // namespace pradex
