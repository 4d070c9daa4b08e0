#include "platform/win32/wininet_http_client.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace pradex {
namespace {

struct RequestEntry {
  HINTERNET session = nullptr;
  std::uintptr_t context = 0;   // the caller's
  HINTERNET request = nullptr;  // known from 60 (or from OpenUrl's result)
  bool closed = false;          // CloseHandle has begun: only 70 is passed on
};

struct SessionEntry {
  StatusCallback callback = nullptr;
  int delivering = 0;  // callbacks of this session running right now
};

// Process-wide, because WinInet calls one plain function for every handle. Never destroyed:
// WinInet's threads may still report while the process ends.
struct Table {
  std::mutex mutex;
  std::condition_variable delivered;  // a callback has returned
  DWORD_PTR nextContext = 1;
  std::unordered_map<DWORD_PTR, RequestEntry> requests;  // by the context WinInet holds
  std::unordered_map<HINTERNET, DWORD_PTR> contextOfRequest;
  std::unordered_map<HINTERNET, SessionEntry> sessions;
};

Table& table() {
  static Table* const instance = new Table;
  return *instance;
}

// The sessions whose callbacks this thread is inside, innermost last: a callback may itself
// close handles or remove the callback without waiting for itself.
thread_local std::vector<HINTERNET> sessionsDelivering;

int OwnDeliveries(HINTERNET session) {
  return static_cast<int>(
      std::count(sessionsDelivering.begin(), sessionsDelivering.end(), session));
}

HINTERNET ToHinternet(HttpHandle handle) {
  return reinterpret_cast<HINTERNET>(handle);
}
HttpHandle FromHinternet(HINTERNET handle) {
  return reinterpret_cast<HttpHandle>(handle);
}

// Calls the session's callback with the table unlocked; returns with it locked again.
void Deliver(std::unique_lock<std::mutex>& lock, HINTERNET session, HINTERNET handle,
             std::uintptr_t context, std::uint32_t status, const void* info,
             std::uint32_t infoLength) {
  Table& t = table();
  auto found = t.sessions.find(session);
  if (found == t.sessions.end() || !found->second.callback) return;
  const StatusCallback callback = found->second.callback;
  ++found->second.delivering;
  sessionsDelivering.push_back(session);
  lock.unlock();
  callback(FromHinternet(handle), context, status, info, infoLength);
  lock.lock();
  sessionsDelivering.pop_back();
  found = t.sessions.find(session);
  if (found != t.sessions.end()) --found->second.delivering;
  t.delivered.notify_all();
}

// Ends the request's context with its one 70.
void Finish(std::unique_lock<std::mutex>& lock, DWORD_PTR wininetContext) {
  Table& t = table();
  const auto found = t.requests.find(wininetContext);
  if (found == t.requests.end()) return;
  const RequestEntry entry = found->second;
  t.requests.erase(found);
  if (entry.request) {
    const auto mapped = t.contextOfRequest.find(entry.request);
    if (mapped != t.contextOfRequest.end() && mapped->second == wininetContext) {
      t.contextOfRequest.erase(mapped);
    }
  }
  const HINTERNET closing = entry.request;
  Deliver(lock, entry.session, closing, entry.context, kStatusHandleClosing, &closing,
          sizeof(closing));
}

// The first member of the status information, whatever its length: Wine reports 60 with the
// handle alone (8 bytes), not a whole INTERNET_ASYNC_RESULT.
std::uintptr_t FirstMember(const void* info, DWORD length) {
  if (!info || length < sizeof(DWORD_PTR)) return 0;
  return static_cast<const INTERNET_ASYNC_RESULT*>(info)->dwResult;
}

void CALLBACK Trampoline(HINTERNET handle, DWORD_PTR wininetContext, DWORD status, LPVOID info,
                         DWORD infoLength) {
  if (status != INTERNET_STATUS_HANDLE_CREATED && status != INTERNET_STATUS_REQUEST_COMPLETE &&
      status != INTERNET_STATUS_HANDLE_CLOSING) {
    return;
  }
  Table& t = table();
  std::unique_lock<std::mutex> lock(t.mutex);
  const auto found = t.requests.find(wininetContext);
  if (found == t.requests.end()) return;  // session reports, or a context already ended
  RequestEntry& entry = found->second;

  if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    // InternetOpenUrlA's hidden connection handle shares the context: only the request
    // handle's own closing ends it.
    const auto closing = reinterpret_cast<HINTERNET>(FirstMember(info, infoLength));
    if (entry.request && closing && closing != entry.request) return;
    Finish(lock, wininetContext);
    return;
  }
  if (entry.closed) return;  // after CloseHandle only 70 is passed on

