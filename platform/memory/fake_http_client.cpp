#include "platform/memory/fake_http_client.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/win_codes.h"

namespace pradex {

struct FakeHttpClient::Session {
  HttpHandle handle = 0;
  StatusCallback callback = nullptr;
  bool closed = false;
  bool removalReturned = false;            // the callback was removed and nothing installed since
  std::multiset<std::thread::id> callers;  // threads inside the callback right now
};

struct FakeHttpClient::Request {
  HttpHandle handle = 0;
  HttpHandle session = 0;
  std::uintptr_t context = 0;
  std::string url;
  Behaviour behaviour;
  std::chrono::steady_clock::time_point start;
  bool started = false;  // went out asynchronously (counts as outstanding until it ends)
  bool outstanding = false;
  bool handleReleased = false;
  bool handleReported = false;
  bool completed = false;
  bool manualCompletion = false;
  std::uint32_t manualStatus = 0;
  std::uint32_t manualError = 0;
  std::uint32_t status = 0;
  std::uint32_t error = 0;
  bool closed = false;
  bool closingReported = false;
  bool finished = false;  // its thread has nothing more to deliver
};

FakeHttpClient::Behaviour FakeHttpClient::Behaviour::Answer(std::uint32_t status,
                                                            std::chrono::milliseconds delay) {
  Behaviour b;
  b.kind = Kind::kComplete;
  b.status = status;
  b.delay = delay;
  return b;
}

FakeHttpClient::Behaviour FakeHttpClient::Behaviour::Fail(std::uint32_t error,
                                                          std::chrono::milliseconds delay) {
  Behaviour b;
  b.kind = Kind::kComplete;
  b.error = error;
  b.delay = delay;
  return b;
}

FakeHttpClient::Behaviour FakeHttpClient::Behaviour::Hold() {
  Behaviour b;
  b.kind = Kind::kHold;
  return b;
}

FakeHttpClient::Behaviour FakeHttpClient::Behaviour::OpenFails(std::uint32_t error) {
  Behaviour b;
  b.kind = Kind::kOpenFails;
  b.error = error;
  return b;
}

FakeHttpClient::Behaviour FakeHttpClient::Behaviour::OpenReturnsHandle(std::uint32_t status) {
  Behaviour b;
  b.kind = Kind::kOpenReturnsHandle;
  b.status = status;
  return b;
}

FakeHttpClient::FakeHttpClient() = default;

FakeHttpClient::~FakeHttpClient() {
  std::map<HttpHandle, std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    threads.swap(threads_);
  }
  changed_.notify_all();
  for (auto& [handle, thread] : threads) thread.join();
}

HttpHandle FakeHttpClient::NextHandle() {
  const HttpHandle handle = nextHandle_;
  nextHandle_ += 4;
  return handle;
}

HttpHandle FakeHttpClient::Open(const char* agent, std::uint32_t accessType, std::uint32_t flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  OpenCall call{agent ? agent : "", accessType, flags, 0};
  if (!openFails_) {
    auto session = std::make_shared<Session>();
    session->handle = NextHandle();
    sessions_[session->handle] = session;
    call.session = session->handle;
  }
  openCalls_.push_back(call);
  return call.session;
}

bool FakeHttpClient::SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                               std::uint32_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  OptionCall call{handle, option, {}};
  if (buffer && length > 0) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    call.value.assign(bytes, bytes + length);
  }
  options_.push_back(std::move(call));
  if (handle == 0) return true;
  return sessions_.count(handle) > 0 || requests_.count(handle) > 0;
}

StatusCallback FakeHttpClient::SetStatusCallback(HttpHandle sessionHandle,
                                                 StatusCallback callback) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto it = sessions_.find(sessionHandle);
  if (it == sessions_.end()) return nullptr;
  const std::shared_ptr<Session> session = it->second;
  const StatusCallback previous = session->callback;
  session->callback = callback;
  session->removalReturned = false;
  if (!callback) {
    // Calls on other threads must have left the callback; one running on this thread (the
    // caller removing from inside its own callback) cannot be waited for.
    const auto self = std::this_thread::get_id();
    changed_.wait(lock, [&] { return session->callers.size() == session->callers.count(self); });
    session->removalReturned = true;
  }
  return previous;
}

