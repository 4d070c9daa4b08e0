// CurlHttpClient against the loopback device emulator.
#include "platform/posix/curl_http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <thread>

#include "platform/win_codes.h"
#include "tests/emulator/device_emulator.h"
#include "tests/support/http_recorder.h"
#include "tests/support/proxy_environment.h"

namespace pradex::testing {
namespace {

using emulator::Behaviour;
using emulator::DeviceEmulator;
using emulator::DeviceSpec;
using emulator::kDispatcherPath;
using emulator::kSuppliesPath;
using testsupport::ClearProxyEnvironment;

constexpr std::uint32_t kProbeFlags = kInternetFlagNoCacheWrite | kInternetFlagNoAutoRedirect;
// Generous, only reached when something is broken; and still below the 7 s connect time-out, so
// that a request that ends within it did not wait for that time-out.
constexpr milliseconds kPatience{5000};

DeviceSpec Device(const std::string& address, Behaviour behaviour, int status = 200,
                  int delayMs = 0) {
  DeviceSpec spec;
  spec.address = address;
  spec.behaviour = behaviour;
  spec.status = status;
  spec.delayMs = delayMs;
  return spec;
}

class CurlHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    session = client->Open("InetSearch", kInternetOpenTypePreconfig, kInternetFlagAsync);
    ASSERT_NE(session, 0u);
    SetConnectTimeout(7000);
    client->SetStatusCallback(session, &RecordingCallback);
  }

  void SetConnectTimeout(std::uint32_t ms) {
    ASSERT_TRUE(client->SetOption(session, kInternetOptionConnectTimeout, &ms, sizeof ms));
  }

  std::string AddDevice(const DeviceSpec& spec, std::string_view path = kSuppliesPath) {
    const std::uint16_t port = devices.AddDevice(spec);
    return DeviceEmulator::Url(spec.address, port, path);
  }

  // Starts a GET whose reports go to a new recorder.
  Recorder& Start(const std::string& url) {
    Recorder& recorder = recorders.emplace_back();
    std::uint32_t error = 0;
    EXPECT_EQ(client->OpenUrl(session, url.c_str(), kProbeFlags, recorder.Context(), &error), 0u);
    EXPECT_EQ(error, static_cast<std::uint32_t>(kErrorIoPending));
    return recorder;
  }

  // Waits for the completion and returns its error.
  std::uint32_t Complete(const Recorder& recorder) {
    Report complete;
    EXPECT_TRUE(recorder.WaitFor(kStatusRequestComplete, kPatience, &complete));
    return complete.error;
  }

  std::uint32_t StatusOf(const Recorder& recorder) {
    std::uint32_t status = 0;
    EXPECT_TRUE(client->QueryStatusCode(recorder.Handle(), &status));
    return status;
  }

  void CloseAndExpectLastReport(Recorder& recorder) {
    ASSERT_NE(recorder.Handle(), 0u);
    ASSERT_TRUE(client->CloseHandle(recorder.Handle()));
    ASSERT_TRUE(recorder.WaitFor(kStatusHandleClosing, kPatience));
    std::this_thread::sleep_for(milliseconds(20));
    const auto statuses = recorder.Statuses();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kStatusHandleClosing), 1);
    EXPECT_EQ(statuses.back(), kStatusHandleClosing);
  }

  // Declared first, destroyed last: every report has arrived once the client is gone.
  std::deque<Recorder> recorders;
  DeviceEmulator devices;
  std::unique_ptr<CurlHttpClient> client = std::make_unique<CurlHttpClient>();
  HttpHandle session = 0;
};

