// What one search met, kept for the people who ask why a printer is not listed and for the
// progress shown while it runs: the spooler's printer list and the search's own notes.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler.h"
#include "search/search_trace.h"
#include "ui/search_driver.h"

namespace pradex {

// Passes every call to another spooler and keeps what the last printer enumeration returned,
// so that a report can name the printers the search never reached and the spooler's error.
class RecordingSpooler : public Spooler {
 public:
  explicit RecordingSpooler(Spooler& inner) : inner(inner) {}

  long EnumPrinters(std::vector<PrinterInfo>& printers) override;
  long EnumPrinters(std::vector<PrinterInfo>& printers, std::stop_token stop) override;
  long EnumPorts(const std::optional<std::string>& serverName,
                 std::vector<std::string>& ports) override;

  struct Enumeration {
    long result = 0;
    std::vector<PrinterInfo> printers;
  };
  // The last printer enumeration, or nullopt when none has returned yet.
  std::optional<Enumeration> LastEnumeration() const;
  // Whether a printer enumeration has been asked for (it may not have returned yet).
  bool EnumerationAsked() const;
  // Forgets the last enumeration, at the start of a new search.
  void Clear();

 private:
  Spooler& inner;
  mutable std::mutex mutex;
  std::optional<Enumeration> last;  // guarded by mutex
  bool asked = false;               // guarded by mutex
};

// Probes started and ended so far in one search.
struct SearchProgress {
  int started = 0;
  int ended = 0;
  friend bool operator==(const SearchProgress&, const SearchProgress&) = default;
};

// Keeps every verdict and probe end the search reports; thread-safe.
class RecordingTrace : public SearchTrace {
 public:
  void PrinterChecked(const PrinterNote& note) override;
  void ProbeEnded(const ProbeNote& note) override;

  std::vector<PrinterNote> Printers() const;
  std::vector<ProbeNote> Probes() const;
  // A probe starts with each kProbing verdict and ends with its ProbeEnded.
  SearchProgress Progress() const;
  // Forgets the notes, at the start of a new search.
  void Clear();

 private:
  mutable std::mutex mutex;
  std::vector<PrinterNote> printers;  // in the search's (the spooler's) order
  std::vector<ProbeNote> probes;      // in the order the probes ended
};

// The window's search engine with a record of each run: the spooler's answer and the trace are
// cleared before every run it starts, so that they tell about the search on screen.
class RecordedSearchDriver : public SearchDriver {
 public:
  explicit RecordedSearchDriver(SearchDriver& inner) : inner(inner) {}

  // What to clear before each run; either may be null. They must outlive the driver.
  void SetRecord(RecordingSpooler* spoolerRecord, RecordingTrace* traceRecord) {
    spooler = spoolerRecord;
    trace = traceRecord;
  }

  bool StartWorker(WindowHandle window) override;
  void Stop() override { inner.Stop(); }
  std::string LookupDeviceUrl(const std::string& printerName) override {
    return inner.LookupDeviceUrl(printerName);
  }
  std::string PrinterNameOf(std::intptr_t lParam) override { return inner.PrinterNameOf(lParam); }
  std::vector<FactsStage::Entry> DeviceFacts() override { return inner.DeviceFacts(); }
  // Without it a window whose run's end could not be posted would wait for it for ever.
  int LostEndMessages() override { return inner.LostEndMessages(); }

 private:
  SearchDriver& inner;
  RecordingSpooler* spooler = nullptr;
  RecordingTrace* trace = nullptr;
};

}  // namespace pradex
