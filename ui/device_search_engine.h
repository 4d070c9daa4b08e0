// The one assembly of the search engine for every front end: the engine (DeviceSearch) over
// the system a composition root hands in, together with the window's view of it
// (SearchDriver), owned as one object by the window that it reports to. Given an IPP client,
// it also asks each device the search lists what it says about itself (FactsStage).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ipp_client.h"
#include "search/device_search.h"
#include "search/facts_stage.h"
#include "search/search_messages.h"
#include "search/search_platform.h"
#include "ui/device_search_driver.h"
#include "ui/search_driver.h"

namespace pradex {

class DeviceSearchEngine : public SearchDriver {
 public:
  // `platform`'s parts and `ipp` (none: no device is asked) must outlive the engine.
  explicit DeviceSearchEngine(const SearchPlatform& platform, IppClient* ipp = nullptr)
      : answers(platform.poster, ipp ? &facts.emplace(*ipp, platform.poster) : nullptr),
        search(SearchPlatform{platform.spooler, platform.registry, platform.http, answers,
                              platform.ports}),
        driver(search) {}

  bool StartWorker(WindowHandle window) override {
    if (facts) facts->Begin(window);
    return driver.StartWorker(window);
  }
  void Stop() override {
    driver.Stop();
    if (facts) facts->Stop();
  }
  std::string LookupDeviceUrl(const std::string& printerName) override {
    return driver.LookupDeviceUrl(printerName);
  }
  std::string PrinterNameOf(std::intptr_t lParam) override { return driver.PrinterNameOf(lParam); }
  int LostEndMessages() override { return driver.LostEndMessages(); }
  std::vector<FactsStage::Entry> DeviceFacts() override {
    return facts ? facts->Facts() : std::vector<FactsStage::Entry>{};
  }

  DeviceSearch& Search() { return search; }
  // The devices' answers still to come (0 without an IPP client).
  std::size_t UnansweredFacts() const { return facts ? facts->Unanswered() : 0; }

 private:
  // Passes the engine's messages on, and asks each device that answered its page as its
  // message goes by (the probe it points to is readable while it is posted).
  class AskingPoster : public MessagePoster {
   public:
    AskingPoster(MessagePoster& window, FactsStage* facts) : window(window), facts(facts) {}
    bool Post(WindowHandle target, std::uint32_t message, std::uintptr_t wParam,
              std::intptr_t lParam) override {
      const bool posted = window.Post(target, message, wParam, lParam);
      if (posted && facts && message == WM_SEARCH_DEVICE_ANSWERED && lParam != 0)
        facts->Ask(reinterpret_cast<const ProbeRequest*>(lParam)->GetPrinter());
      return posted;
    }

   private:
    MessagePoster& window;
    FactsStage* facts;
  };

  // Destroyed after the engine, whose threads may still ask it, and before the window's queue.
  std::optional<FactsStage> facts;
  AskingPoster answers;
  // Destroyed first: stops the search and joins every thread that could still post.
  DeviceSearch search;
  DeviceSearchDriver driver;
};

}  // namespace pradex