TEST_F(CurlHttpClientTest, AnsweringDeviceReportsCreatedCompleteAndClosing) {
  const std::string url = AddDevice(Device("127.0.0.2", Behaviour::kAnswer));
  Recorder& probe = Start(url);

  EXPECT_EQ(Complete(probe), 0u);
  EXPECT_EQ(StatusOf(probe), 200u);
  CloseAndExpectLastReport(probe);

  const auto reports = probe.Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].status, kStatusHandleCreated);
  EXPECT_NE(reports[0].result, 0u);
  EXPECT_EQ(reports[0].handle, reports[0].result);
  EXPECT_EQ(reports[1].status, kStatusRequestComplete);
  EXPECT_EQ(reports[1].handle, reports[0].result);
  for (const Report& report : reports) EXPECT_NE(report.thread, std::this_thread::get_id());

  // The handle is gone once closed.
  std::uint32_t status = 0;
  EXPECT_FALSE(client->QueryStatusCode(reports[0].result, &status));
  EXPECT_FALSE(client->CloseHandle(reports[0].result));

  const auto requests = devices.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, kSuppliesPath);
  EXPECT_EQ(requests[0].userAgent, "InetSearch");
}

TEST_F(CurlHttpClientTest, OtherStatusesCompleteWithoutErrorAndRedirectsAreNotFollowed) {
  struct Case {
    int status;
    std::string_view path;
    std::uint32_t expected;
  };
  const Case cases[] = {{404, kSuppliesPath, 404},
                        {500, kDispatcherPath, 500},
                        {302, kSuppliesPath, 302},
                        {301, kDispatcherPath, 301},
                        {200, "/index.html", 404}};
  int address = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    devices.ClearRequests();
    const std::string url = AddDevice(
        Device("127.0.0." + std::to_string(address++), Behaviour::kAnswer, c.status), c.path);
    Recorder& probe = Start(url);
    EXPECT_EQ(Complete(probe), 0u);
    EXPECT_EQ(StatusOf(probe), c.expected);
    CloseAndExpectLastReport(probe);
    // One request only: the Location of a redirect was not visited.
    ASSERT_EQ(devices.RequestCount(), 1u);
    EXPECT_EQ(devices.Requests()[0].path, c.path);
  }
}

TEST_F(CurlHttpClientTest, BrokenDevicesFailFastWithWinInetErrors) {
  struct Case {
    const char* name;
    std::string url;
    std::vector<std::uint32_t> allowed;
  };
  const std::vector<Case> cases = {
      {"closed port",
       DeviceEmulator::Url("127.0.0.20", DeviceEmulator::ClosedPort("127.0.0.20"), kSuppliesPath),
       {kInternetErrorCannotConnect}},
      {"garbage",
       AddDevice(Device("127.0.0.21", Behaviour::kGarbage)),
       {kHttpErrorInvalidServerResponse}},
      {"reset",
       AddDevice(Device("127.0.0.22", Behaviour::kReset)),
       {kInternetErrorConnectionReset}},
      // Depending on whether the request reached the device before it closed: a reset, or an
      // empty reply.
      {"close at once",
       AddDevice(Device("127.0.0.23", Behaviour::kCloseAtOnce)),
       {kHttpErrorInvalidServerResponse, kInternetErrorConnectionReset,
        kInternetErrorConnectionAborted}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder& probe = Start(c.url);
    const std::uint32_t error = Complete(probe);
    EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), error), c.allowed.end())
        << "error " << error;
    std::uint32_t status = 0;
    EXPECT_FALSE(client->QueryStatusCode(probe.Handle(), &status));
    CloseAndExpectLastReport(probe);
  }
}

TEST_F(CurlHttpClientTest, ConnectTimeOutEndsAConnectionThatIsNeverAccepted) {
  SetConnectTimeout(300);
  const std::string url = AddDevice(Device("127.0.0.30", Behaviour::kBlackhole));
  const auto started = Clock::now();
  Recorder& probe = Start(url);
  EXPECT_EQ(Complete(probe), kInternetErrorTimeout);
  const auto elapsed = Clock::now() - started;
  EXPECT_GE(elapsed, milliseconds(250));
  CloseAndExpectLastReport(probe);
}

