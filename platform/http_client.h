// The asynchronous HTTP client, shaped after WinInet's asynchronous mode.
#pragma once

#include <cstdint>

namespace pradex {

using HttpHandle = std::uintptr_t;  // 0 is "no handle"

inline constexpr std::uint32_t kInternetOpenTypePreconfig = 0;
inline constexpr std::uint32_t kInternetFlagAsync = 0x10000000;
inline constexpr std::uint32_t kInternetFlagNoCacheWrite = 0x04000000;
inline constexpr std::uint32_t kInternetFlagNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kInternetOptionConnectTimeout = 2;
inline constexpr std::uint32_t kInternetOptionRefresh = 37;
inline constexpr std::uint32_t kInternetOptionSettingsChanged = 39;
inline constexpr std::uint32_t kHttpQueryStatusCodeNumber = 0x20000013;

// Status codes passed to the status callback.
inline constexpr std::uint32_t kStatusHandleCreated = 60;
inline constexpr std::uint32_t kStatusHandleClosing = 70;
inline constexpr std::uint32_t kStatusRequestComplete = 100;

// Error codes a completion can carry (WinInet numbering).
inline constexpr std::uint32_t kInternetErrorTimeout = 12002;
inline constexpr std::uint32_t kInternetErrorNameNotResolved = 12007;
inline constexpr std::uint32_t kInternetErrorOperationCancelled = 12017;
inline constexpr std::uint32_t kInternetErrorCannotConnect = 12029;
inline constexpr std::uint32_t kInternetErrorConnectionAborted = 12030;
inline constexpr std::uint32_t kInternetErrorConnectionReset = 12031;
inline constexpr std::uint32_t kHttpErrorInvalidServerResponse = 12152;

// INTERNET_ASYNC_RESULT: for kStatusHandleCreated `result` is the request handle; for
// kStatusRequestComplete `error` is 0 or the request's error.
struct AsyncResult {
  std::uintptr_t result = 0;
  std::uint32_t error = 0;
};

// Status callback of a session: (handle the report is about, the request's context value,
// status code, status information, its length). For 60 and 100 `info` points to an AsyncResult.
using StatusCallback = void (*)(HttpHandle handle, std::uintptr_t context, std::uint32_t status,
                                const void* info, std::uint32_t infoLength);

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // InternetOpenA(agent, accessType, nullptr, nullptr, flags): a session or 0.
  virtual HttpHandle Open(const char* agent, std::uint32_t accessType, std::uint32_t flags) = 0;

  // InternetSetOptionA. `handle` 0 addresses the process (settings changed, refresh).
  virtual bool SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                         std::uint32_t length) = 0;

  // InternetSetStatusCallback: installs (or with nullptr removes) the session's callback and
  // returns the previous one. After removal returns, the callback is no longer running or called.
  virtual StatusCallback SetStatusCallback(HttpHandle session, StatusCallback callback) = 0;

  // InternetOpenUrlA(session, url, nullptr, 0, flags, context). Asynchronous: 0 with
  // *lastError = kErrorIoPending when the request was started; its reports (60, then 100, then
  // 70 once the handle is closed) arrive on the client's threads, possibly before this returns.
  // A non-zero handle means the request completed at once; 0 with another error: not started.
  virtual HttpHandle OpenUrl(HttpHandle session, const char* url, std::uint32_t flags,
                             std::uintptr_t context, std::uint32_t* lastError) = 0;

  // HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER): the numeric status.
  virtual bool QueryStatusCode(HttpHandle request, std::uint32_t* statusCode) = 0;

  // InternetCloseHandle: ends a request (pending or not) or a session. After a request handle
  // is closed its context gets exactly one more report, kStatusHandleClosing, and then none.
  virtual bool CloseHandle(HttpHandle handle) = 0;
};

}  // namespace pradex
