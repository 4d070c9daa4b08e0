#include "platform/posix/curl_http_client.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/win_codes.h"

// CURLOPT_QUICK_EXIT (7.87.0) keeps the I/O thread from waiting for a name lookup.
#if LIBCURL_VERSION_NUM < 0x075700
#error "libcurl 7.87.0 or later is needed"
#endif

namespace pradex {
namespace {

// WinInet errors that only this client reports.
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorInternetInternalError = 12004;
constexpr std::uint32_t kErrorInternetInvalidUrl = 12005;
constexpr std::uint32_t kErrorInternetUnrecognizedScheme = 12006;
constexpr std::uint32_t kErrorInternetInvalidOption = 12009;
constexpr std::uint32_t kErrorInternetBadOptionLength = 12010;
constexpr std::uint32_t kErrorInternetIncorrectHandleType = 12018;
constexpr std::uint32_t kErrorInternetIncorrectHandleState = 12019;
constexpr std::uint32_t kErrorInternetSecurityChannelError = 12157;

constexpr std::uint32_t kInternetOpenTypeDirect = 1;

// WinInet's defaults where the caller sets nothing: 60 s to connect, 30 s without a byte.
constexpr long kDefaultConnectTimeoutMs = 60000;
constexpr long kReceiveTimeoutSeconds = 30;

thread_local std::uint32_t tLastError = 0;

bool Fail(std::uint32_t error) {
  tLastError = error;
  return false;
}

// Handles are never reused, so a stale handle is simply unknown.
std::atomic<HttpHandle> gNextHandle{0x1000};

HttpHandle NewHandle() {
  return gNextHandle.fetch_add(1);
}

bool GlobalInit() {
  static std::once_flag once;
  static CURLcode result = CURLE_FAILED_INIT;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result == CURLE_OK;
}

std::uint32_t MapCurlResult(CURLcode result, bool headersDone, long osErrno) {
  switch (result) {
    case CURLE_OK:
      return 0;
    case CURLE_WRITE_ERROR:
      // The transfer is cut on purpose once the response headers are complete.
      return headersDone ? 0 : kInternetErrorConnectionAborted;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kInternetErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return kInternetErrorCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return kInternetErrorTimeout;
    case CURLE_UNSUPPORTED_PROTOCOL:  // also a reply without a status line (HTTP/0.9)
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_PARTIAL_FILE:
    case CURLE_TOO_MANY_REDIRECTS:
      return kHttpErrorInvalidServerResponse;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return osErrno == ECONNRESET ? kInternetErrorConnectionReset
                                   : kInternetErrorConnectionAborted;
    case CURLE_URL_MALFORMAT:
      return kErrorInternetInvalidUrl;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
      return kErrorInternetSecurityChannelError;
    case CURLE_ABORTED_BY_CALLBACK:
      return kInternetErrorOperationCancelled;
    case CURLE_OUT_OF_MEMORY:
      return kErrorNotEnoughMemory;
    default:
      return kErrorInternetInternalError;
  }
}

}  // namespace

struct CurlHttpClient::Request {
  Request(HttpHandle h, std::uintptr_t c, std::string u, long timeout)
      : handle(h), context(c), url(std::move(u)), connectTimeoutMs(timeout) {}

  const HttpHandle handle;
  const std::uintptr_t context;
  const std::string url;
  const long connectTimeoutMs;

  std::atomic<bool> closed{false};
  std::atomic<long> status{-1};  // the numeric status once the request completed without error

  // I/O thread only.
  CURL* easy = nullptr;
  bool headersDone = false;
};

struct CurlHttpClient::Session : std::enable_shared_from_this<Session> {
  enum class CommandKind { kStart, kClose };
  struct Command {
    CommandKind kind;
    std::shared_ptr<Request> request;
  };

  Session(HttpHandle h, std::string a, bool d) : handle(h), agent(std::move(a)), direct(d) {}

  const HttpHandle handle;
  const std::string agent;
  const bool direct;  // no proxy at all
  std::atomic<long> connectTimeoutMs{kDefaultConnectTimeoutMs};
  CURLM* multi = nullptr;
  std::thread io;  // joined or detached by the one CloseHandle that removed the session
  std::atomic<std::thread::id> ioThread{};

