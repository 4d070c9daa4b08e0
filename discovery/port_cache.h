// Resolution of a printer's port into a host name or IPv4 address, with the process-wide
// cache of the spooler's port list.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_io.h"
#include "platform/modern_ports.h"
#include "platform/monitor_keys.h"
#include "platform/registry.h"
#include "platform/spooler.h"

namespace pradex {

// What discovery needs of the system.
struct DiscoveryPlatform {
  Spooler& spooler;
  Registry& registry;
  DeviceIo& deviceIo;
  // The WSD and IPP ports of a platform that has them; asked only for ports that neither
  // TCP/IP monitor knows.
  ModernPorts* modernPorts = nullptr;
};

class PortCache {
 public:
  PortCache() = default;
  PortCache(const PortCache&) = delete;
  PortCache& operator=(const PortCache&) = delete;

  // True and `address` set when the printer's port resolved to an address. On false, when
  // `portProblem` is given, it says why, worded for people, if more can be said than that the
  // port was not resolved ("" otherwise).
  bool ResolvePortAddress(const DiscoveryPlatform& platform, const PrinterInfo& printerEntry,
                          std::string& address, std::string* portProblem = nullptr);
  // Loads the port list of `serverName` unless it is loaded already; true when loaded. After a
  // failed load it answers false without asking the spooler until ClearPortCache.
  bool LoadPortList(Spooler& spooler, const std::optional<std::string>& serverName);
  // 0 and an open key (the caller closes it), or kErrorBadKey and kNoKey.
  long OpenMonitorPortKey(Registry& registry, const std::string& portName, RegKey* key);
  void ClearPortCache();
  bool IsLoaded();

 private:
  std::recursive_mutex portArrayLock;  // taken before portIndexLock
  std::recursive_mutex portIndexLock;
  std::unique_ptr<std::vector<std::string>> portArray;
  std::map<std::string, std::size_t> portIndex;  // port name -> its entry in portArray
  bool loadFailed = false;                       // guarded by portArrayLock
};

// The process-wide cache and the operations on it.
PortCache& GlobalPortCache();
bool ResolvePortAddress(const DiscoveryPlatform& platform, const PrinterInfo& printerEntry,
                        std::string& address, std::string* portProblem = nullptr);
void ClearPortCache();

}  // namespace pradex
