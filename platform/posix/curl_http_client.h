// The asynchronous HTTP client on libcurl's multi interface.
//
// Every session runs one I/O thread that owns the session's multi handle and all easy handles
// of its requests. Other threads only queue commands (start, close, shut down) and wake the
// I/O thread with curl_multi_wakeup. All status reports are delivered on the I/O thread, so
// 60 "handle created" may arrive before OpenUrl has returned, as with WinInet.
//
// What a request does: one GET with the session's user agent, no redirect following, no cache,
// the proxy that libcurl finds in the environment (http_proxy, no_proxy, ...), the session's
// connect time-out, and nothing read beyond the response headers: the transfer is ended as soon
// as the headers are complete and counts as a success. Errors complete with WinInet numbers.
// A name lookup still pending when its request is closed finishes on its own thread: it never
// holds up the I/O thread, the session's other requests or its close.
//
// Ordering guarantees per request: 60, then at most one 100, then, once the handle is closed
// (by CloseHandle on it or on its session), exactly one 70 as the last report. A 100 that the
// I/O thread was about to deliver when CloseHandle was called may still arrive after that call
// has returned (as with WinInet, the caller decides under its own lock whether a completion
// still matters).
#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/http_client.h"

namespace pradex {

class CurlHttpClient : public HttpClient {
 public:
  CurlHttpClient();
  // Closes every session that is still open (with their reports) and joins their threads.
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  HttpHandle Open(const char* agent, std::uint32_t accessType, std::uint32_t flags) override;
  bool SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                 std::uint32_t length) override;
  StatusCallback SetStatusCallback(HttpHandle session, StatusCallback callback) override;
  HttpHandle OpenUrl(HttpHandle session, const char* url, std::uint32_t flags,
                     std::uintptr_t context, std::uint32_t* lastError) override;
  bool QueryStatusCode(HttpHandle request, std::uint32_t* statusCode) override;
  bool CloseHandle(HttpHandle handle) override;

  // The error (WinInet numbering) of the calling thread's last failed call, like GetLastError
  // after a failed WinInet call: kErrorInvalidHandle for an unknown or closed handle, ...
  static std::uint32_t LastError();

 private:
  struct Session;
  struct Request;

  std::shared_ptr<Session> FindSession(HttpHandle handle);

  std::mutex mutex;  // guards the two handle tables and finished
  std::unordered_map<HttpHandle, std::shared_ptr<Session>> sessions;
  // Open request handles and the session each belongs to.
  std::unordered_map<HttpHandle, std::pair<std::shared_ptr<Session>, std::shared_ptr<Request>>>
      requests;
  // I/O threads of sessions closed from their own callback, joined at destruction.
  std::vector<std::thread> finished;
};

}  // namespace pradex
