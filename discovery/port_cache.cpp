#include "discovery/port_cache.h"

#include <new>
#include <utility>

#include "discovery/ieee1394.h"
#include "discovery/modern_port.h"
#include "discovery/registry_text.h"

namespace pradex {

namespace {

// Ports of IEEE 1394 printers carry this in their name; the device itself knows its address.
constexpr const char* kIeee1394PortMark = "1394_";

}  // namespace

bool PortCache::ResolvePortAddress(const DiscoveryPlatform& platform,
                                   const PrinterInfo& printerEntry, std::string& address,
                                   std::string* portProblem) {
  if (portProblem) portProblem->clear();
  // Load and look-up are one step under portArrayLock: a cache emptied by another thread in
  // between would otherwise turn a known port into an unknown one. The name is copied out, so
  // that emptying the cache afterwards cannot pull it away.
  std::string portName;
  {
    std::lock_guard<std::recursive_mutex> arrayLock(portArrayLock);
    if (!LoadPortList(platform.spooler, printerEntry.serverName)) return false;
    // An entry without a port name is treated as a port that is not in the list.
    if (!printerEntry.portName) return false;
    std::lock_guard<std::recursive_mutex> indexLock(portIndexLock);
    const auto it = portIndex.find(*printerEntry.portName);
    if (it == portIndex.end() || !portArray || it->second >= portArray->size()) return false;
    portName = (*portArray)[it->second];
  }

  if (portName.find(kIeee1394PortMark) != std::string::npos) {
    return FindIeee1394Address(platform.registry, platform.deviceIo, portName, address);
  }

  RegKey opened = kNoKey;
  long result = kErrorBadKey;
  {
    std::lock_guard<std::recursive_mutex> indexLock(portIndexLock);
    result = OpenMonitorPortKey(platform.registry, portName, &opened);
  }
  if (result != kErrorSuccess) {
    // The TCP/IP monitors stay first and exact; WSD and IPP ports have no key of theirs.
    if (!platform.modernPorts) return false;
    std::string problem;
    if (ResolveModernPort(*platform.modernPorts, portName, address, problem)) return true;
    if (portProblem) *portProblem = std::move(problem);
    return false;
  }
  ScopedRegKey key(platform.registry, opened);

  std::string text;
  if (ReadRegistryText(platform.registry, key.get(), "IPAddress", text) && !text.empty()) {
    address = std::move(text);
    return true;
  }
  // An empty host name still counts as found.
  if (!ReadRegistryText(platform.registry, key.get(), "HostName", text)) return false;
  address = std::move(text);
  return true;
}

bool PortCache::LoadPortList(Spooler& spooler, const std::optional<std::string>& serverName) {
  // The loaded-test and the load are one step, so that two resolutions at the same time
  // cannot both load the list.
  std::lock_guard<std::recursive_mutex> arrayLock(portArrayLock);
  if (portArray) return true;
  // A failed load stands until the cache is emptied, as a loaded list does: a spooler that
  // could not give its ports is not asked again for every printer of the same search.
  if (loadFailed) return false;
  loadFailed = true;
  try {
    auto ports = std::make_unique<std::vector<std::string>>();
    if (spooler.EnumPorts(serverName, *ports) != kErrorSuccess) return false;
    // No ports at all is what the spooler reports as zero bytes needed: not loaded.
    if (ports->empty()) return false;
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < ports->size(); ++i) {
      index.emplace((*ports)[i], i);  // of two entries with one name, the first stays
    }
    std::lock_guard<std::recursive_mutex> indexLock(portIndexLock);
    portIndex = std::move(index);
    portArray = std::move(ports);
  } catch (const std::bad_alloc&) {
    return false;
  }
  loadFailed = false;
  return true;
}

long PortCache::OpenMonitorPortKey(Registry& registry, const std::string& portName, RegKey* key) {
  if (!key) return kErrorBadKey;
  // The maker's own monitor first, then the system's.
  for (const char* monitorPorts : {kMakerMonitorPortsKey, kSystemMonitorPortsKey}) {
    const std::string path = std::string(monitorPorts) + "\\" + portName;
    RegKey opened = kNoKey;
    if (registry.OpenKey(kHkeyLocalMachine, path.c_str(), kKeyRead, &opened) == kErrorSuccess) {
      *key = opened;
      return kErrorSuccess;
    }
  }
  *key = kNoKey;
  return kErrorBadKey;
}

void PortCache::ClearPortCache() {
  // Both locks, in their order, so that no one sees the index and the array out of step.
  std::lock_guard<std::recursive_mutex> arrayLock(portArrayLock);
  std::lock_guard<std::recursive_mutex> indexLock(portIndexLock);
  portIndex.clear();
  portArray.reset();
  loadFailed = false;
}

bool PortCache::IsLoaded() {
  std::lock_guard<std::recursive_mutex> arrayLock(portArrayLock);
  return portArray != nullptr;
}

PortCache& GlobalPortCache() {
  // Never destroyed: a record that outlives static destruction may still clear the cache.
  static PortCache* const cache = new PortCache();
  return *cache;
}

bool ResolvePortAddress(const DiscoveryPlatform& platform, const PrinterInfo& printerEntry,
                        std::string& address, std::string* portProblem) {
  return GlobalPortCache().ResolvePortAddress(platform, printerEntry, address, portProblem);
}

void ClearPortCache() {
  GlobalPortCache().ClearPortCache();
}

}  // namespace pradex
