#include "ui/search_record.h"

#include <algorithm>

namespace pradex {

long RecordingSpooler::EnumPrinters(std::vector<PrinterInfo>& printers) {
  return EnumPrinters(printers, std::stop_token());
}

long RecordingSpooler::EnumPrinters(std::vector<PrinterInfo>& printers, std::stop_token stop) {
  {
    std::lock_guard lock(mutex);
    asked = true;
  }
  const long result = inner.EnumPrinters(printers, std::move(stop));
  std::lock_guard lock(mutex);
  last = Enumeration{result, printers};
  return result;
}

long RecordingSpooler::EnumPorts(const std::optional<std::string>& serverName,
                                 std::vector<std::string>& ports) {
  return inner.EnumPorts(serverName, ports);
}

std::optional<RecordingSpooler::Enumeration> RecordingSpooler::LastEnumeration() const {
  std::lock_guard lock(mutex);
  return last;
}

bool RecordingSpooler::EnumerationAsked() const {
  std::lock_guard lock(mutex);
  return asked;
}

void RecordingSpooler::Clear() {
  std::lock_guard lock(mutex);
  last.reset();
  asked = false;
}

void RecordingTrace::PrinterChecked(const PrinterNote& note) {
  std::lock_guard lock(mutex);
  printers.push_back(note);
}

void RecordingTrace::ProbeEnded(const ProbeNote& note) {
  std::lock_guard lock(mutex);
  probes.push_back(note);
}

std::vector<SearchTrace::PrinterNote> RecordingTrace::Printers() const {
  std::lock_guard lock(mutex);
  return printers;
}

std::vector<SearchTrace::ProbeNote> RecordingTrace::Probes() const {
  std::lock_guard lock(mutex);
  return probes;
}

SearchProgress RecordingTrace::Progress() const {
  std::lock_guard lock(mutex);
  SearchProgress progress;
  progress.started =
      static_cast<int>(std::count_if(printers.begin(), printers.end(), [](const PrinterNote& note) {
        return note.verdict == PrinterVerdict::kProbing;
      }));
  // An end reported late for a probe of an earlier search is not one of these.
  progress.ended = std::min(static_cast<int>(probes.size()), progress.started);
  return progress;
}

void RecordingTrace::Clear() {
  std::lock_guard lock(mutex);
  printers.clear();
  probes.clear();
}

bool RecordedSearchDriver::StartWorker(WindowHandle window) {
  if (spooler != nullptr) spooler->Clear();
  if (trace != nullptr) trace->Clear();
  return inner.StartWorker(window);
}

}  // namespace pradex
