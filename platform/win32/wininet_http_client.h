// The asynchronous HTTP client over WinInet.
//
// WinInet gets a context value of this client's own for every request and hands it back with
// each status report; a trampoline turns the reports into the caller's callback with the
// caller's context. That indirection gives the order that the interface promises and that
// WinInet itself does not always keep (Wine, for one, reports nothing when a pending request is
// closed, and reports the late completion and HANDLE_CLOSING once its connection ends):
// - 60 (handle created), then at most one 100 (request complete), in WinInet's order;
//   60 may come before OpenUrl has returned;
// - once the request handle is closed (CloseHandle on it or on its session), exactly one 70 as
//   the last report: WinInet's own when it comes during the close, else one delivered by
//   CloseHandle itself on the calling thread. Reports that WinInet sends later are dropped;
//   a report that was already being delivered on another thread may still finish.
// - after SetStatusCallback(session, nullptr) has returned, no callback of that session runs.
// Session reports (context 0) and all other status codes are not passed on.
#pragma once

#include "platform/http_client.h"

namespace pradex {

class WinInetHttpClient : public HttpClient {
 public:
  HttpHandle Open(const char* agent, std::uint32_t accessType, std::uint32_t flags) override;
  bool SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                 std::uint32_t length) override;
  StatusCallback SetStatusCallback(HttpHandle session, StatusCallback callback) override;
  HttpHandle OpenUrl(HttpHandle session, const char* url, std::uint32_t flags,
                     std::uintptr_t context, std::uint32_t* lastError) override;
  bool QueryStatusCode(HttpHandle request, std::uint32_t* statusCode) override;
  bool CloseHandle(HttpHandle handle) override;
};

}  // namespace pradex