TEST_F(CurlHttpClientTest, SilentDeviceOnlyEndsWhenClosed) {
  // The connect time-out covers connecting only: a device that accepts and stays silent keeps
  // the request pending, and only closing the handle (the caller's watchdog) ends it.
  SetConnectTimeout(300);
  const std::string url = AddDevice(Device("127.0.0.31", Behaviour::kHang));
  Recorder& probe = Start(url);
  ASSERT_TRUE(probe.WaitFor(kStatusHandleCreated, kPatience));
  ASSERT_TRUE(devices.WaitForRequests(1, kPatience));
  EXPECT_EQ(devices.OpenConnections(), 1u);
  EXPECT_FALSE(probe.WaitFor(kStatusRequestComplete, milliseconds(800)));

  ASSERT_TRUE(client->CloseHandle(probe.Handle()));
  ASSERT_TRUE(probe.WaitFor(kStatusHandleClosing, kPatience));
  // The connection is really given up, and nothing follows the 70.
  EXPECT_TRUE(devices.WaitForOpenConnectionsAtMost(0, kPatience));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(probe.Statuses(), (std::vector{kStatusHandleCreated, kStatusHandleClosing}));
}

TEST_F(CurlHttpClientTest, DelayedAnswerCompletesAfterItsDelay) {
  const std::string url = AddDevice(Device("127.0.0.32", Behaviour::kAnswer, 200, 200));
  const auto started = Clock::now();
  Recorder& probe = Start(url);
  EXPECT_EQ(Complete(probe), 0u);
  EXPECT_GE(Clock::now() - started, milliseconds(200));
  EXPECT_EQ(StatusOf(probe), 200u);
  CloseAndExpectLastReport(probe);
}

// Closes the request handle from inside its completion, as the search engine does.
void CloseOnComplete(HttpHandle handle, std::uintptr_t context, std::uint32_t status,
                     const void* info, std::uint32_t length);
CurlHttpClient* gClient = nullptr;

void CloseOnComplete(HttpHandle handle, std::uintptr_t context, std::uint32_t status,
                     const void* info, std::uint32_t length) {
  RecordingCallback(handle, context, status, info, length);
  if (status == kStatusRequestComplete) {
    std::uint32_t code = 0;
    if (gClient->QueryStatusCode(handle, &code)) {
      Report pseudo;
      pseudo.status = code;
      reinterpret_cast<Recorder*>(context)->Add(pseudo);
    }
    gClient->CloseHandle(handle);
  }
}

TEST_F(CurlHttpClientTest, HandleCanBeClosedFromItsOwnCompletion) {
  gClient = client.get();
  client->SetStatusCallback(session, &CloseOnComplete);
  Recorder& answered = Start(AddDevice(Device("127.0.0.33", Behaviour::kAnswer, 404)));
  Recorder& refused = Start(
      DeviceEmulator::Url("127.0.0.33", DeviceEmulator::ClosedPort("127.0.0.33"), kSuppliesPath));
  for (Recorder* probe : {&answered, &refused}) {
    ASSERT_TRUE(probe->WaitFor(kStatusHandleClosing, kPatience));
    std::this_thread::sleep_for(milliseconds(20));
  }
  // The status was readable inside the completion (recorded as a pseudo-report).
  EXPECT_EQ(answered.Statuses(),
            (std::vector<std::uint32_t>{kStatusHandleCreated, kStatusRequestComplete, 404,
                                        kStatusHandleClosing}));
  EXPECT_EQ(refused.Statuses(),
            (std::vector{kStatusHandleCreated, kStatusRequestComplete, kStatusHandleClosing}));
}

