// The machine the benchmark programs search: printers in memory whose devices are emulated on
// loopback addresses, probed through the libcurl client.
#pragma once

#include <string>

#include "discovery/monitor_port_resolver.h"
#include "discovery/port_cache.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/queue_message_poster.h"
#include "platform/posix/curl_http_client.h"
#include "search/proxy_settings_guard.h"
#include "search/search_platform.h"
#include "tests/emulator/device_emulator.h"
#include "tests/fakes/memory_device_io.h"
#include "tests/fakes/memory_spooler.h"

namespace pradex::bench {

struct Machine {
  Machine() { registry.CreateKey(kHkeyCurrentUser, kInternetSettingsKey); }

  emulator::DeviceEmulator emulator;
  MemorySpooler spooler;
  MemoryRegistry registry;
  MemoryDeviceIo deviceIo;
  CurlHttpClient http;
  QueueMessagePoster poster;
  MonitorPortResolver ports{DiscoveryPlatform{spooler, registry, deviceIo}};
  SearchPlatform platform{spooler, registry, http, poster, ports};
};

// A printer named `name` whose device behaves as `spec` says, on a port of its own.
inline void AddPrinter(Machine& machine, const std::string& name, emulator::DeviceSpec spec,
                       const std::string& driver = "Tamrin BrimLine 4200") {
  const std::uint16_t port = machine.emulator.AddDevice(spec);
  const std::string portName = "IP_" + name;
  machine.spooler.AddPort(portName);
  machine.spooler.AddPrinter(PrinterInfo{std::nullopt, name, portName, driver});
  machine.registry.PutString(kHkeyLocalMachine,
                             std::string(kSystemMonitorPortsKey) + "\\" + portName, "HostName",
                             spec.address + ":" + std::to_string(port));
}

}  // namespace pradex::bench