HttpHandle FakeHttpClient::OpenUrl(HttpHandle sessionHandle, const char* url, std::uint32_t flags,
                                   std::uintptr_t context, std::uint32_t* lastError) {
  std::vector<std::thread> ended;
  HttpHandle returned = 0;
  std::uint32_t error = 0;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    OpenUrlCall call{sessionHandle, url ? url : "", flags, context, 0, 0, 0};
    const auto sessionIt = sessions_.find(sessionHandle);
    if (sessionIt == sessions_.end() || sessionIt->second->closed || !url) {
      call.lastError = static_cast<std::uint32_t>(kErrorInvalidHandle);
      openUrlCalls_.push_back(call);
      changed_.notify_all();
      if (lastError) *lastError = call.lastError;
      return 0;
    }
    const Behaviour behaviour = BehaviourFor(call.url);
    if (behaviour.kind == Behaviour::Kind::kOpenFails) {
      call.lastError = behaviour.error;
      openUrlCalls_.push_back(call);
      changed_.notify_all();
      if (lastError) *lastError = call.lastError;
      return 0;
    }

    auto request = std::make_shared<Request>();
    request->handle = NextHandle();
    request->session = sessionHandle;
    request->context = context;
    request->url = call.url;
    request->behaviour = behaviour;
    request->start = std::chrono::steady_clock::now();
    requests_[request->handle] = request;
    ++handlesCreated_;
    call.request = request->handle;

    if (behaviour.kind == Behaviour::Kind::kOpenReturnsHandle) {
      MarkCompleted(*request, behaviour.status, 0);
      if (behaviour.synchronous && behaviour.reportHandle) {
        request->handleReported = true;
        Deliver(lock, *request, kStatusHandleCreated, AsyncResult{request->handle, 0});
      }
      returned = request->handle;
      error = 0;
    } else {
      request->started = true;
      request->outstanding = true;
      ++outstanding_;
      maxOutstanding_ = std::max(maxOutstanding_, outstanding_);
      if (behaviour.synchronous) {
        if (behaviour.reportHandle && !behaviour.holdHandleReport) {
          request->handleReported = true;
          Deliver(lock, *request, kStatusHandleCreated, AsyncResult{request->handle, 0});
        }
        if (behaviour.kind == Behaviour::Kind::kComplete && behaviour.delay.count() == 0 &&
            !behaviour.completeAfterClose && !request->closed &&
            (request->handleReported || !behaviour.reportHandle)) {
          MarkCompleted(*request, behaviour.status, behaviour.error);
          Deliver(lock, *request, kStatusRequestComplete, AsyncResult{1, behaviour.error});
        }
      }
      returned = 0;
      error = static_cast<std::uint32_t>(kErrorIoPending);
    }
    call.returned = returned;
    call.lastError = error;
    openUrlCalls_.push_back(call);

    // Threads of requests that have nothing more to deliver are joined as we go.
    for (auto it = threads_.begin(); it != threads_.end();) {
      const auto owner = requests_.find(it->first);
      if (owner != requests_.end() && owner->second->finished) {
        ended.push_back(std::move(it->second));
        it = threads_.erase(it);
      } else {
        ++it;
      }
    }
    StartRequestThread(request);
    changed_.notify_all();
  }
  for (auto& thread : ended) thread.join();
  if (lastError) *lastError = error;
  return returned;
}

void FakeHttpClient::StartRequestThread(const std::shared_ptr<Request>& request) {
  threads_.emplace(request->handle, std::thread(&FakeHttpClient::RequestMain, this, request));
}

