// The WinInet client against HTTP servers on the loopback interface.
#include "platform/win32/wininet_http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win_codes.h"
#include "tests/win32/loopback_http_server.h"

namespace pradex {
namespace {

using testing::ClosedLoopbackPort;
using testing::LoopbackHttpServer;
using namespace std::chrono_literals;

constexpr std::uint32_t kProbeFlags = kInternetFlagNoCacheWrite | kInternetFlagNoAutoRedirect;
constexpr std::uint32_t kInternetErrorIncorrectHandleType = 12018;

struct Report {
  HttpHandle handle;
  std::uintptr_t context;
  std::uint32_t status;
  AsyncResult result;
  bool beforeOpenUrlReturned;
  std::uint32_t statusCode;  // queried inside the callback on completion, when asked to
};

// What the status callback saw, for all tests (the callback is a plain function).
struct Reports {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Report> all;
  // The context whose OpenUrl call is in progress, 0 when none.
  std::atomic<std::uintptr_t> openingContext{0};
  // On completion, query the status and close the request inside the callback, as the search
  // engine does.
  std::atomic<bool> closeInsideCallback{false};
  std::atomic<HttpClient*> client{nullptr};
  // On completion, stay in the callback until released.
  std::atomic<bool> holdCompletion{false};
  std::atomic<bool> insideHeldCompletion{false};
  std::atomic<bool> releaseHeldCompletion{false};
  std::atomic<bool> heldCompletionReturned{false};

  std::vector<Report> For(std::uintptr_t context) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<Report> found;
    for (const Report& r : all) {
      if (r.context == context) found.push_back(r);
    }
    return found;
  }

  bool WaitFor(std::uintptr_t context, std::uint32_t status,
               std::chrono::milliseconds timeout = 5s) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, timeout, [&] {
      for (const Report& r : all) {
        if (r.context == context && r.status == status) return true;
      }
      return false;
    });
  }
};

Reports reports;

void RecordReport(HttpHandle handle, std::uintptr_t context, std::uint32_t status, const void* info,
                  std::uint32_t infoLength) {
  Report report{handle, context, status, {}, reports.openingContext.load() == context, 0};
  if ((status == kStatusHandleCreated || status == kStatusRequestComplete) &&
      infoLength == sizeof(AsyncResult)) {
    report.result = *static_cast<const AsyncResult*>(info);
  }
  if (status == kStatusRequestComplete && reports.closeInsideCallback) {
    HttpHandle request = 0;
    for (const Report& r : reports.For(context)) {
      if (r.status == kStatusHandleCreated) request = r.result.result;
    }
    reports.client.load()->QueryStatusCode(request, &report.statusCode);
    {
      std::lock_guard<std::mutex> lock(reports.mutex);
      reports.all.push_back(report);
    }
    reports.changed.notify_all();
    reports.client.load()->CloseHandle(request);  // 70 may come right here, on this thread
    return;
  }
  {
    std::lock_guard<std::mutex> lock(reports.mutex);
    reports.all.push_back(report);
  }
  reports.changed.notify_all();
  if (status == kStatusRequestComplete && reports.holdCompletion) {
    reports.insideHeldCompletion = true;
    while (!reports.releaseHeldCompletion) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);  // still inside when the remover may already wait
    reports.heldCompletionReturned = true;
  }
}

class WinInetHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard<std::mutex> lock(reports.mutex);
      reports.all.clear();
    }
    reports.closeInsideCallback = false;
    reports.holdCompletion = false;
    reports.insideHeldCompletion = false;
    reports.releaseHeldCompletion = false;
    reports.heldCompletionReturned = false;
    reports.client = &client;
    session = client.Open("InetSearch", kInternetOpenTypePreconfig, kInternetFlagAsync);
    ASSERT_NE(session, 0u);
    const std::uint32_t timeout = 7000;
    client.SetOption(session, kInternetOptionConnectTimeout, &timeout, sizeof(timeout));
    EXPECT_EQ(client.SetStatusCallback(session, &RecordReport), nullptr);
  }

  void TearDown() override {
    if (session != 0) {
      client.SetStatusCallback(session, nullptr);
      client.CloseHandle(session);
    }
  }

  // Starts a request; expects the asynchronous start.
  void Start(const std::string& url, std::uintptr_t context) {
    std::uint32_t lastError = 0;
    reports.openingContext = context;
    const HttpHandle immediate =
        client.OpenUrl(session, url.c_str(), kProbeFlags, context, &lastError);
    reports.openingContext = 0;
    EXPECT_EQ(immediate, 0u);
    EXPECT_EQ(lastError, static_cast<std::uint32_t>(kErrorIoPending));
  }

  // The request handle that 60 reported for `context`.
  HttpHandle RequestOf(std::uintptr_t context) {
    EXPECT_TRUE(reports.WaitFor(context, kStatusHandleCreated));
    for (const Report& r : reports.For(context)) {
      if (r.status == kStatusHandleCreated) return r.result.result;
    }
    return 0;
  }

  static std::vector<std::uint32_t> StatusesOf(std::uintptr_t context) {
    std::vector<std::uint32_t> statuses;
    for (const Report& r : reports.For(context)) statuses.push_back(r.status);
    return statuses;
  }

  WinInetHttpClient client;
  HttpHandle session = 0;
};

