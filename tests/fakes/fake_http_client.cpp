#include "tests/fakes/fake_http_client.h"

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
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    threads.swap(requestThreads);
  }
  changed.notify_all();
  for (auto& [handle, thread] : threads) thread.join();
}

HttpHandle FakeHttpClient::NextHandle() {
  const HttpHandle handle = nextHandle;
  nextHandle += 4;
  return handle;
}

HttpHandle FakeHttpClient::Open(const char* agent, std::uint32_t accessType, std::uint32_t flags) {
  std::lock_guard<std::mutex> lock(mutex);
  OpenCall call{agent ? agent : "", accessType, flags, 0};
  if (!openFails) {
    auto session = std::make_shared<Session>();
    session->handle = NextHandle();
    sessions[session->handle] = session;
    call.session = session->handle;
  }
  openCalls.push_back(call);
  return call.session;
}

bool FakeHttpClient::SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                               std::uint32_t length) {
  std::lock_guard<std::mutex> lock(mutex);
  OptionCall call{handle, option, {}};
  if (buffer && length > 0) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    call.value.assign(bytes, bytes + length);
  }
  options.push_back(std::move(call));
  if (handle == 0) return true;
  return sessions.count(handle) > 0 || requests.count(handle) > 0;
}

StatusCallback FakeHttpClient::SetStatusCallback(HttpHandle sessionHandle,
                                                 StatusCallback callback) {
  std::unique_lock<std::mutex> lock(mutex);
  const auto it = sessions.find(sessionHandle);
  if (it == sessions.end()) return nullptr;
  const std::shared_ptr<Session> session = it->second;
  const StatusCallback previous = session->callback;
  session->callback = callback;
  session->removalReturned = false;
  if (!callback) {
    // Calls on other threads must have left the callback; one running on this thread (the
    // caller removing from inside its own callback) cannot be waited for.
    const auto self = std::this_thread::get_id();
    changed.wait(lock, [&] { return session->callers.size() == session->callers.count(self); });
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
    std::unique_lock<std::mutex> lock(mutex);
    OpenUrlCall call{sessionHandle, url ? url : "", flags, context, 0, 0, 0};
    const auto sessionIt = sessions.find(sessionHandle);
    if (sessionIt == sessions.end() || sessionIt->second->closed || !url) {
      call.lastError = static_cast<std::uint32_t>(kErrorInvalidHandle);
      openUrlCalls.push_back(call);
      changed.notify_all();
      if (lastError) *lastError = call.lastError;
      return 0;
    }
    const Behaviour behaviour = BehaviourFor(call.url);
    if (behaviour.kind == Behaviour::Kind::kOpenFails) {
      call.lastError = behaviour.error;
      openUrlCalls.push_back(call);
      changed.notify_all();
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
    requests[request->handle] = request;
    ++handlesCreated;
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
      ++outstandingCount;
      maxOutstanding = std::max(maxOutstanding, outstandingCount);
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
    openUrlCalls.push_back(call);

    // Threads of requests that have nothing more to deliver are joined as we go.
    for (auto it = requestThreads.begin(); it != requestThreads.end();) {
      const auto owner = requests.find(it->first);
      if (owner != requests.end() && owner->second->finished) {
        ended.push_back(std::move(it->second));
        it = requestThreads.erase(it);
      } else {
        ++it;
      }
    }
    StartRequestThread(request);
    changed.notify_all();
  }
  for (auto& thread : ended) thread.join();
  if (lastError) *lastError = error;
  return returned;
}

void FakeHttpClient::StartRequestThread(const std::shared_ptr<Request>& request) {
  requestThreads.emplace(request->handle, std::thread(&FakeHttpClient::RequestMain, this, request));
}

void FakeHttpClient::RequestMain(std::shared_ptr<Request> request) {
  std::unique_lock<std::mutex> lock(mutex);
  Request& r = *request;
  const Behaviour& b = r.behaviour;
  const auto ended = [&] { return r.closed || stopping; };

  if (r.started) {
    if (b.reportHandle && !r.handleReported) {
      changed.wait_until(lock, r.start + b.handleDelay, ended);
      if (b.holdHandleReport) {
        changed.wait(lock, [&] { return r.handleReleased || ended(); });
      }
      if (!ended()) {
        r.handleReported = true;
        Deliver(lock, r, kStatusHandleCreated, AsyncResult{r.handle, 0});
      }
    }
    if (!r.completed && !b.completeAfterClose) {
      if (b.kind == Behaviour::Kind::kComplete) {
        changed.wait_until(lock, r.start + b.delay, ended);
        if (!ended()) {
          MarkCompleted(r, b.status, b.error);
          Deliver(lock, r, kStatusRequestComplete, AsyncResult{1, b.error});
        }
      } else if (b.kind == Behaviour::Kind::kHold) {
        changed.wait(lock, [&] { return r.manualCompletion || ended(); });
        if (!ended()) {
          MarkCompleted(r, r.manualStatus, r.manualError);
          Deliver(lock, r, kStatusRequestComplete, AsyncResult{1, r.manualError});
        }
      }
    }
  }

  changed.wait(lock, ended);
  if (r.closed && !stopping && !r.closingReported) {
    if (r.started && b.completeAfterClose && !r.completed) {
      // A late completion of a request whose handle is gone.
      r.completed = true;
      r.status = b.status;
      r.error = b.error;
      Deliver(lock, r, kStatusRequestComplete, AsyncResult{1, b.error});
    }
    // The session's close may have reported the closing meanwhile.
    if (!r.closingReported && b.reportClosing) {
      r.closingReported = true;
      Deliver(lock, r, kStatusHandleClosing, AsyncResult{r.handle, 0});
    }
  }
  r.finished = true;
  changed.notify_all();
}

void FakeHttpClient::Deliver(std::unique_lock<std::mutex>& lock, Request& request,
                             std::uint32_t status, const AsyncResult& result) {
  const auto it = sessions.find(request.session);
  if (it == sessions.end() || !it->second->callback) {
    ++reportsDropped;
    return;
  }
  const std::shared_ptr<Session> session = it->second;
  const StatusCallback callback = session->callback;
  if (session->removalReturned) ++callbacksAfterRemoval;
  if (session->closed) ++callbacksAfterSessionClose;
  ++reportsDelivered;
  ++callsRunning;
  const auto self = std::this_thread::get_id();
  session->callers.insert(self);
  const HttpHandle handle = request.handle;
  const std::uintptr_t context = request.context;
  const AsyncResult info = result;
  lock.unlock();
  callback(handle, context, status, &info, sizeof(info));
  lock.lock();
  session->callers.erase(session->callers.find(self));
  --callsRunning;
  changed.notify_all();
}

void FakeHttpClient::MarkCompleted(Request& request, std::uint32_t status, std::uint32_t error) {
  request.completed = true;
  request.status = status;
  request.error = error;
  if (request.outstanding) {
    request.outstanding = false;
    --outstandingCount;
  }
}

void FakeHttpClient::MarkClosed(Request& request, bool bySession) {
  request.closed = true;
  if (bySession) {
    ++closedWithSession;
  } else {
    ++handlesClosed;
  }
  if (request.outstanding) {
    request.outstanding = false;
    --outstandingCount;
  }
}

bool FakeHttpClient::QueryStatusCode(HttpHandle handle, std::uint32_t* statusCode) {
  std::lock_guard<std::mutex> lock(mutex);
  const auto it = requests.find(handle);
  if (it == requests.end() || !statusCode) return false;
  const Request& r = *it->second;
  if (r.closed || !r.completed || r.error != 0 || !r.behaviour.statusReadable) return false;
  *statusCode = r.status;
  return true;
}

bool FakeHttpClient::CloseHandle(HttpHandle handle) {
  std::unique_lock<std::mutex> lock(mutex);
  const auto sessionIt = sessions.find(handle);
  if (sessionIt != sessions.end()) {
    const std::shared_ptr<Session> session = sessionIt->second;
    if (session->closed) {
      ++invalidCloses;
      return false;
    }
    session->closed = true;
    std::vector<std::shared_ptr<Request>> closed;
    for (auto& [requestHandle, request] : requests) {
      if (request->session == handle && !request->closed) {
        MarkClosed(*request, true);
        closed.push_back(request);
      }
    }
    changed.notify_all();
    // The requests of a session report their closing inside the session's close.
    for (const auto& request : closed) {
      if (request->closingReported || !request->behaviour.reportClosing) continue;
      request->closingReported = true;
      Deliver(lock, *request, kStatusHandleClosing, AsyncResult{request->handle, 0});
    }
    return true;
  }
  const auto it = requests.find(handle);
  if (it == requests.end() || it->second->closed) {
    ++invalidCloses;
    return false;
  }
  MarkClosed(*it->second, false);
  changed.notify_all();
  return true;
}

void FakeHttpClient::SetBehaviour(const std::string& url, Behaviour behaviour) {
  std::lock_guard<std::mutex> lock(mutex);
  behaviours[url] = behaviour;
}

void FakeHttpClient::SetDefaultBehaviour(Behaviour behaviour) {
  std::lock_guard<std::mutex> lock(mutex);
  defaultBehaviour = behaviour;
}

void FakeHttpClient::SetOpenFails(bool fails) {
  std::lock_guard<std::mutex> lock(mutex);
  openFails = fails;
}

void FakeHttpClient::ReleaseHandleReports() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& [handle, request] : requests) request->handleReleased = true;
  }
  changed.notify_all();
}

bool FakeHttpClient::CompleteHeld(const std::string& url, std::uint32_t status,
                                  std::uint32_t error) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    // Handles grow with time, so the map's order is the order of the requests.
    for (auto& [handle, request] : requests) {
      Request& r = *request;
      if (r.url == url && r.started && !r.closed && !r.completed && !r.manualCompletion &&
          r.behaviour.kind == Behaviour::Kind::kHold) {
        r.manualCompletion = true;
        r.manualStatus = status;
        r.manualError = error;
        changed.notify_all();
        return true;
      }
    }
  }
  return false;
}

FakeHttpClient::Behaviour FakeHttpClient::BehaviourFor(const std::string& url) const {
  const auto it = behaviours.find(url);
  return it == behaviours.end() ? defaultBehaviour : it->second;
}

bool FakeHttpClient::QuietLocked() const {
  if (callsRunning != 0) return false;
  for (const auto& [handle, request] : requests) {
    if (request->closed && !request->finished) return false;
  }
  return true;
}

bool FakeHttpClient::WaitForQuiet(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout, [&] { return QuietLocked(); });
}

}  // namespace pradex
