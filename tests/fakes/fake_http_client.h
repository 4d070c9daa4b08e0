// A scriptable asynchronous HTTP client for tests, with WinInet's observable behaviour: every
// started request reports its handle (60), then its completion (100), and once its handle is
// closed exactly one "handle closing" (70), each on a thread of the client (one thread per
// request), or, when asked for, the first two synchronously inside OpenUrl. Nothing touches
// the network. Thread-safe; every call may come from any thread, also from inside a callback.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/http_client.h"

namespace pradex {

class FakeHttpClient : public HttpClient {
 public:
  // What a request for one URL does.
  struct Behaviour {
    enum class Kind {
      kComplete,           // completes after `delay` with `error`, or with `status` when 0
      kHold,               // completes only when the test calls CompleteHeld
      kOpenFails,          // OpenUrl returns 0 with `error` as its last error
      kOpenReturnsHandle,  // OpenUrl returns the handle at once: completed with `status`
    };
    Kind kind = Kind::kComplete;
    std::uint32_t status = 200;
    std::uint32_t error = 0;
    std::chrono::milliseconds delay{0};        // from OpenUrl to the completion
    std::chrono::milliseconds handleDelay{0};  // from OpenUrl to the handle report
    bool reportHandle = true;       // false: the handle is never reported (60 is left out)
    bool holdHandleReport = false;  // the handle report waits for ReleaseHandleReports
    // 60 (and a completion due at once) are delivered inside OpenUrl, on the calling thread.
    bool synchronous = false;
    // The completion does not come on its own but late: right after the handle is closed,
    // before the 70 (WinInet may do that).
    bool completeAfterClose = false;
    bool statusReadable = true;  // false: QueryStatusCode fails
    bool reportClosing = true;   // false: a closed request never reports its closing (no 70)

    static Behaviour Answer(std::uint32_t status, std::chrono::milliseconds delay = {});
    static Behaviour Fail(std::uint32_t error, std::chrono::milliseconds delay = {});
    static Behaviour Hold();
    static Behaviour OpenFails(std::uint32_t error);
    static Behaviour OpenReturnsHandle(std::uint32_t status);
  };

  struct OpenCall {
    std::string agent;
    std::uint32_t accessType = 0;
    std::uint32_t flags = 0;
    HttpHandle session = 0;  // 0 when the open failed
  };
  struct OpenUrlCall {
    HttpHandle session = 0;
    std::string url;
    std::uint32_t flags = 0;
    std::uintptr_t context = 0;
    HttpHandle returned = 0;      // what OpenUrl returned
    HttpHandle request = 0;       // the request's handle (0 when none was made)
    std::uint32_t lastError = 0;  // what OpenUrl left in *lastError
  };
  struct OptionCall {
    HttpHandle handle = 0;
    std::uint32_t option = 0;
    std::vector<std::uint8_t> value;  // the buffer's bytes (empty for no buffer)
  };

  FakeHttpClient();
  // Stops every request thread (reports still due are dropped) and joins them.
  ~FakeHttpClient() override;
  FakeHttpClient(const FakeHttpClient&) = delete;
  FakeHttpClient& operator=(const FakeHttpClient&) = delete;

  // HttpClient.
  HttpHandle Open(const char* agent, std::uint32_t accessType, std::uint32_t flags) override;
  bool SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                 std::uint32_t length) override;
  // Removing a callback waits until no other thread runs it any more.
  StatusCallback SetStatusCallback(HttpHandle session, StatusCallback callback) override;
  HttpHandle OpenUrl(HttpHandle session, const char* url, std::uint32_t flags,
                     std::uintptr_t context, std::uint32_t* lastError) override;
  // The status of a request that completed without error, unless closed or unreadable.
  bool QueryStatusCode(HttpHandle request, std::uint32_t* statusCode) override;
  // Closing a session closes its open requests as well; their 70 comes inside this call.
  bool CloseHandle(HttpHandle handle) override;

