// Asking another CUPS server which device its queue prints to: a server that never takes the
// connection or never answers is given up at the lookup's limit, and Stop cuts the lookup at
// once in either state.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>

#include "platform/posix/device_uri_resolver.h"
#include "tests/emulator/device_emulator.h"

namespace pradex {
namespace {

using emulator::Behaviour;
using namespace std::chrono_literals;

// Tells when a lookup has begun, so that Stop falls inside it.
class ObservedResolver : public DeviceUriResolver {
 public:
  using DeviceUriResolver::DeviceUriResolver;
  std::future<void> Asking() { return asking.get_future(); }

 protected:
  std::optional<std::string> AskPrintServer(const DeviceUriPlan& plan) override {
    std::call_once(once, [this] { asking.set_value(); });
    return DeviceUriResolver::AskPrintServer(plan);
  }

 private:
  std::promise<void> asking;
  std::once_flag once;
};

TEST(PrintServerLookupTest, ASilentServerIsGivenUpAtTheLimitAndStopCutsItAtOnce) {
  const struct {
    Behaviour server;
    bool stop;
    std::chrono::milliseconds limit;
    const char* reason;
  } cases[] = {
      {Behaviour::kHang, false, 1000ms, "print server 127.0.0.2 did not say"},
      // Limits far beyond the guard below: only Stop can end these in time.
      {Behaviour::kHang, true, 60000ms, "asking print server 127.0.0.2 cut by stop"},
      {Behaviour::kBlackhole, true, 60000ms, "asking print server 127.0.0.2 cut by stop"},
  };
  for (const auto& c : cases) {
    emulator::DeviceSpec spec;
    spec.behaviour = c.server;
    SCOPED_TRACE(emulator::BehaviourText(spec) + (c.stop ? ", stopped" : ""));
    emulator::DeviceEmulator servers;
    const std::uint16_t port = servers.AddDevice(spec);
    const std::string uri = "ipp://127.0.0.2:" + std::to_string(port) + "/printers/office";
    ObservedResolver resolver(DeviceUriResolver::Options{c.limit});
    std::future<void> asking = resolver.Asking();
    std::future<void> prepared = std::async(std::launch::async, [&] { resolver.Prepare({uri}); });

    if (c.stop) {
      ASSERT_EQ(asking.wait_for(10s), std::future_status::ready);
      // A server that takes connections has the request before it is cut.
      if (c.server == Behaviour::kHang) {
        ASSERT_TRUE(servers.WaitForRequests(1, 10s));
      }
      resolver.Stop();
    }
    const auto guard = c.stop ? std::chrono::milliseconds(10s) : c.limit + 10s;
    ASSERT_EQ(prepared.wait_for(guard), std::future_status::ready);
    EXPECT_EQ(resolver.FailureReason(uri).find(c.reason), 0u) << resolver.FailureReason(uri);
  }
}

}  // namespace
}  // namespace pradex
