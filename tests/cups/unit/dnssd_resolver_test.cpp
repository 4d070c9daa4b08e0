// DNS-SD lookups against a system bus that is missing, or that takes the connection and never
// answers, as a hung daemon does. libdbus reads the system bus address once per process, so
// every test here uses one address: an abstract socket that a test listens on only while it
// plays the hung bus.
#include "platform/posix/dnssd_resolver.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace pradex {
namespace {

using Clock = std::chrono::steady_clock;
using Status = DnsSdAnswer::Status;
using std::chrono::seconds;

const std::string& BusName() {
  static const std::string name = [] {
    std::string made = "pradex-dnssd-test-" + std::to_string(getpid());
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:abstract=" + made).c_str(), 1);
    return made;
  }();
  return name;
}

// Accepts connections on the bus address and never says a word.
class HungBus {
 public:
  HungBus() : listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    BusName().copy(address.sun_path + 1, sizeof(address.sun_path) - 2);
    const auto size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + BusName().size());
    bound = bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            listen(listener, 8) == 0;
  }
  ~HungBus() {
    for (int client : clients) close(client);
    close(listener);
  }
  // Waits for the next client to connect; false when none came within `limit`.
  bool Accept(std::chrono::milliseconds limit) {
    pollfd ready{listener, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(limit.count())) != 1) return false;
    clients.push_back(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    return clients.back() >= 0;
  }
  // Ends the clients' connections from this side, as a daemon that finally goes does; true
  // once every client has closed its end.
  bool HangUpAndWaitForClients(std::chrono::milliseconds limit) {
    for (int client : clients) shutdown(client, SHUT_WR);
    for (int client : clients) {
      char buffer[256];
      for (pollfd ready{client, POLLIN, 0};;) {
        if (poll(&ready, 1, static_cast<int>(limit.count())) != 1) return false;
        if (read(client, buffer, sizeof(buffer)) <= 0) break;
      }
    }
    return true;
  }
  bool bound = false;

 private:
  int listener;
  std::vector<int> clients;
};

DnsSdQuery Service() {
  DnsSdQuery query;
  query.service = ServiceName{"Tamrin GlowMark 5000", "_ipp._tcp", "local"};
  return query;
}

TEST(DnsSdResolverTest, WithoutABusEveryLookupSaysSoAtOnce) {
  BusName();
  DnsSdResolver resolver;
  DnsSdQuery host;
  host.hostName = "labprn-c.local";
  const auto deadline = Clock::now() + seconds(60);
  EXPECT_EQ(resolver.Resolve(Service(), deadline, {}).status, Status::kNoDaemon);
  const DnsSdAnswer answer = resolver.Resolve(host, deadline, {});
  EXPECT_EQ(answer.status, Status::kNoDaemon);
  EXPECT_EQ(answer.host, "labprn-c.local");
}

TEST(DnsSdResolverTest, LookupsOnAHungDaemonEndAtTheirDeadlineOverOneConnection) {
  HungBus bus;
  ASSERT_TRUE(bus.bound);
  DnsSdResolver resolver;
  const auto deadline = Clock::now() + seconds(1);
  std::vector<std::future<Status>> lookups;
  for (int i = 0; i < 2; ++i)
    lookups.push_back(std::async(std::launch::async, [&] {
      const Status status = resolver.Resolve(Service(), deadline, {}).status;
      const auto late = Clock::now() - deadline;
      // Not before the deadline, and far from the 25 s of the daemon calls.
      EXPECT_TRUE(late >= Clock::duration::zero() && late < seconds(5));
      return status;
    }));
  for (auto& lookup : lookups) EXPECT_EQ(lookup.get(), Status::kTimedOut);
  EXPECT_TRUE(bus.Accept(seconds(0)));
  EXPECT_FALSE(bus.Accept(seconds(0)));
}

// A lookup on a hung daemon, waiting until the resolver's thread is inside its first call.
std::future<Status> StartHungLookup(DnsSdResolver& resolver, HungBus& bus, std::stop_token stop) {
  auto lookup = std::async(std::launch::async, [&resolver, stop] {
    return resolver.Resolve(Service(), Clock::now() + seconds(60), stop).status;
  });
  EXPECT_TRUE(bus.Accept(seconds(30)));
  return lookup;
}

// A stop ends the lookup at once, and the resolver goes without waiting for the daemon.
TEST(DnsSdResolverTest, StopAndDestructionDoNotWaitForAHungDaemonWhoseCallEndsByItself) {
  HungBus bus;
  ASSERT_TRUE(bus.bound);
  auto resolver = std::make_unique<DnsSdResolver>();
  std::stop_source stop;
  std::future<Status> lookup = StartHungLookup(*resolver, bus, stop.get_token());
  const auto stopped = Clock::now();
  stop.request_stop();
  ASSERT_EQ(lookup.get(), Status::kStopped);
  EXPECT_LT(Clock::now() - stopped, seconds(1));
  EXPECT_EQ(resolver->CallsLeftBehind(), 1);

  const auto destroyed = Clock::now();
  resolver.reset();
  EXPECT_LT(Clock::now() - destroyed, seconds(1));
  // The daemon goes: the call left behind returns and its thread lets go of the connection.
  EXPECT_TRUE(bus.HangUpAndWaitForClients(seconds(30)));
}

}  // namespace
}  // namespace pradex
