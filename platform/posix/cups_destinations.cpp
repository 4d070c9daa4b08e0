#include "platform/posix/cups_destinations.h"

#include <cups/cups.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace pradex {

namespace {

using Clock = std::chrono::steady_clock;

// Beyond the time-out, how long the browsing may take to come back with its list.
constexpr std::chrono::milliseconds kGrace{100};

const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

int AddDestination(void* user, unsigned flags, cups_dest_t* dest) {
  auto& list = *static_cast<std::vector<CupsDestination>*>(user);
  if ((flags & CUPS_DEST_FLAGS_REMOVED) != 0 || !dest || !dest->name || dest->instance) return 1;
  const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
  if (!uri || !*uri) return 1;
  const auto same = [dest](const CupsDestination& known) { return known.name == dest->name; };
  if (std::any_of(list.begin(), list.end(), same)) return 1;
  const char* model = cupsGetOption("printer-make-and-model", dest->num_options, dest->options);
  list.push_back({dest->name, model ? model : "", uri});
  return 1;
}

// What the browsing thread and its caller share; the thread may outlive the caller.
struct Browse {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::vector<CupsDestination> list;
  // libcups' cancel variable; it reads it as a plain int.
  alignas(std::atomic_ref<int>::required_alignment) int cancel = 0;

  void Cancel() { std::atomic_ref<int>(cancel).store(1); }

  void Run(std::chrono::milliseconds timeout) {
    // A cupsd that asks for credentials is refused, not answered on the terminal.
    cupsSetPasswordCB2(NoPassword, nullptr);
    std::vector<CupsDestination> found;
    // Only what DNS-SD brought: the installed queues come from the spooler itself.
    cupsEnumDests(CUPS_DEST_FLAGS_NONE, static_cast<int>(timeout.count()), &cancel,
                  CUPS_PRINTER_DISCOVERED, CUPS_PRINTER_DISCOVERED, AddDestination, &found);
    {
      std::lock_guard lock(mutex);
      list = std::move(found);
      finished = true;
    }
    done.notify_all();
  }
};

// Waits for the browsing until `timeout` and a moment, or `stop`.
std::vector<CupsDestination> Wait(const std::shared_ptr<Browse>& browse,
                                  std::chrono::milliseconds timeout, const std::stop_token& stop) {
  const Clock::time_point end = Clock::now() + timeout + kGrace;
  std::stop_callback wakeOnStop(stop, [&browse] {
    { std::lock_guard lock(browse->mutex); }
    browse->done.notify_all();
  });
  std::unique_lock lock(browse->mutex);
  browse->done.wait_until(lock, end, [&] { return browse->finished || stop.stop_requested(); });
  if (browse->finished) return std::move(browse->list);
  browse->Cancel();
  return {};
}

}  // namespace

std::vector<CupsDestination> ListDiscoveredDestinations(std::chrono::milliseconds timeout,
                                                        std::stop_token stop) {
  if (stop.stop_requested()) return {};
  auto browse = std::make_shared<Browse>();
  try {
    std::thread([browse, timeout] { browse->Run(timeout); }).detach();
  } catch (const std::system_error&) {
    return {};
  }
  return Wait(browse, timeout, stop);
}

}  // namespace pradex