  AsyncResult result;
  result.result = FirstMember(info, infoLength);
  if (status == INTERNET_STATUS_HANDLE_CREATED) {
    const auto request = reinterpret_cast<HINTERNET>(result.result);
    if (!entry.request && request) {
      entry.request = request;
      t.contextOfRequest[request] = wininetContext;
    }
  } else if (info && infoLength >= sizeof(INTERNET_ASYNC_RESULT)) {
    result.error = static_cast<const INTERNET_ASYNC_RESULT*>(info)->dwError;
  }
  const RequestEntry copy = entry;
  Deliver(lock, copy.session, handle, copy.context, status, &result, sizeof(result));
}

}  // namespace

HttpHandle WinInetHttpClient::Open(const char* agent, std::uint32_t accessType,
                                   std::uint32_t flags) {
  const HINTERNET session = InternetOpenA(agent, accessType, nullptr, nullptr, flags);
  if (session) {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.sessions[session] = SessionEntry{};  // a handle value may come round again
  }
  return FromHinternet(session);
}

bool WinInetHttpClient::SetOption(HttpHandle handle, std::uint32_t option, const void* buffer,
                                  std::uint32_t length) {
  return InternetSetOptionA(ToHinternet(handle), option, const_cast<void*>(buffer), length) !=
         FALSE;
}

StatusCallback WinInetHttpClient::SetStatusCallback(HttpHandle session, StatusCallback callback) {
  const HINTERNET handle = ToHinternet(session);
  Table& t = table();
  std::unique_lock<std::mutex> lock(t.mutex);
  auto found = t.sessions.find(handle);
  if (found == t.sessions.end()) return nullptr;  // not a session of this client
  const StatusCallback previous = found->second.callback;
  found->second.callback = callback;
  lock.unlock();
  // Request handles take the session's WinInet callback when they are created; the trampoline
  // stays on them and looks up the caller's callback at each report.
  InternetSetStatusCallbackA(handle, callback ? Trampoline : nullptr);
  if (!callback) {
    lock.lock();
    t.delivered.wait(lock, [&] {
      const auto entry = t.sessions.find(handle);
      return entry == t.sessions.end() || entry->second.delivering <= OwnDeliveries(handle);
    });
  }
  return previous;
}

HttpHandle WinInetHttpClient::OpenUrl(HttpHandle session, const char* url, std::uint32_t flags,
                                      std::uintptr_t context, std::uint32_t* lastError) {
  Table& t = table();
  DWORD_PTR wininetContext = 0;
  {
    // Registered before the call: 60 may arrive on another thread before it returns.
    std::lock_guard<std::mutex> lock(t.mutex);
    wininetContext = t.nextContext++;
    RequestEntry entry;
    entry.session = ToHinternet(session);
    entry.context = context;
    t.requests[wininetContext] = entry;
  }
  const HINTERNET request =
      InternetOpenUrlA(ToHinternet(session), url, nullptr, 0, flags, wininetContext);
  const DWORD error = request ? ERROR_SUCCESS : GetLastError();

  std::lock_guard<std::mutex> lock(t.mutex);
  const auto found = t.requests.find(wininetContext);
  if (request) {
    if (found != t.requests.end() && !found->second.request) {
      found->second.request = request;
      t.contextOfRequest[request] = wininetContext;
    }
  } else if (error != ERROR_IO_PENDING && found != t.requests.end()) {
    // Not started: no handle exists and nothing more is reported.
    if (found->second.request) t.contextOfRequest.erase(found->second.request);
    t.requests.erase(found);
  }
  if (lastError) *lastError = error;
  return FromHinternet(request);
}

bool WinInetHttpClient::QueryStatusCode(HttpHandle request, std::uint32_t* statusCode) {
  DWORD code = 0;
  DWORD length = sizeof(code);
  if (!HttpQueryInfoA(ToHinternet(request), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                      &length, nullptr)) {
    return false;
  }
  *statusCode = code;
  return true;
}

bool WinInetHttpClient::CloseHandle(HttpHandle handle) {
  const HINTERNET closing = ToHinternet(handle);
  Table& t = table();
  std::unique_lock<std::mutex> lock(t.mutex);

  // The contexts that this close ends: the request's own, or those of the session's requests.
  std::vector<DWORD_PTR> ending;
  const bool isSession = t.sessions.count(closing) != 0;
  if (isSession) {
    for (const auto& [wininetContext, entry] : t.requests) {
      if (entry.session == closing) ending.push_back(wininetContext);
    }
  } else if (const auto found = t.contextOfRequest.find(closing);
             found != t.contextOfRequest.end()) {
    ending.push_back(found->second);
  }
  for (const DWORD_PTR wininetContext : ending) t.requests[wininetContext].closed = true;

  lock.unlock();
  // WinInet may deliver 70 on this thread inside the call; that ends the context already.
  const BOOL closed = InternetCloseHandle(closing);
  lock.lock();

  for (const DWORD_PTR wininetContext : ending) {
    const auto found = t.requests.find(wininetContext);
    if (found == t.requests.end()) continue;
    if (closed) {
      Finish(lock, wininetContext);
    } else {
      found->second.closed = false;  // still open
    }
  }
  if (closed && isSession) t.sessions.erase(closing);
  return closed != FALSE;
}

}  // namespace pradex
