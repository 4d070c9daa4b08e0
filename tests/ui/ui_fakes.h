// Stand-ins for the window's surroundings: its controls, the search engine, the browser, the
// string table and the window's message queue.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/message_poster.h"
#include "platform/process_launcher.h"
#include "platform/string_resources.h"
#include "platform/version_info.h"
#include "tests/ui/fake_rich_text.h"
#include "ui/browser_launch.h"
#include "ui/dialog_view.h"
#include "ui/search_driver.h"

namespace pradex {

class FakeDialogView : public DialogView {
 public:
  void AddAboutItem(const std::string& text) override { aboutItems.push_back(text); }
  void CreateFileMenu(const std::string& title, const std::string& stop, const std::string& refresh,
                      const std::string& close) override {
    menus.push_back({title, stop, refresh, close});
  }
  void SetButtonText(int buttonId, const std::string& text) override {
    buttonText[buttonId] = text;
  }
  void SetProductLabel(const std::string& text) override { productLabel = text; }
  void EnableButton(int buttonId, bool enabled) override { buttonEnabled[buttonId] = enabled; }
  void SetDefaultButton(int buttonId, bool isDefault) override {
    buttonDefault[buttonId] = isDefault;
  }
  void FocusButton(int buttonId) override { focus = buttonId; }
  void EnableMenuItem(int commandId, bool enabled) override { menuEnabled[commandId] = enabled; }
  void RepaintList() override {
    ++listRepaints;
    if (list) events.push_back("shown: " + list->Text());
  }
  void RepaintWindow() override { ++windowRepaints; }
  void PostQuit() override { ++quits; }
  void ShowAboutBox() override { ++aboutBoxes; }

  std::vector<std::string> aboutItems;
  std::vector<std::vector<std::string>> menus;
  std::map<int, std::string> buttonText;
  std::string productLabel;
  // As the dialog template creates them: every button enabled, none the default.
  std::map<int, bool> buttonEnabled{
      {kStopButtonId, true}, {kRefreshButtonId, true}, {kCloseButtonId, true}};
  std::map<int, bool> buttonDefault;
  int focus = 0;
  std::map<int, bool> menuEnabled{
      {kStopMenuId, true}, {kRefreshMenuId, true}, {kCloseMenuId, true}};
  // When set, each repaint of the list records the text on screen in `events`.
  const FakeRichText* list = nullptr;
  std::vector<std::string> events;
  int listRepaints = 0;
  int windowRepaints = 0;
  int quits = 0;
  int aboutBoxes = 0;
};

// The search engine. A test plays the worker: it posts the run's messages into the FakeQueue
// itself, with Probe() giving the lParam of a probe message.
class FakeSearchDriver : public SearchDriver {
 public:
  bool StartWorker(WindowHandle window) override {
    ++startCalls;
    if (runInProgress) ++overlappingStarts;
    lastWindow = window;
    if (!startSucceeds) return false;
    runInProgress = true;
    return true;
  }
  void Stop() override {
    ++stopCalls;
    if (events) events->push_back("stop");
  }
  std::string LookupDeviceUrl(const std::string& printerName) override {
    lookups.push_back(printerName);
    const auto it = urls.find(printerName);
    return it == urls.end() ? "" : it->second;
  }
  std::string PrinterNameOf(std::intptr_t lParam) override {
    return probeNames.at(static_cast<std::size_t>(lParam - 1));
  }
  int LostEndMessages() override { return lostEnds; }
  std::vector<FactsStage::Entry> DeviceFacts() override { return facts; }

  // A probe of the printer `name`: the lParam of its message.
  std::intptr_t Probe(const std::string& name) {
    probeNames.push_back(name);
    return static_cast<std::intptr_t>(probeNames.size());
  }

  bool startSucceeds = true;
  // When set, each Stop is recorded there too (to see it in order with what was shown).
  std::vector<std::string>* events = nullptr;
  int startCalls = 0;
  int stopCalls = 0;
  // A run has started and has not posted its WM_SEARCH_FINISHED yet.
  bool runInProgress = false;
  int overlappingStarts = 0;
  int lostEnds = 0;  // end-of-run messages that could not be posted
  WindowHandle lastWindow = 0;
  std::map<std::string, std::string> urls;
  std::vector<std::string> lookups;
  std::vector<std::string> probeNames;
  std::vector<FactsStage::Entry> facts;
};

// The window's message queue: what is posted is delivered in posting order when a test pumps.
class FakeQueue : public MessagePoster {
 public:
  struct Message {
    WindowHandle window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
  };
  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override {
    if (refusePosts) return false;
    messages.push_back({window, message, wParam, lParam});
    return true;
  }
  bool refusePosts = false;
  std::deque<Message> messages;
};

class FakeBrowserLauncher : public BrowserLauncher {
 public:
  void LaunchBrowser(std::string url) override { launched.push_back(url); }
  std::vector<std::string> launched;
};

class FakeStrings : public StringResources {
 public:
  bool Load(unsigned id, std::string& text) override {
    const auto it = texts.find(id);
    if (it == texts.end()) {
      text.clear();
      return false;
    }
    text = it->second;
    return true;
  }
  std::map<unsigned, std::string> texts;
};

class FakeVersionInfo : public VersionInfo {
 public:
  bool GetFileVersion(const std::string& fileName, std::uint32_t& versionMs,
                      std::uint32_t& versionLs) override {
    asked.push_back(fileName);
    const auto it = versions.find(fileName);
    if (it == versions.end()) return false;
    versionMs = it->second.first;
    versionLs = it->second.second;
    return true;
  }
  std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> versions;
  std::vector<std::string> asked;
};

class RecordingProcessLauncher : public ProcessLauncher {
 public:
  struct Call {
    std::string program;
    std::string arguments;
  };
  bool Start(const std::string& program, const std::string& arguments) override {
    calls.push_back({program, arguments});
    return startSucceeds;
  }
  bool startSucceeds = true;
  std::vector<Call> calls;
};

// The Finnish block's texts where the tests look at them (ids 500 + n).
inline void PutFinnishMessages(FakeStrings& strings) {
  strings.texts = {
      {501, "&Tietoja: Pradex for Windows..."},
      {502, "Etsitään tietokoneeseen yhdistettyjä verkkotulostimia, odota hetki..."},
      {503, "Tulostimia ei löydy."},
      {504,
       "Seuraavilla Tulostimet-kansion verkkotulostimilla on tila- ja määritystiedot. Voit "
       "tarkastella niitä napsauttamalla niiden alla näkyvää nimeä."},
      {505, "Pysäytä"},
      {506, "Päivitä"},
      {507, "Sulje"},
      {508, "Tiedosto"},
      {509, "Pradex for Windows"},
      {510, "Pradex "},
      {511, "Versio"},
      {512, "OK"},
      {513, "Copyright (C) Pradex"},
      {514, "Pradex peruuttaa tulostimien etsinnän.  Odota hetki."},
  };
}

}  // namespace pradex