  // Script.
  void SetBehaviour(const std::string& url, Behaviour behaviour);
  void SetDefaultBehaviour(Behaviour behaviour);  // for URLs without their own; Answer(200)
  void SetOpenFails(bool fails);                  // Open returns 0 from now on
  void ReleaseHandleReports();                    // lets held handle reports go
  // Completes the oldest open, held, not yet completed request for `url`; false when none.
  bool CompleteHeld(const std::string& url, std::uint32_t status, std::uint32_t error = 0);

  // Records.
  std::vector<OpenCall> OpenCalls() const;
  std::vector<OpenUrlCall> OpenUrlCalls() const;
  std::vector<OptionCall> Options() const;
  std::size_t RequestHandlesCreated() const;      // every request handle made
  std::size_t RequestHandlesClosed() const;       // closed by CloseHandle on the request
  std::size_t RequestsClosedWithSession() const;  // closed because their session was closed
  std::size_t OpenRequestHandles() const;         // made and not closed either way
  std::size_t InvalidCloses() const;  // CloseHandle with an unknown or already closed handle
  std::size_t Outstanding() const;    // started and neither completed nor closed
  std::size_t MaxOutstanding() const;
  std::size_t ReportsDelivered() const;  // callback calls
  std::size_t ReportsDropped() const;    // reports due while no callback was installed
  // Callback calls that began after SetStatusCallback(session, nullptr) had returned (and
  // before another callback was installed); the client promises there are none.
  std::size_t CallbacksAfterRemoval() const;
  // Callback calls for a session that began once CloseHandle on that session had been called.
  std::size_t CallbacksAfterSessionClose() const;

  // Waiting, for tests; true when the condition held before the time-out.
  bool WaitForOpenUrlCalls(std::size_t count, std::chrono::milliseconds timeout) const;
  bool WaitForOutstanding(std::size_t count, std::chrono::milliseconds timeout) const;
  bool WaitForRequestHandlesClosed(std::size_t count, std::chrono::milliseconds timeout) const;
  // Until every request that will still report something has done so: all closed requests
  // have delivered their 70 and no callback is running.
  bool WaitForQuiet(std::chrono::milliseconds timeout) const;
  // True once `count` reports have been delivered and no callback is running.
  bool WaitForReportsHandled(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Session;
  struct Request;

  Behaviour BehaviourFor(const std::string& url) const;
  HttpHandle NextHandle();
  void StartRequestThread(const std::shared_ptr<Request>& request);
  void RequestMain(std::shared_ptr<Request> request);
  // Delivers one report; releases `lock` around the callback.
  void Deliver(std::unique_lock<std::mutex>& lock, Request& request, std::uint32_t status,
               const AsyncResult& result);
  void MarkCompleted(Request& request, std::uint32_t status, std::uint32_t error);
  void MarkClosed(Request& request, bool bySession);
  bool QuietLocked() const;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  bool stopping = false;
  bool openFails = false;
  HttpHandle nextHandle = 0x5000;
  Behaviour defaultBehaviour;
  std::map<std::string, Behaviour> behaviours;
  std::map<HttpHandle, std::shared_ptr<Session>> sessions;
  std::map<HttpHandle, std::shared_ptr<Request>> requests;  // closed ones stay, to catch reuse
  std::map<HttpHandle, std::thread> requestThreads;         // by request handle
  std::vector<OpenCall> openCalls;
  std::vector<OpenUrlCall> openUrlCalls;
  std::vector<OptionCall> options;
  std::size_t handlesCreated = 0;
  std::size_t handlesClosed = 0;
  std::size_t closedWithSession = 0;
  std::size_t invalidCloses = 0;
  std::size_t outstandingCount = 0;
  std::size_t maxOutstanding = 0;
  std::size_t reportsDelivered = 0;
  std::size_t reportsDropped = 0;
  std::size_t callbacksAfterRemoval = 0;
  std::size_t callbacksAfterSessionClose = 0;
  std::size_t callsRunning = 0;
};

}  // namespace pradex
