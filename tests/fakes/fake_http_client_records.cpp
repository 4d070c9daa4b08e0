// The fake client's records of what it was asked and how its requests went, for the tests.
#include "tests/fakes/fake_http_client.h"

#include <algorithm>
#include <mutex>

namespace pradex {

std::vector<FakeHttpClient::OpenCall> FakeHttpClient::OpenCalls() const {
  std::lock_guard<std::mutex> lock(mutex);
  return openCalls;
}

std::vector<FakeHttpClient::OpenUrlCall> FakeHttpClient::OpenUrlCalls() const {
  std::lock_guard<std::mutex> lock(mutex);
  return openUrlCalls;
}

std::vector<FakeHttpClient::OptionCall> FakeHttpClient::Options() const {
  std::lock_guard<std::mutex> lock(mutex);
  return options;
}

std::size_t FakeHttpClient::RequestHandlesCreated() const {
  std::lock_guard<std::mutex> lock(mutex);
  return handlesCreated;
}

std::size_t FakeHttpClient::RequestHandlesClosed() const {
  std::lock_guard<std::mutex> lock(mutex);
  return handlesClosed;
}

std::size_t FakeHttpClient::RequestsClosedWithSession() const {
  std::lock_guard<std::mutex> lock(mutex);
  return closedWithSession;
}

std::size_t FakeHttpClient::OpenRequestHandles() const {
  std::lock_guard<std::mutex> lock(mutex);
  return handlesCreated - handlesClosed - closedWithSession;
}

std::size_t FakeHttpClient::InvalidCloses() const {
  std::lock_guard<std::mutex> lock(mutex);
  return invalidCloses;
}

std::size_t FakeHttpClient::Outstanding() const {
  std::lock_guard<std::mutex> lock(mutex);
  return outstandingCount;
}

std::size_t FakeHttpClient::MaxOutstanding() const {
  std::lock_guard<std::mutex> lock(mutex);
  return maxOutstanding;
}

std::size_t FakeHttpClient::ReportsDelivered() const {
  std::lock_guard<std::mutex> lock(mutex);
  return reportsDelivered;
}

std::size_t FakeHttpClient::ReportsDropped() const {
  std::lock_guard<std::mutex> lock(mutex);
  return reportsDropped;
}

std::size_t FakeHttpClient::CallbacksAfterRemoval() const {
  std::lock_guard<std::mutex> lock(mutex);
  return callbacksAfterRemoval;
}

std::size_t FakeHttpClient::CallbacksAfterSessionClose() const {
  std::lock_guard<std::mutex> lock(mutex);
  return callbacksAfterSessionClose;
}

bool FakeHttpClient::WaitForOpenUrlCalls(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout, [&] { return openUrlCalls.size() >= count; });
}

bool FakeHttpClient::WaitForOutstanding(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout, [&] { return outstandingCount == count; });
}

bool FakeHttpClient::WaitForRequestHandlesClosed(std::size_t count,
                                                 std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout, [&] { return handlesClosed >= count; });
}

bool FakeHttpClient::WaitForReportsHandled(std::size_t count,
                                           std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout,
                          [&] { return reportsDelivered >= count && callsRunning == 0; });
}

}  // namespace pradex
