// The test doubles keep the promises of the interfaces they stand in for; the search tests rely
// on them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/memory/queue_message_poster.h"
#include "platform/win_codes.h"
#include "tests/fakes/fake_http_client.h"
#include "tests/support/http_recorder.h"

namespace pradex {
namespace {

using namespace std::chrono_literals;
using Behaviour = FakeHttpClient::Behaviour;
using ::testing::ElementsAre;

constexpr std::chrono::milliseconds kPatience = 10s;  // only reached when something hangs

using testing::Recorder;
using testing::RecordingCallback;

std::atomic<int> slowCallbacks{0};
std::atomic<bool> slowCallbackReleased{false};

void SlowRecord(HttpHandle handle, std::uintptr_t context, std::uint32_t status, const void* info,
                std::uint32_t length) {
  ++slowCallbacks;
  while (!slowCallbackReleased) std::this_thread::sleep_for(1ms);
  RecordingCallback(handle, context, status, info, length);
  --slowCallbacks;
}

class FakeHttpClientTest : public ::testing::Test {
 protected:
  HttpHandle OpenSession(StatusCallback callback = &RecordingCallback) {
    const HttpHandle session = http.Open("agent", 0, kInternetFlagAsync);
    http.SetStatusCallback(session, callback);
    return session;
  }
  // Declared before the client: every report has arrived once the client is gone.
  Recorder first;
  Recorder second;
  FakeHttpClient http;
};

TEST_F(FakeHttpClientTest, RequestReportsHandleCompletionAndClosingInOrder) {
  const HttpHandle session = OpenSession();
  http.SetBehaviour("http://127.0.0.1/", Behaviour::Answer(404, 10ms));
  std::uint32_t error = 0;
  EXPECT_EQ(http.OpenUrl(session, "http://127.0.0.1/", 0, first.Context(), &error), 0u);
  EXPECT_EQ(error, static_cast<std::uint32_t>(kErrorIoPending));
  ASSERT_TRUE(http.WaitForOutstanding(0, kPatience));
  const auto calls = http.OpenUrlCalls();
  ASSERT_EQ(calls.size(), 1u);
  std::uint32_t status = 0;
  EXPECT_TRUE(http.QueryStatusCode(calls[0].request, &status));
  EXPECT_EQ(status, 404u);
  EXPECT_TRUE(http.CloseHandle(calls[0].request));
  EXPECT_FALSE(http.QueryStatusCode(calls[0].request, &status));
  EXPECT_FALSE(http.CloseHandle(calls[0].request));
  EXPECT_EQ(http.InvalidCloses(), 1u);
  ASSERT_TRUE(http.WaitForQuiet(kPatience));
  EXPECT_THAT(first.Statuses(),
              ElementsAre(kStatusHandleCreated, kStatusRequestComplete, kStatusHandleClosing));
  EXPECT_EQ(first.Handle(), calls[0].request);
  EXPECT_NE(first.Reports()[0].thread, std::this_thread::get_id());
}

TEST_F(FakeHttpClientTest, SynchronousReportsComeInsideOpenUrlOnTheCallingThread) {
  const HttpHandle session = OpenSession();
  Behaviour synchronousFailure = Behaviour::Fail(kInternetErrorCannotConnect);
  synchronousFailure.synchronous = true;
  http.SetBehaviour("http://127.0.0.1/", synchronousFailure);
  std::uint32_t error = 0;
  http.OpenUrl(session, "http://127.0.0.1/", 0, first.Context(), &error);
  EXPECT_THAT(first.Statuses(), ElementsAre(kStatusHandleCreated, kStatusRequestComplete));
  const auto reports = first.Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].thread, std::this_thread::get_id());
  EXPECT_EQ(reports[1].error, kInternetErrorCannotConnect);
}

