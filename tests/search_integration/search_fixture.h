// A machine for whole searches over real HTTP: in-memory spooler and registry whose printers'
// monitor keys point at devices of the loopback emulator, the libcurl client, and a message
// queue standing in for the window.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "discovery/monitor_port_resolver.h"
#include "discovery/port_cache.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/queue_message_poster.h"
#include "platform/posix/curl_http_client.h"
#include "search/device_search.h"
#include "search/printer_plan.h"
#include "search/proxy_settings_guard.h"
#include "search/search_messages.h"
#include "tests/emulator/device_emulator.h"
#include "tests/fakes/memory_device_io.h"
#include "tests/fakes/memory_spooler.h"
#include "tests/support/proxy_environment.h"
#include "tests/support/run_messages.h"

namespace pradex::integration {

using Clock = std::chrono::steady_clock;
using emulator::Behaviour;
using emulator::DeviceEmulator;
using emulator::DeviceSpec;
using std::chrono::milliseconds;

inline constexpr WindowHandle kWindow = 0x51;
inline DeviceSpec Device(const std::string& address, Behaviour behaviour, int status = 200,
                         int delayMs = 0) {
  DeviceSpec spec;
  spec.address = address;
  spec.behaviour = behaviour;
  spec.status = status;
  spec.delayMs = delayMs;
  return spec;
}

using testsupport::Arrival;
using testsupport::kPatience;
using testsupport::RunMessages;

inline std::optional<Arrival> NextMessage(QueueMessagePoster& poster, milliseconds timeout) {
  return testsupport::NextMessage(poster, kWindow, timeout);
}

inline RunMessages CollectRun(QueueMessagePoster& poster, milliseconds patience) {
  return testsupport::CollectRun(poster, kWindow, testsupport::kAllProbes, patience);
}

class SearchMachine {
 public:
  SearchMachine() {
    testsupport::ClearProxyEnvironment();
    registry.CreateKey(kHkeyCurrentUser, kInternetSettingsKey);
  }

  // A printer of the maker whose TCP/IP port's monitor key names the device by HostName
  // "ADDR:PORT". `family` is "BrimLine" or "GlowMark". Returns the device URL.
  std::string AddPrinter(const std::string& name, const std::string& family,
                         const std::string& address, std::uint16_t port) {
    const std::string portName = "IP_" + address + "_" + std::to_string(port);
    spooler.AddPort(portName);
    spooler.AddPrinter(PrinterInfo{std::nullopt, name, portName, "Tamrin " + family + " 4200"});
    const std::string host = address + ":" + std::to_string(port);
    registry.PutString(kHkeyLocalMachine, std::string(kSystemMonitorPortsKey) + "\\" + portName,
                       "HostName", host);
    return DeviceEmulator::Url(address, port,
                               family == "BrimLine" ? kBrimLineUrlPath : kGlowMarkUrlPath);
  }

  // A device of the emulator and a printer that points at it.
  std::string AddDevicePrinter(const std::string& name, const DeviceSpec& spec,
                               const std::string& family = "BrimLine") {
    return AddPrinter(name, family, spec.address, emulator.AddDevice(spec));
  }

  DeviceEmulator emulator;
  MemorySpooler spooler;
  MemoryRegistry registry;
  MemoryDeviceIo deviceIo;
  CurlHttpClient http;
  QueueMessagePoster poster;
  MonitorPortResolver ports{DiscoveryPlatform{spooler, registry, deviceIo}};
  SearchPlatform platform{spooler, registry, http, poster, ports};
};

}  // namespace pradex::integration
