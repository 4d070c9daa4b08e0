#include "search/facts_stage.h"

#include <exception>
#include <system_error>
#include <utility>

#include "search/search_messages.h"

namespace pradex {

namespace {

using Status = IppAnswer::Status;

// The scheme and authority of an IPP URI: questions to one authority that could not connect
// need not be asked again under another path.
std::string Authority(const std::string& uri) {
  const std::size_t start = uri.find("://");
  if (start == std::string::npos) return uri;
  return uri.substr(0, uri.find('/', start + 3));
}

}  // namespace

FactsStage::FactsStage(IppClient& client, MessagePoster& poster, Limits limits)
    : client(client), poster(poster), limits(limits) {}

FactsStage::~FactsStage() {
  Stop();
  JoinAll();
}

void FactsStage::Begin(WindowHandle newWindow) {
  Stop();
  JoinAll();
  std::lock_guard<std::mutex> guard(lock);
  window = newWindow;
  ++run;
  stop = std::stop_source();
  entries.clear();
  waiting.clear();
  unanswered = 0;
  working = 0;
}

void FactsStage::Stop() {
  std::lock_guard<std::mutex> guard(lock);
  stop.request_stop();
  // What no thread has taken yet is never asked.
  for (const Question& question : waiting) {
    entries[question.entry].facts.missing = DeviceFacts::Missing::kStopped;
  }
  unanswered -= waiting.size();
  waiting.clear();
}

void FactsStage::JoinAll() {
  std::vector<std::thread> ending;
  {
    std::lock_guard<std::mutex> guard(lock);
    ending.swap(threads);
  }
  for (std::thread& thread : ending) thread.join();
}

void FactsStage::Ask(const PrinterRecord& device) {
  const std::string name = device.GetPrinterName();
  std::unique_lock<std::mutex> guard(lock);
  if (stop.stop_requested()) return;
  for (const Entry& entry : entries) {
    if (entry.printerName == name) return;
  }
  entries.push_back(Entry{name, DeviceFacts{}});
  std::vector<std::string> uris =
      FactsUris(device.GetDeviceHost(), device.GetDevicePort(), device.GetDeviceIppUri());
  // Nowhere to ask (a loopback device without a port of its own, whose 631 is this machine's
  // print server): not asked.
  if (uris.empty()) return;
  waiting.push_back(Question{entries.size() - 1, std::move(uris)});
  ++unanswered;
  if (working >= limits.inFlight) return;
  try {
    threads.emplace_back(&FactsStage::Work, this, run, stop.get_token());
    ++working;
  } catch (const std::system_error&) {
    // A thread of this run that is still working takes the question; with none, it is
    // never asked.
    if (working == 0) {
      unanswered -= waiting.size();
      waiting.clear();
    }
  }
}

void FactsStage::Work(std::uint64_t ownRun, std::stop_token ownStop) {
  for (;;) {
    Question question;
    WindowHandle target = 0;
    {
      std::lock_guard<std::mutex> guard(lock);
      if (run != ownRun || waiting.empty() || ownStop.stop_requested()) {
        if (run == ownRun) --working;
        return;
      }
      question = std::move(waiting.front());
      waiting.pop_front();
      target = window;
    }
    DeviceFacts facts = AskDevice(question, ownStop);
    {
      std::lock_guard<std::mutex> guard(lock);
      if (run != ownRun) continue;
      entries[question.entry].facts = std::move(facts);
      --unanswered;
    }
    try {
      poster.Post(target, WM_SEARCH_DEVICE_FACTS, static_cast<std::uintptr_t>(ownRun),
                  static_cast<std::intptr_t>(question.entry));
    } catch (...) {
      // Posting never waits; a lost message leaves the facts to the next one or to Facts().
    }
  }
}

DeviceFacts FactsStage::AskDevice(const Question& question, std::stop_token ownStop) {
  const auto deadline = std::chrono::steady_clock::now() + limits.perDevice;
  IppAnswer answer;
  std::string refused;  // an authority that took no connection
  for (const std::string& uri : question.uris) {
    if (Authority(uri) == refused) continue;
    try {
      answer = client.GetPrinterAttributes(uri, FactsAttributes(), deadline, ownStop);
    } catch (const std::exception&) {
      answer = IppAnswer{};
    }
    // Older devices answer at another path; anything else is the device's last word.
    if (answer.status == Status::kUnreachable) {
      refused = Authority(uri);
      continue;
    }
    if (answer.status != Status::kNotIpp && answer.status != Status::kIppError) break;
  }
  return FactsFromAnswer(answer);
}

std::vector<FactsStage::Entry> FactsStage::Facts() const {
  std::lock_guard<std::mutex> guard(lock);
  return entries;
}

std::size_t FactsStage::Unanswered() const {
  std::lock_guard<std::mutex> guard(lock);
  return unanswered;
}

std::uint64_t FactsStage::RunNumber() const {
  std::lock_guard<std::mutex> guard(lock);
  return run;
}

}  // namespace pradex