  std::mutex mutex;  // guards commands and closing
  std::vector<Command> commands;
  bool closing = false;

  std::mutex callbackMutex;  // guards callback and delivering
  std::condition_variable callbackIdle;
  StatusCallback callback = nullptr;
  bool delivering = false;

  // I/O thread only: requests whose transfer is in the multi handle.
  std::unordered_map<HttpHandle, std::shared_ptr<Request>> live;

  bool OnIoThread() const { return ioThread.load() == std::this_thread::get_id(); }

  // Under `mutex`.
  void Queue(CommandKind kind, std::shared_ptr<Request> request) {
    commands.push_back({kind, std::move(request)});
    curl_multi_wakeup(multi);
  }

  void Deliver(HttpHandle h, std::uintptr_t context, std::uint32_t status, const void* info,
               std::uint32_t length) {
    StatusCallback cb;
    {
      std::lock_guard lock(callbackMutex);
      cb = callback;
      if (!cb) return;
      delivering = true;
    }
    try {
      cb(h, context, status, info, length);
    } catch (...) {
      // A callback has no way to report failure; the client carries on.
    }
    {
      std::lock_guard lock(callbackMutex);
      delivering = false;
    }
    callbackIdle.notify_all();
  }

  void DeliverResult(const Request& request, std::uint32_t status, std::uintptr_t result,
                     std::uint32_t error) {
    AsyncResult info{result, error};
    Deliver(request.handle, request.context, status, &info, sizeof info);
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* request = static_cast<Request*>(user);
    const std::size_t length = size * count;
    const bool endOfHeaders =
        (length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n');
    if (endOfHeaders) {
      long code = 0;
      curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &code);
      if (code >= 200) {
        // Only the status is wanted: end the transfer here (reported as a write error).
        request->headersDone = true;
        return 0;
      }
    }
    return length;
  }

  static std::size_t OnBody(char*, std::size_t, std::size_t, void* user) {
    auto* request = static_cast<Request*>(user);
    long code = 0;
    curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &code);
    request->headersDone = code >= 200;
    return 0;
  }

  void Start(const std::shared_ptr<Request>& request) {
    if (request->closed) return;  // its close command reports the 70
    CURL* easy = curl_easy_init();
    if (!easy) {
      DeliverResult(*request, kStatusHandleCreated, request->handle, 0);
      if (!request->closed)
        DeliverResult(*request, kStatusRequestComplete, 0, kErrorInternetInternalError);
      return;
    }
    request->easy = easy;
    curl_easy_setopt(easy, CURLOPT_URL, request->url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, request.get());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Removing a transfer whose name lookup is still pending would otherwise wait for the
    // lookup's thread, and with it every other request of the session and its close. The
    // lookup thread is left to finish on its own and frees what it holds.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, request->connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kReceiveTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Session::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, request.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Session::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, request.get());
    // The proxy comes from the environment (libcurl's default) unless the session is direct.
    if (direct) curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
      curl_easy_cleanup(easy);
      request->easy = nullptr;
      DeliverResult(*request, kStatusHandleCreated, request->handle, 0);
      if (!request->closed)
        DeliverResult(*request, kStatusRequestComplete, 0, kErrorInternetInternalError);
      return;
    }
    live.emplace(request->handle, request);
    DeliverResult(*request, kStatusHandleCreated, request->handle, 0);
  }

  void EndTransfer(Request& request) {
    if (!request.easy) return;
    curl_multi_remove_handle(multi, request.easy);
    curl_easy_cleanup(request.easy);
    request.easy = nullptr;
  }

  void Close(const std::shared_ptr<Request>& request) {
    auto it = live.find(request->handle);
    if (it != live.end()) {
      EndTransfer(*request);
      live.erase(it);
    }
    Deliver(request->handle, request->context, kStatusHandleClosing, nullptr, 0);
  }

  void ReadCompletions() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode result = message->data.result;
      Request* raw = nullptr;
      curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&raw));
      auto it = raw ? live.find(raw->handle) : live.end();
      if (it == live.end()) {
        curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
        continue;
      }
      std::shared_ptr<Request> request = it->second;
      live.erase(it);
      long code = 0;
      long osErrno = 0;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
      const std::uint32_t error = MapCurlResult(result, request->headersDone, osErrno);
      EndTransfer(*request);
      if (error == 0) request->status = code;
      if (!request->closed) DeliverResult(*request, kStatusRequestComplete, 0, error);
    }
  }

  void Run() {
    ioThread = std::this_thread::get_id();
    for (;;) {
      std::vector<Command> batch;
      bool shutdown;
      {
        std::lock_guard lock(mutex);
        batch.swap(commands);
        shutdown = closing;
      }
      for (const Command& command : batch) {
        if (command.kind == CommandKind::kStart)
          Start(command.request);
        else
          Close(command.request);
      }
      // A closing session has queued a close for each of its requests: all are reported now.
      if (shutdown) break;
      int running = 0;
      curl_multi_perform(multi, &running);
      ReadCompletions();
      curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (auto& entry : live) EndTransfer(*entry.second);
    live.clear();
    curl_multi_cleanup(multi);
    multi = nullptr;
    Deliver(handle, 0, kStatusHandleClosing, nullptr, 0);
  }
};