TEST_F(CurlHttpClientTest, ManyConcurrentRequestsFromSeveralThreads) {
  const std::string ok = AddDevice(Device("127.0.0.40", Behaviour::kAnswer));
  const std::string missing = AddDevice(Device("127.0.0.41", Behaviour::kAnswer, 404));
  const std::string slow = AddDevice(Device("127.0.0.42", Behaviour::kAnswer, 200, 50));
  const std::string closed =
      DeviceEmulator::Url("127.0.0.43", DeviceEmulator::ClosedPort("127.0.0.43"), kSuppliesPath);
  const std::string urls[] = {ok, missing, slow, closed};
  constexpr int kThreads = 4;
  constexpr int kPerThread = 48;  // a multiple of the four URLs

  std::deque<Recorder> probes(kThreads * kPerThread);
  std::vector<std::thread> threads;
  std::atomic<int> started{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        Recorder& probe = probes[t * kPerThread + i];
        std::uint32_t error = 0;
        client->OpenUrl(session, urls[i % 4].c_str(), kProbeFlags, probe.Context(), &error);
        if (error == static_cast<std::uint32_t>(kErrorIoPending)) ++started;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(started, kThreads * kPerThread);

  for (int n = 0; n < kThreads * kPerThread; ++n) {
    Recorder& probe = probes[n];
    Report complete;
    ASSERT_TRUE(probe.WaitFor(kStatusRequestComplete, kPatience, &complete)) << n;
    EXPECT_EQ(probe.Statuses().front(), kStatusHandleCreated);
    std::uint32_t status = 0;
    switch (n % kPerThread % 4) {
      case 0:
      case 2:
        EXPECT_EQ(complete.error, 0u);
        EXPECT_TRUE(client->QueryStatusCode(probe.Handle(), &status));
        EXPECT_EQ(status, 200u);
        break;
      case 1:
        EXPECT_EQ(complete.error, 0u);
        EXPECT_TRUE(client->QueryStatusCode(probe.Handle(), &status));
        EXPECT_EQ(status, 404u);
        break;
      case 3:
        EXPECT_EQ(complete.error, kInternetErrorCannotConnect);
        break;
    }
    EXPECT_TRUE(client->CloseHandle(probe.Handle()));
  }
  for (Recorder& probe : probes) {
    ASSERT_TRUE(probe.WaitFor(kStatusHandleClosing, kPatience));
  }
  client->CloseHandle(session);
  for (Recorder& probe : probes) {
    EXPECT_EQ(probe.Statuses(),
              (std::vector{kStatusHandleCreated, kStatusRequestComplete, kStatusHandleClosing}));
  }
  // Three quarters of the requests reached a device, each exactly once.
  EXPECT_EQ(devices.RequestCount(), static_cast<std::size_t>(kThreads * kPerThread * 3 / 4));
}

TEST_F(CurlHttpClientTest, ClosingTheSessionClosesRequestsInFlight) {
  const std::string silent = AddDevice(Device("127.0.0.50", Behaviour::kHang));
  const std::string slow = AddDevice(Device("127.0.0.51", Behaviour::kAnswer, 200, 60000));
  const std::string blackhole = AddDevice(Device("127.0.0.52", Behaviour::kBlackhole));
  std::vector<Recorder*> probes;
  for (int i = 0; i < 10; ++i) {
    probes.push_back(&Start(silent));
    probes.push_back(&Start(slow));
    probes.push_back(&Start(blackhole));
  }
  ASSERT_TRUE(devices.WaitForRequests(20, kPatience));
  const std::size_t sessionClosingBefore = SessionReports().Reports().size();

  // Closing waits neither for the slow answers nor for the 7 s connect time-out.
  const auto started = Clock::now();
  ASSERT_TRUE(client->CloseHandle(session));
  EXPECT_LT(Clock::now() - started, kPatience);

  // Every report has arrived when CloseHandle returns: each request's 70, then the session's.
  for (Recorder* probe : probes) {
    EXPECT_EQ(probe->Statuses(), (std::vector{kStatusHandleCreated, kStatusHandleClosing}));
  }
  const auto sessionReports = SessionReports().Reports();
  ASSERT_EQ(sessionReports.size(), sessionClosingBefore + 1);
  EXPECT_EQ(sessionReports.back().status, kStatusHandleClosing);
  EXPECT_EQ(sessionReports.back().handle, session);
  for (Recorder* probe : probes)
    EXPECT_LE(probe->Reports().back().time, sessionReports.back().time);

  EXPECT_TRUE(devices.WaitForOpenConnectionsAtMost(0, kPatience));
  // Nothing is left to address.
  EXPECT_FALSE(client->CloseHandle(probes[0]->Handle()));
  EXPECT_FALSE(client->CloseHandle(session));
  std::uint32_t error = 0;
  EXPECT_EQ(client->OpenUrl(session, silent.c_str(), kProbeFlags, 1, &error), 0u);
  EXPECT_EQ(error, static_cast<std::uint32_t>(kErrorInvalidHandle));
}

std::atomic<int> gCallsInFlight{0};
std::atomic<int> gCalls{0};
std::atomic<bool> gRemoved{false};
std::atomic<int> gCallsAfterRemoval{0};

void SlowCountingCallback(HttpHandle, std::uintptr_t, std::uint32_t, const void*, std::uint32_t) {
  if (gRemoved) ++gCallsAfterRemoval;
  ++gCallsInFlight;
  ++gCalls;
  std::this_thread::sleep_for(milliseconds(2));
  if (gRemoved) ++gCallsAfterRemoval;
  --gCallsInFlight;
}

TEST_F(CurlHttpClientTest, RemovedCallbackIsNeitherRunningNorCalledAgain) {
  gCalls = 0;
  gRemoved = false;
  gCallsAfterRemoval = 0;
  const std::string ok = AddDevice(Device("127.0.0.60", Behaviour::kAnswer));
  const std::string slow = AddDevice(Device("127.0.0.61", Behaviour::kAnswer, 200, 30));
  EXPECT_EQ(client->SetStatusCallback(session, &SlowCountingCallback), &RecordingCallback);
  for (int i = 0; i < 60; ++i) Start(i % 2 ? ok : slow);
  const auto deadline = Clock::now() + kPatience;
  while (gCalls < 20 && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
  ASSERT_GE(gCalls, 20);

  EXPECT_EQ(client->SetStatusCallback(session, nullptr), &SlowCountingCallback);
  gRemoved = true;
  EXPECT_EQ(gCallsInFlight, 0);
  // Completions still happen; they are no longer reported.
  ASSERT_TRUE(devices.WaitForRequests(60, kPatience));
  std::this_thread::sleep_for(milliseconds(100));
  client->CloseHandle(session);
  EXPECT_EQ(gCallsAfterRemoval, 0);
}

// Closes the session from inside a callback: the I/O thread cannot wait for itself.
void CloseSessionOnComplete(HttpHandle handle, std::uintptr_t context, std::uint32_t status,
                            const void* info, std::uint32_t length) {
  RecordingCallback(handle, context, status, info, length);
  if (context && status == kStatusRequestComplete) {
    const HttpHandle session = reinterpret_cast<Recorder*>(context)->Reports().front().result;
    gClient->CloseHandle(session);
  }
}

TEST_F(CurlHttpClientTest, SessionCanBeClosedFromItsOwnCallback) {
  gClient = client.get();
  const std::string ok = AddDevice(Device("127.0.0.62", Behaviour::kAnswer));
  const std::string silent = AddDevice(Device("127.0.0.63", Behaviour::kHang));
  Recorder& carrier = recorders.emplace_back();  // holds the session handle for the callback
  Report sessionHandle;
  sessionHandle.result = session;
  carrier.Add(sessionHandle);
  Recorder& pending = Start(silent);
  ASSERT_TRUE(devices.WaitForRequests(1, kPatience));
  client->SetStatusCallback(session, &CloseSessionOnComplete);
  std::uint32_t error = 0;
  client->OpenUrl(session, ok.c_str(), kProbeFlags, carrier.Context(), &error);
  ASSERT_EQ(error, static_cast<std::uint32_t>(kErrorIoPending));

  ASSERT_TRUE(carrier.WaitFor(kStatusHandleClosing, kPatience));
  ASSERT_TRUE(pending.WaitFor(kStatusHandleClosing, kPatience));
  EXPECT_EQ(pending.Statuses(), (std::vector{kStatusHandleCreated, kStatusHandleClosing}));
  EXPECT_FALSE(client->CloseHandle(session));
  EXPECT_TRUE(devices.WaitForOpenConnectionsAtMost(0, kPatience));
}

TEST_F(CurlHttpClientTest, CallsWithBadArgumentsFailAtOnce) {
  // The process-wide settings notifications have nothing to do here and succeed.
  EXPECT_TRUE(client->SetOption(0, kInternetOptionSettingsChanged, nullptr, 0));
  EXPECT_TRUE(client->SetOption(0, kInternetOptionRefresh, nullptr, 0));
  std::uint32_t timeout = 7000;
  EXPECT_FALSE(client->SetOption(session, kInternetOptionConnectTimeout, &timeout, 2));
  EXPECT_FALSE(client->SetOption(0x7777, kInternetOptionConnectTimeout, &timeout, 4));

  Recorder never;
  std::uint32_t error = 0;
  EXPECT_EQ(client->OpenUrl(session, "not a url", kProbeFlags, never.Context(), &error), 0u);
  EXPECT_EQ(error, 12005u);
  EXPECT_EQ(client->OpenUrl(session, "ftp://127.0.0.1/", kProbeFlags, never.Context(), &error), 0u);
  EXPECT_EQ(error, 12006u);
  EXPECT_EQ(client->OpenUrl(0x7777, "http://127.0.0.1/", kProbeFlags, never.Context(), &error), 0u);
  EXPECT_EQ(error, static_cast<std::uint32_t>(kErrorInvalidHandle));
  EXPECT_FALSE(client->CloseHandle(0));
  EXPECT_EQ(client->SetStatusCallback(0x7777, &RecordingCallback), nullptr);

  // The status of a request that has not completed cannot be read yet.
  Recorder& silent = Start(AddDevice(Device("127.0.0.70", Behaviour::kHang)));
  ASSERT_TRUE(silent.WaitFor(kStatusHandleCreated, kPatience));
  std::uint32_t status = 0;
  EXPECT_FALSE(client->QueryStatusCode(silent.Handle(), &status));
  EXPECT_FALSE(client->QueryStatusCode(session, &status));
  CloseAndExpectLastReport(silent);
  EXPECT_TRUE(never.Reports().empty());
}

TEST_F(CurlHttpClientTest, ProxyComesFromTheEnvironment) {
  // The session is opened with the preconfigured settings: libcurl takes http_proxy and no_proxy
  // from the environment, which is read for every request.
  const std::uint16_t proxyPort = devices.AddDevice(Device("127.0.0.80", Behaviour::kAnswer));
  const std::string device = AddDevice(Device("127.0.0.81", Behaviour::kAnswer, 404));
  setenv("http_proxy", DeviceEmulator::Url("127.0.0.80", proxyPort, "").c_str(), 1);

  Recorder& proxied = Start(device);
  EXPECT_EQ(Complete(proxied), 0u);
  EXPECT_EQ(StatusOf(proxied), 200u);  // the proxy's answer, not the device's 404
  CloseAndExpectLastReport(proxied);
  auto requests = devices.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].address, "127.0.0.80");
  EXPECT_EQ(requests[0].target, device);
  EXPECT_EQ(requests[0].userAgent, "InetSearch");

  setenv("no_proxy", "127.0.0.81", 1);
  Recorder& direct = Start(device);
  EXPECT_EQ(Complete(direct), 0u);
  EXPECT_EQ(StatusOf(direct), 404u);
  CloseAndExpectLastReport(direct);
  requests = devices.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].address, "127.0.0.81");
  EXPECT_EQ(requests[1].target, kSuppliesPath);
  ClearProxyEnvironment();
}

}  // namespace
}  // namespace pradex::testing