using Statuses = std::vector<std::uint32_t>;

TEST_F(WinInetHttpClientTest, AnsweringDeviceCompletesWith200AndCloseInsideCallbackEndsWith70) {
  LoopbackHttpServer server(200);
  reports.closeInsideCallback = true;
  Start(server.Url("/?type=supplies"), 0x1234);

  ASSERT_TRUE(reports.WaitFor(0x1234, kStatusHandleClosing));
  std::this_thread::sleep_for(200ms);
  const std::vector<Report> seen = reports.For(0x1234);
  ASSERT_EQ(StatusesOf(0x1234),
            (Statuses{kStatusHandleCreated, kStatusRequestComplete, kStatusHandleClosing}));
  EXPECT_NE(seen[0].result.result, 0u);
  EXPECT_EQ(seen[1].result.error, 0u);
  EXPECT_EQ(seen[1].statusCode, 200u);
  EXPECT_EQ(seen[2].handle, seen[0].result.result);

  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string request = server.Requests()[0];
  EXPECT_EQ(request.rfind("GET /?type=supplies HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: InetSearch"), std::string::npos) << request;
}

TEST_F(WinInetHttpClientTest, OtherStatusesAreReadAsNumbersAndRedirectsAreNotFollowed) {
  LoopbackHttpServer notFound(404);
  LoopbackHttpServer redirect(302);
  Start(notFound.Url("/tamrin/device/this.LCDispatcher"), 1);
  Start(redirect.Url("/"), 2);
  ASSERT_TRUE(reports.WaitFor(1, kStatusRequestComplete));
  ASSERT_TRUE(reports.WaitFor(2, kStatusRequestComplete));

  std::uint32_t code = 0;
  ASSERT_TRUE(client.QueryStatusCode(RequestOf(1), &code));
  EXPECT_EQ(code, 404u);
  ASSERT_TRUE(client.QueryStatusCode(RequestOf(2), &code));
  EXPECT_EQ(code, 302u);
  EXPECT_EQ(redirect.Requests().size(), 1u);

  // Closed from another thread than the callbacks': still exactly one 70, last.
  EXPECT_TRUE(client.CloseHandle(RequestOf(1)));
  EXPECT_TRUE(client.CloseHandle(RequestOf(2)));
  ASSERT_TRUE(reports.WaitFor(1, kStatusHandleClosing));
  ASSERT_TRUE(reports.WaitFor(2, kStatusHandleClosing));
  std::this_thread::sleep_for(200ms);
  for (std::uintptr_t context : {1, 2}) {
    EXPECT_EQ(StatusesOf(context),
              (Statuses{kStatusHandleCreated, kStatusRequestComplete, kStatusHandleClosing}));
  }
}

TEST_F(WinInetHttpClientTest, RefusedConnectionCompletesWithCannotConnect) {
  Start("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/?type=supplies", 7);
  ASSERT_TRUE(reports.WaitFor(7, kStatusRequestComplete));
  const std::vector<Report> seen = reports.For(7);
  ASSERT_EQ(seen.back().status, kStatusRequestComplete);
  EXPECT_EQ(seen.back().result.error, kInternetErrorCannotConnect);

  EXPECT_TRUE(client.CloseHandle(RequestOf(7)));
  ASSERT_TRUE(reports.WaitFor(7, kStatusHandleClosing));
  EXPECT_EQ(StatusesOf(7),
            (Statuses{kStatusHandleCreated, kStatusRequestComplete, kStatusHandleClosing}));
}

TEST_F(WinInetHttpClientTest, SilentServerKeepsRequestPendingUntilClosedThenOnly70Follows) {
  LoopbackHttpServer silent(0);
  Start(silent.Url("/?type=supplies"), 9);
  const HttpHandle request = RequestOf(9);
  ASSERT_TRUE(silent.WaitForRequests(1, 5000));
  // The connect time-out does not end a request whose connection stands.
  EXPECT_FALSE(reports.WaitFor(9, kStatusRequestComplete, 1000ms));

  EXPECT_TRUE(client.CloseHandle(request));
  // The 70 has come by the time the close returns, and it stays the last report even when
  // the connection ends later and the library finishes the request it was still working on.
  EXPECT_EQ(StatusesOf(9), (Statuses{kStatusHandleCreated, kStatusHandleClosing}));
  silent.DropConnections();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(StatusesOf(9), (Statuses{kStatusHandleCreated, kStatusHandleClosing}));
}