CurlHttpClient::CurlHttpClient() {
  GlobalInit();
}

CurlHttpClient::~CurlHttpClient() {
  std::vector<HttpHandle> open;
  {
    std::lock_guard lock(mutex);
    for (const auto& entry : sessions) open.push_back(entry.first);
  }
  for (HttpHandle session : open) CloseHandle(session);
  for (std::thread& thread : finished) {
    if (thread.get_id() == std::this_thread::get_id())
      thread.detach();  // destroyed from that thread's last callback
    else
      thread.join();
  }
}

std::uint32_t CurlHttpClient::LastError() {
  return tLastError;
}

std::shared_ptr<CurlHttpClient::Session> CurlHttpClient::FindSession(HttpHandle handle) {
  std::lock_guard lock(mutex);
  auto it = sessions.find(handle);
  return it == sessions.end() ? nullptr : it->second;
}

HttpHandle CurlHttpClient::Open(const char* agent, std::uint32_t accessType, std::uint32_t) {
  if (accessType != kInternetOpenTypePreconfig && accessType != kInternetOpenTypeDirect) {
    Fail(kErrorInvalidParameter);
    return 0;
  }
  if (!GlobalInit()) {
    Fail(kErrorInternetInternalError);
    return 0;
  }
  auto session = std::make_shared<Session>(NewHandle(), agent ? agent : "",
                                           accessType == kInternetOpenTypeDirect);
  session->multi = curl_multi_init();
  if (!session->multi) {
    Fail(kErrorNotEnoughMemory);
    return 0;
  }
  try {
    session->io = std::thread([session] { session->Run(); });
  } catch (...) {
    curl_multi_cleanup(session->multi);
    Fail(kErrorNotEnoughMemory);
    return 0;
  }
  std::lock_guard lock(mutex);
  sessions.emplace(session->handle, session);
  return session->handle;
}

bool CurlHttpClient::SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                               std::uint32_t length) {
  if (handle == 0) {
    // libcurl reads the proxy environment for every request: nothing to refresh.
    if (option == kInternetOptionSettingsChanged || option == kInternetOptionRefresh) return true;
    return Fail(kErrorInternetInvalidOption);
  }
  std::shared_ptr<Session> session = FindSession(handle);
  if (!session) {
    std::lock_guard lock(mutex);
    return Fail(requests.count(handle) ? kErrorInternetIncorrectHandleType : kErrorInvalidHandle);
  }
  if (option != kInternetOptionConnectTimeout) return Fail(kErrorInternetInvalidOption);
  if (!buffer || length < sizeof(std::uint32_t)) return Fail(kErrorInternetBadOptionLength);
  std::uint32_t milliseconds;
  std::memcpy(&milliseconds, buffer, sizeof milliseconds);
  // Requests started from now on use it; 0 leaves libcurl's own limit.
  session->connectTimeoutMs = static_cast<long>(milliseconds);
  return true;
}

StatusCallback CurlHttpClient::SetStatusCallback(HttpHandle handle, StatusCallback callback) {
  std::shared_ptr<Session> session = FindSession(handle);
  if (!session) {
    Fail(kErrorInvalidHandle);
    return nullptr;
  }
  std::unique_lock lock(session->callbackMutex);
  StatusCallback previous = session->callback;
  session->callback = callback;
  // Wait until the previous callback has returned, unless it is the caller itself.
  if (previous != callback && !session->OnIoThread())
    session->callbackIdle.wait(lock, [&] { return !session->delivering; });
  return previous;
}

