// What each listed device says about itself (supplies, state; discovery/device_facts), asked
// beside the search. A device is asked once its page has answered, never more than three at
// a time (apart from the probes), each within its time limit; a stop or the next run cuts
// what is under way. Nothing of the run waits for it: each answer comes as a message of its
// own (WM_SEARCH_DEVICE_FACTS), also after the run's end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "discovery/device_facts.h"
#include "discovery/printer_record.h"
#include "platform/ipp_client.h"
#include "platform/message_poster.h"

namespace pradex {

class FactsStage {
 public:
  struct Limits {
    std::size_t inFlight = 3;
    std::chrono::milliseconds perDevice{3000};
  };
  struct Entry {
    std::string printerName;
    DeviceFacts facts;  // Missing::kNotAsked until the device's answer is in
  };

  // `client` and `poster` must outlive the stage.
  FactsStage(IppClient& client, MessagePoster& poster, Limits limits);
  FactsStage(IppClient& client, MessagePoster& poster) : FactsStage(client, poster, Limits{}) {}
  // Cuts the questions under way and waits for their threads.
  ~FactsStage();
  FactsStage(const FactsStage&) = delete;
  FactsStage& operator=(const FactsStage&) = delete;

  // A run begins that reports to `window`: the earlier run's questions are cut and its facts
  // forgotten.
  void Begin(WindowHandle window);
  // A device of the current run answered its page. Asked once per printer name (the window
  // lists the first of a name); from any thread.
  void Ask(const PrinterRecord& device);
  // Cuts every question of the current run: its unanswered devices read kStopped. Returns at
  // once.
  void Stop();

  // The current run's devices in the order they were asked, with what is known so far.
  std::vector<Entry> Facts() const;
  // Devices of the current run whose answer is not in yet.
  std::size_t Unanswered() const;
  // The run's number as WM_SEARCH_DEVICE_FACTS carries it in wParam.
  std::uint64_t RunNumber() const;

 private:
  struct Question {
    std::size_t entry;
    std::vector<std::string> uris;
  };
  void Work(std::uint64_t run, std::stop_token stop);
  DeviceFacts AskDevice(const Question& question, std::stop_token stop);
  // Joins the threads of earlier runs; the caller has cut them.
  void JoinAll();

  IppClient& client;
  MessagePoster& poster;
  Limits limits;

  mutable std::mutex lock;
  WindowHandle window = 0;
  std::uint64_t run = 0;
  std::stop_source stop;
  std::vector<Entry> entries;
  std::deque<Question> waiting;
  std::size_t unanswered = 0;
  std::size_t working = 0;  // threads of the current run taking questions
  std::vector<std::thread> threads;
};

}  // namespace pradex