void FakeHttpClient::RequestMain(std::shared_ptr<Request> request) {
  std::unique_lock<std::mutex> lock(mutex_);
  Request& r = *request;
  const Behaviour& b = r.behaviour;
  const auto ended = [&] { return r.closed || stopping_; };

  if (r.started) {
    if (b.reportHandle && !r.handleReported) {
      changed_.wait_until(lock, r.start + b.handleDelay, ended);
      if (b.holdHandleReport) {
        changed_.wait(lock, [&] { return r.handleReleased || ended(); });
      }
      if (!ended()) {
        r.handleReported = true;
        Deliver(lock, r, kStatusHandleCreated, AsyncResult{r.handle, 0});
      }
    }
    if (!r.completed && !b.completeAfterClose) {
      if (b.kind == Behaviour::Kind::kComplete) {
        changed_.wait_until(lock, r.start + b.delay, ended);
        if (!ended()) {
          MarkCompleted(r, b.status, b.error);
          Deliver(lock, r, kStatusRequestComplete, AsyncResult{1, b.error});
        }
      } else if (b.kind == Behaviour::Kind::kHold) {
        changed_.wait(lock, [&] { return r.manualCompletion || ended(); });
        if (!ended()) {
          MarkCompleted(r, r.manualStatus, r.manualError);
          Deliver(lock, r, kStatusRequestComplete, AsyncResult{1, r.manualError});
        }
      }
    }
  }

  changed_.wait(lock, ended);
  if (r.closed && !stopping_ && !r.closingReported) {
    if (r.started && b.completeAfterClose && !r.completed) {
      // A late completion of a request whose handle is gone.
      r.completed = true;
      r.status = b.status;
      r.error = b.error;
      Deliver(lock, r, kStatusRequestComplete, AsyncResult{1, b.error});
    }
    // The session's close may have reported the closing meanwhile.
    if (!r.closingReported) {
      r.closingReported = true;
      Deliver(lock, r, kStatusHandleClosing, AsyncResult{r.handle, 0});
    }
  }
  r.finished = true;
  changed_.notify_all();
}

void FakeHttpClient::Deliver(std::unique_lock<std::mutex>& lock, Request& request,
                             std::uint32_t status, const AsyncResult& result) {
  const auto it = sessions_.find(request.session);
  if (it == sessions_.end() || !it->second->callback) {
    ++reportsDropped_;
    return;
  }
  const std::shared_ptr<Session> session = it->second;
  const StatusCallback callback = session->callback;
  if (session->removalReturned) ++callbacksAfterRemoval_;
  if (session->closed) ++callbacksAfterSessionClose_;
  ++reportsDelivered_;
  ++callsRunning_;
  const auto self = std::this_thread::get_id();
  session->callers.insert(self);
  const HttpHandle handle = request.handle;
  const std::uintptr_t context = request.context;
  const AsyncResult info = result;
  lock.unlock();
  callback(handle, context, status, &info, sizeof(info));
  lock.lock();
  session->callers.erase(session->callers.find(self));
  --callsRunning_;
  changed_.notify_all();
}

void FakeHttpClient::MarkCompleted(Request& request, std::uint32_t status, std::uint32_t error) {
  request.completed = true;
  request.status = status;
  request.error = error;
  if (request.outstanding) {
    request.outstanding = false;
    --outstanding_;
  }
}

void FakeHttpClient::MarkClosed(Request& request, bool bySession) {
  request.closed = true;
  if (bySession) {
    ++closedWithSession_;
  } else {
    ++handlesClosed_;
  }
  if (request.outstanding) {
    request.outstanding = false;
    --outstanding_;
  }
}

bool FakeHttpClient::QueryStatusCode(HttpHandle handle, std::uint32_t* statusCode) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = requests_.find(handle);
  if (it == requests_.end() || !statusCode) return false;
  const Request& r = *it->second;
  if (r.closed || !r.completed || r.error != 0 || !r.behaviour.statusReadable) return false;
  *statusCode = r.status;
  return true;
}

bool FakeHttpClient::CloseHandle(HttpHandle handle) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto sessionIt = sessions_.find(handle);
  if (sessionIt != sessions_.end()) {
    const std::shared_ptr<Session> session = sessionIt->second;
    if (session->closed) {
      ++invalidCloses_;
      return false;
    }
    session->closed = true;
    std::vector<std::shared_ptr<Request>> closed;
    for (auto& [requestHandle, request] : requests_) {
      if (request->session == handle && !request->closed) {
        MarkClosed(*request, true);
        closed.push_back(request);
      }
    }
    changed_.notify_all();
    // The requests of a session report their closing inside the session's close.
    for (const auto& request : closed) {
      if (request->closingReported) continue;
      request->closingReported = true;
      Deliver(lock, *request, kStatusHandleClosing, AsyncResult{request->handle, 0});
    }
    return true;
  }
  const auto it = requests_.find(handle);
  if (it == requests_.end() || it->second->closed) {
    ++invalidCloses_;
    return false;
  }
  MarkClosed(*it->second, false);
  changed_.notify_all();
  return true;
}