HttpHandle CurlHttpClient::OpenUrl(HttpHandle handle, const char* url, std::uint32_t,
                                   std::uintptr_t context, std::uint32_t* lastError) {
  std::uint32_t ignored;
  std::uint32_t& error = lastError ? *lastError : ignored;
  if (!url) {
    error = tLastError = kErrorInvalidParameter;
    return 0;
  }
  // Reject what can never be requested now, as InternetOpenUrlA does.
  CURLU* parsed = curl_url();
  char* scheme = nullptr;
  std::uint32_t urlError = 0;
  if (!parsed) {
    urlError = kErrorNotEnoughMemory;
  } else if (curl_url_set(parsed, CURLUPART_URL, url, 0) != CURLUE_OK) {
    urlError = kErrorInternetInvalidUrl;
  } else if (curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK ||
             (std::strcmp(scheme, "http") != 0 && std::strcmp(scheme, "https") != 0)) {
    urlError = kErrorInternetUnrecognizedScheme;
  }
  curl_free(scheme);
  curl_url_cleanup(parsed);

  std::lock_guard lock(mutex);
  auto it = sessions.find(handle);
  if (it == sessions.end()) {
    error = tLastError = requests.count(handle) ? kErrorInternetIncorrectHandleType
                                                : static_cast<std::uint32_t>(kErrorInvalidHandle);
    return 0;
  }
  if (urlError) {
    error = tLastError = urlError;
    return 0;
  }
  const std::shared_ptr<Session>& session = it->second;
  auto request = std::make_shared<Request>(NewHandle(), context, url, session->connectTimeoutMs);
  requests.emplace(request->handle, std::make_pair(session, request));
  {
    std::lock_guard sessionLock(session->mutex);
    session->Queue(Session::CommandKind::kStart, request);
  }
  error = tLastError = static_cast<std::uint32_t>(kErrorIoPending);
  return 0;
}

bool CurlHttpClient::QueryStatusCode(HttpHandle handle, std::uint32_t* statusCode) {
  std::shared_ptr<Request> request;
  {
    std::lock_guard lock(mutex);
    auto it = requests.find(handle);
    if (it == requests.end())
      return Fail(sessions.count(handle) ? kErrorInternetIncorrectHandleType
                                         : static_cast<std::uint32_t>(kErrorInvalidHandle));
    request = it->second.second;
  }
  if (!statusCode) return Fail(kErrorInvalidParameter);
  const long status = request->status;
  if (status < 0) return Fail(kErrorInternetIncorrectHandleState);
  *statusCode = static_cast<std::uint32_t>(status);
  return true;
}

bool CurlHttpClient::CloseHandle(HttpHandle handle) {
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex);
    auto request = requests.find(handle);
    if (request != requests.end()) {
      auto [owner, closing] = request->second;
      requests.erase(request);
      std::lock_guard sessionLock(owner->mutex);
      if (!closing->closed.exchange(true)) owner->Queue(Session::CommandKind::kClose, closing);
      return true;
    }
    auto it = sessions.find(handle);
    if (it == sessions.end()) return Fail(kErrorInvalidHandle);
    session = it->second;
    sessions.erase(it);
    // Closing a session closes its requests: each gets its 70 before the session's own.
    std::vector<std::shared_ptr<Request>> children;
    for (auto r = requests.begin(); r != requests.end();) {
      if (r->second.first == session) {
        children.push_back(r->second.second);
        r = requests.erase(r);
      } else {
        ++r;
      }
    }
    std::lock_guard sessionLock(session->mutex);
    for (auto& child : children)
      if (!child->closed.exchange(true)) session->Queue(Session::CommandKind::kClose, child);
    session->closing = true;
    curl_multi_wakeup(session->multi);
  }
  if (session->OnIoThread()) {
    // Closed from its own callback the thread cannot wait for itself: it ends once the
    // callback has returned, and the client's destructor joins it.
    std::lock_guard lock(mutex);
    finished.push_back(std::move(session->io));
  } else {
    session->io.join();
  }
  return true;
}

}  // namespace pradex
