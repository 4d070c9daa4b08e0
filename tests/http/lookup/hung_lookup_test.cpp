// CurlHttpClient while a name lookup hangs. This program defines getaddrinfo itself: the one
// name below never resolves and no name server is asked for it; every other name goes on to
// the system's resolver.
#include <dlfcn.h>
#include <netdb.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <string>

#include "platform/posix/curl_http_client.h"
#include "platform/win_codes.h"
#include "tests/emulator/device_emulator.h"
#include "tests/support/http_recorder.h"
#include "tests/support/proxy_environment.h"

namespace {

constexpr const char* kHangingName = "lookup-hangs.invalid";

std::mutex gLookupMutex;
std::condition_variable gLookupChanged;
int gLookupsWaiting = 0;
bool gLookupsReleased = false;

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) noexcept {
  if (node && std::strcmp(node, kHangingName) == 0) {
    std::unique_lock lock(gLookupMutex);
    ++gLookupsWaiting;
    gLookupChanged.notify_all();
    gLookupChanged.wait(lock, [] { return gLookupsReleased; });
    --gLookupsWaiting;
    gLookupChanged.notify_all();
    return EAI_NONAME;
  }
  using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
  return next ? next(node, service, hints, result) : EAI_SYSTEM;
}

namespace pradex::testing {
namespace {

constexpr std::uint32_t kProbeFlags = kInternetFlagNoCacheWrite | kInternetFlagNoAutoRedirect;
constexpr milliseconds kPatience{10000};  // generous: only reached when something is broken

// Lets the hanging lookups return, and waits until they have, when the test ends.
struct LookupRelease {
  ~LookupRelease() {
    std::unique_lock lock(gLookupMutex);
    gLookupsReleased = true;
    gLookupChanged.notify_all();
    gLookupChanged.wait_for(lock, kPatience, [] { return gLookupsWaiting == 0; });
  }
};

TEST(CurlHungLookupTest, AHangingLookupHoldsUpNeitherOtherRequestsNorTheSessionsClose) {
  // Should the definition above not be the one libcurl calls, the name would go to a real
  // name server: the test does not run then.
  if (dlsym(RTLD_DEFAULT, "getaddrinfo") != reinterpret_cast<void*>(&getaddrinfo))
    GTEST_SKIP() << "getaddrinfo of this program is not the one the libraries call";
  testsupport::ClearProxyEnvironment();

  emulator::DeviceEmulator emulator;
  emulator::DeviceSpec device;
  device.address = "127.0.0.2";
  const std::string answering = emulator::DeviceEmulator::Url(
      device.address, emulator.AddDevice(device), emulator::kSuppliesPath);

  Recorder hung;
  Recorder answered;
  CurlHttpClient client;
  LookupRelease release;  // destroyed first: a client that waits for the lookup can then end
  const HttpHandle session =
      client.Open("InetSearch", kInternetOpenTypePreconfig, kInternetFlagAsync);
  ASSERT_NE(session, 0u);
  client.SetStatusCallback(session, &RecordingCallback);

  std::uint32_t error = 0;
  const std::string hanging = std::string("http://") + kHangingName + "/";
  client.OpenUrl(session, hanging.c_str(), kProbeFlags, hung.Context(), &error);
  ASSERT_TRUE(hung.WaitFor(kStatusHandleCreated, kPatience));
  {
    std::unique_lock lock(gLookupMutex);
    ASSERT_TRUE(gLookupChanged.wait_for(lock, kPatience, [] { return gLookupsWaiting > 0; }));
  }

  // Closing the request whose lookup hangs, as a time limit or a stop does.
  ASSERT_TRUE(client.CloseHandle(hung.Handle()));
  client.OpenUrl(session, answering.c_str(), kProbeFlags, answered.Context(), &error);
  EXPECT_TRUE(hung.WaitFor(kStatusHandleClosing, kPatience));
  Report complete;
  ASSERT_TRUE(answered.WaitFor(kStatusRequestComplete, kPatience, &complete));
  EXPECT_EQ(complete.error, 0u);

  auto closed = std::async(std::launch::async, [&] { return client.CloseHandle(session); });
  EXPECT_EQ(closed.wait_for(kPatience), std::future_status::ready)
      << "closing the session waited for the lookup";
  {
    std::lock_guard lock(gLookupMutex);
    EXPECT_GT(gLookupsWaiting, 0) << "the lookup was still hanging throughout";
  }
  {
    std::lock_guard lock(gLookupMutex);
    gLookupsReleased = true;
    gLookupChanged.notify_all();
  }
  EXPECT_TRUE(closed.get());
}

}  // namespace
}  // namespace pradex::testing