void FakeHttpClient::SetBehaviour(const std::string& url, Behaviour behaviour) {
  std::lock_guard<std::mutex> lock(mutex_);
  behaviours_[url] = behaviour;
}

void FakeHttpClient::SetDefaultBehaviour(Behaviour behaviour) {
  std::lock_guard<std::mutex> lock(mutex_);
  defaultBehaviour_ = behaviour;
}

void FakeHttpClient::SetOpenFails(bool fails) {
  std::lock_guard<std::mutex> lock(mutex_);
  openFails_ = fails;
}

void FakeHttpClient::ReleaseHandleReports() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [handle, request] : requests_) request->handleReleased = true;
  }
  changed_.notify_all();
}

bool FakeHttpClient::CompleteHeld(const std::string& url, std::uint32_t status,
                                  std::uint32_t error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Handles grow with time, so the map's order is the order of the requests.
    for (auto& [handle, request] : requests_) {
      Request& r = *request;
      if (r.url == url && r.started && !r.closed && !r.completed && !r.manualCompletion &&
          r.behaviour.kind == Behaviour::Kind::kHold) {
        r.manualCompletion = true;
        r.manualStatus = status;
        r.manualError = error;
        changed_.notify_all();
        return true;
      }
    }
  }
  return false;
}

FakeHttpClient::Behaviour FakeHttpClient::BehaviourFor(const std::string& url) const {
  const auto it = behaviours_.find(url);
  return it == behaviours_.end() ? defaultBehaviour_ : it->second;
}

std::vector<FakeHttpClient::OpenCall> FakeHttpClient::OpenCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openCalls_;
}

std::vector<FakeHttpClient::OpenUrlCall> FakeHttpClient::OpenUrlCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openUrlCalls_;
}

std::vector<FakeHttpClient::OptionCall> FakeHttpClient::Options() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return options_;
}

std::size_t FakeHttpClient::RequestHandlesCreated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handlesCreated_;
}

std::size_t FakeHttpClient::RequestHandlesClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handlesClosed_;
}

std::size_t FakeHttpClient::RequestsClosedWithSession() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closedWithSession_;
}

std::size_t FakeHttpClient::OpenRequestHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handlesCreated_ - handlesClosed_ - closedWithSession_;
}

std::size_t FakeHttpClient::InvalidCloses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return invalidCloses_;
}

std::size_t FakeHttpClient::Outstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outstanding_;
}

std::size_t FakeHttpClient::MaxOutstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return maxOutstanding_;
}

std::size_t FakeHttpClient::ReportsDelivered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reportsDelivered_;
}

std::size_t FakeHttpClient::ReportsDropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reportsDropped_;
}

std::size_t FakeHttpClient::CallbacksAfterRemoval() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return callbacksAfterRemoval_;
}

std::size_t FakeHttpClient::CallbacksAfterSessionClose() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return callbacksAfterSessionClose_;
}

bool FakeHttpClient::WaitForOpenUrlCalls(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return openUrlCalls_.size() >= count; });
}

bool FakeHttpClient::WaitForOutstanding(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return outstanding_ == count; });
}

bool FakeHttpClient::WaitForRequestHandlesClosed(std::size_t count,
                                                 std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return handlesClosed_ >= count; });
}

bool FakeHttpClient::QuietLocked() const {
  if (callsRunning_ != 0) return false;
  for (const auto& [handle, request] : requests_) {
    if (request->closed && !request->finished) return false;
  }
  return true;
}

bool FakeHttpClient::WaitForQuiet(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return QuietLocked(); });
}

}  // namespace pradex