TEST_F(WinInetHttpClientTest, EveryRequestGetsItsOwnReportsWhetherOrNotTheyBeatOpenUrl) {
  LoopbackHttpServer server(200);
  constexpr std::uintptr_t kRequests = 12;
  for (std::uintptr_t context = 100; context < 100 + kRequests; ++context) {
    Start(server.Url("/?type=supplies"), context);
    // With the library's threads idle, 60 often comes before OpenUrl has returned.
    if (context % 2 == 0) std::this_thread::sleep_for(20ms);
  }
  int early = 0;
  for (std::uintptr_t context = 100; context < 100 + kRequests; ++context) {
    ASSERT_TRUE(reports.WaitFor(context, kStatusRequestComplete)) << context;
    const std::vector<Report> seen = reports.For(context);
    ASSERT_EQ(StatusesOf(context), (Statuses{kStatusHandleCreated, kStatusRequestComplete}));
    if (seen[0].beforeOpenUrlReturned) ++early;
    std::uint32_t code = 0;
    ASSERT_TRUE(client.QueryStatusCode(seen[0].result.result, &code));
    EXPECT_EQ(code, 200u);
    EXPECT_TRUE(client.CloseHandle(seen[0].result.result));
  }
  RecordProperty("handle_created_before_open_url_returned", early);
}

TEST_F(WinInetHttpClientTest, RemovingTheCallbackWaitsForARunningCallbackAndStopsReports) {
  LoopbackHttpServer server(200);
  reports.holdCompletion = true;
  Start(server.Url("/"), 21);
  const HttpHandle request = RequestOf(21);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!reports.insideHeldCompletion && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(reports.insideHeldCompletion);

  std::thread releaser([] {
    std::this_thread::sleep_for(100ms);
    reports.releaseHeldCompletion = true;
  });
  EXPECT_EQ(client.SetStatusCallback(session, nullptr), &RecordReport);
  EXPECT_TRUE(reports.heldCompletionReturned);
  releaser.join();

  EXPECT_TRUE(client.CloseHandle(request));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(StatusesOf(21), (Statuses{kStatusHandleCreated, kStatusRequestComplete}));
}

TEST_F(WinInetHttpClientTest, ClosingTheSessionEndsItsOpenRequestsWith70) {
  LoopbackHttpServer silent(0);
  Start(silent.Url("/"), 31);
  RequestOf(31);
  ASSERT_TRUE(silent.WaitForRequests(1, 5000));

  EXPECT_TRUE(client.CloseHandle(session));
  session = 0;
  EXPECT_EQ(StatusesOf(31), (Statuses{kStatusHandleCreated, kStatusHandleClosing}));
  silent.DropConnections();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(StatusesOf(31), (Statuses{kStatusHandleCreated, kStatusHandleClosing}));
}

TEST_F(WinInetHttpClientTest, RefusedAtOnceReturnsTheErrorAndNeverReportsThatContext) {
  LoopbackHttpServer silent(0);
  LoopbackHttpServer answering(200);
  Start(silent.Url("/"), 41);
  const HttpHandle request = RequestOf(41);
  // Refused inside the call, before any request exists: no URL, or a request handle in the
  // session's place.
  const std::string url = answering.Url("/");
  const struct {
    HttpHandle on;
    const char* url;
    std::uint32_t error;
  } refusals[] = {{session, nullptr, static_cast<std::uint32_t>(kErrorInvalidParameter)},
                  {request, url.c_str(), kInternetErrorIncorrectHandleType}};
  std::uintptr_t context = 42;
  for (const auto& refusal : refusals) {
    std::uint32_t lastError = 0;
    EXPECT_EQ(client.OpenUrl(refusal.on, refusal.url, kProbeFlags, context++, &lastError), 0u);
    EXPECT_EQ(lastError, refusal.error);
  }

  // The client goes on: a request after them completes, and closing the session ends the two
  // open requests alone.
  Start(url, 44);
  ASSERT_TRUE(reports.WaitFor(44, kStatusRequestComplete));
  std::uint32_t code = 0;
  ASSERT_TRUE(client.QueryStatusCode(RequestOf(44), &code));
  EXPECT_EQ(code, 200u);
  EXPECT_TRUE(client.CloseHandle(session));
  session = 0;
  silent.DropConnections();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(StatusesOf(41), (Statuses{kStatusHandleCreated, kStatusHandleClosing}));
  EXPECT_EQ(StatusesOf(44),
            (Statuses{kStatusHandleCreated, kStatusRequestComplete, kStatusHandleClosing}));
  EXPECT_TRUE(StatusesOf(42).empty());
  EXPECT_TRUE(StatusesOf(43).empty());
}

TEST_F(WinInetHttpClientTest, ProcessWideSettingsChangeIsAccepted) {
  EXPECT_TRUE(client.SetOption(0, kInternetOptionSettingsChanged, nullptr, 0));
}

}  // namespace
}  // namespace pradex
