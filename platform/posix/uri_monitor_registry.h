// The system TCP/IP port monitor's port keys as CUPS would hold them: on Linux the ports are
// the queues' device URIs, and the address behind a port is the URI's host. This view lets
// the port resolution read them through the registry, unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace pradex {

// A Registry that answers one family of keys itself and hands everything else to another
// Registry:
//
//   HKEY_LOCAL_MACHINE \ <system TCP/IP monitor's Ports key> \ <device URI>
//
// (the path prefix matched without regard to case, the rest taken whole as the URI, '/' and
// ':' included). For a URI whose host ParseDeviceUriHost finds, the key exists, is read-only,
// has no subkeys and holds, as REG_SZ with a terminating zero:
//   "HostName"  = the host (IPv6 literals in brackets; never credentials or a port)
//   "IPAddress" = the same text, only when the host is an IPv4 address.
// Every other URI below that key (usb:, file:, dnssd:, malformed ones) gives
// kErrorFileNotFound; the wrapped registry is not asked for such paths. The maker's monitor
// key is not answered here (no such monitor exists on Linux), so a lookup there reaches the
// wrapped registry and normally falls through to the system monitor.
//
// Keys of the view are opened relative to HKEY_LOCAL_MACHINE only, the way the port
// resolution opens them. Handles: every key opened through the view gets a handle of the
// view's own, also when the wrapped registry opened it, so the two handle spaces cannot
// collide; the predefined roots pass through as they are. A view key honours the access it
// was opened with like the registry does (values need kKeyQueryValue, enumeration
// kKeyEnumerateSubKeys); SetValue on it gives kErrorAccessDenied. Thread-safe when the
// wrapped registry is.
class DeviceUriResolver;

// With a DeviceUriResolver, a URI that it knows (DNS-SD names, cups-browsed and print-server
// queues, ipp-usb's loopback port, wrapper backends) gets the key the resolver found for it
// ("IPAddress" = the address the lookup returned, "HostName" = the host), or no key when the
// resolver could not resolve it; the rule above applies to the URIs it knows nothing about.
class UriMonitorRegistry : public Registry {
 public:
  // `inner` (and `resolver`, when given) must outlive the view.
  explicit UriMonitorRegistry(Registry& inner, const DeviceUriResolver* resolver = nullptr);
  // Closes the wrapped registry's keys that are still open through the view.
  ~UriMonitorRegistry() override;
  UriMonitorRegistry(const UriMonitorRegistry&) = delete;
  UriMonitorRegistry& operator=(const UriMonitorRegistry&) = delete;

  long OpenKey(RegKey parent, const char* subKey, std::uint32_t access, RegKey* result) override;
  long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override;
  long SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override;
  long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
  long CloseKey(RegKey key) override;

 private:
  struct Value {
    std::string name;
    std::vector<std::uint8_t> bytes;
  };
  // A port key of the view; shared by every handle opened on it.
  struct PortKey {
    std::vector<Value> values;
  };
  struct Handle {
    RegKey inner = kNoKey;                // a key of the wrapped registry, or
    std::shared_ptr<const PortKey> port;  // a key of the view
    std::uint32_t access = 0;
  };

  // The port key for `subKey` below HKEY_LOCAL_MACHINE when the path lies in the view's
  // family: a key (URI with a network host) or null (no such key). nullopt: not the view's.
  std::optional<std::shared_ptr<const PortKey>> ViewKeyFor(const char* subKey) const;
  RegKey AddHandle(Handle handle);
  std::optional<Handle> FindHandle(RegKey key) const;

  Registry& wrapped;
  const DeviceUriResolver* resolver;
  mutable std::mutex mutex;
  std::map<RegKey, Handle> handles;
  RegKey nextHandle = 0x10;
};

}  // namespace pradex