TEST_F(FakeHttpClientTest, RemovingTheCallbackWaitsForARunningCallAndStopsTheRest) {
  slowCallbacks = 0;
  slowCallbackReleased = false;
  const HttpHandle session = OpenSession(&SlowRecord);
  http.SetBehaviour("http://127.0.0.1/", Behaviour::Hold());
  std::uint32_t error = 0;
  http.OpenUrl(session, "http://127.0.0.1/", 0, first.Context(), &error);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (slowCallbacks.load() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(slowCallbacks.load(), 1);  // the handle report is being delivered, and stays so
  std::thread releaser([] {
    std::this_thread::sleep_for(100ms);
    slowCallbackReleased = true;
  });
  http.SetStatusCallback(session, nullptr);
  EXPECT_EQ(slowCallbacks.load(), 0);
  releaser.join();
  http.CloseHandle(http.OpenUrlCalls()[0].request);
  ASSERT_TRUE(http.WaitForQuiet(kPatience));
  EXPECT_THAT(first.Statuses(), ElementsAre(kStatusHandleCreated));
  EXPECT_EQ(http.ReportsDropped(), 1u);  // the 70
  EXPECT_EQ(http.CallbacksAfterRemoval(), 0u);
}

TEST_F(FakeHttpClientTest, ClosingTheSessionClosesItsRequests) {
  const HttpHandle session = OpenSession();
  http.SetBehaviour("http://127.0.0.1/", Behaviour::Hold());
  std::uint32_t error = 0;
  http.OpenUrl(session, "http://127.0.0.1/", 0, first.Context(), &error);
  http.OpenUrl(session, "http://127.0.0.1/", 0, second.Context(), &error);
  EXPECT_EQ(http.MaxOutstanding(), 2u);
  EXPECT_TRUE(http.CloseHandle(session));
  EXPECT_EQ(http.RequestsClosedWithSession(), 2u);
  EXPECT_EQ(http.OpenRequestHandles(), 0u);
  EXPECT_EQ(http.Outstanding(), 0u);
  ASSERT_TRUE(http.WaitForQuiet(kPatience));
  // The callback was left installed, so the closing reports came after the session closed.
  EXPECT_EQ(http.CallbacksAfterSessionClose(), 2u);
  Recorder never;
  EXPECT_EQ(http.OpenUrl(session, "http://127.0.0.1/", 0, never.Context(), &error), 0u);
  EXPECT_EQ(error, static_cast<std::uint32_t>(kErrorInvalidHandle));
  EXPECT_TRUE(never.Reports().empty());
}

TEST_F(FakeHttpClientTest, OpenUrlOutcomesAreScripted) {
  const HttpHandle session = OpenSession();
  http.SetBehaviour("http://127.0.0.1/a", Behaviour::OpenFails(kInternetErrorNameNotResolved));
  http.SetBehaviour("http://127.0.0.1/b", Behaviour::OpenReturnsHandle(200));
  std::uint32_t error = 0;
  EXPECT_EQ(http.OpenUrl(session, "http://127.0.0.1/a", 0x04200000, first.Context(), &error), 0u);
  EXPECT_EQ(error, kInternetErrorNameNotResolved);
  const HttpHandle handle =
      http.OpenUrl(session, "http://127.0.0.1/b", 0, second.Context(), &error);
  ASSERT_NE(handle, 0u);
  std::uint32_t status = 0;
  EXPECT_TRUE(http.QueryStatusCode(handle, &status));
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(http.RequestHandlesCreated(), 1u);
  EXPECT_EQ(http.OpenUrlCalls()[0].flags, 0x04200000u);
  EXPECT_TRUE(http.CloseHandle(handle));
  ASSERT_TRUE(http.WaitForQuiet(kPatience));
  EXPECT_TRUE(first.Reports().empty());
  EXPECT_THAT(second.Statuses(), ElementsAre(kStatusHandleClosing));
}

TEST(QueueMessagePosterTest, DeliversInPostingOrderAndWaitsWithATimeOut) {
  QueueMessagePoster poster;
  EXPECT_FALSE(poster.WaitForMessage(10ms).has_value());
  std::thread sender([&poster] {
    std::this_thread::sleep_for(20ms);
    for (std::uintptr_t i = 1; i <= 3; ++i) poster.Post(5, 0x8001, i, 0);
  });
  const auto first = poster.WaitForMessage(kPatience);
  sender.join();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->wParam, 1u);
  EXPECT_EQ(first->window, 5u);
  const auto rest = poster.TakeAll();
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(rest[0].wParam, 2u);
  EXPECT_EQ(rest[1].wParam, 3u);
  EXPECT_EQ(poster.PostCount(), 3u);
  EXPECT_FALSE(poster.TryTake().has_value());
}

}  // namespace
}  // namespace pradex
