#include "platform/posix/uri_monitor_registry.h"

#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "platform/monitor_keys.h"
#include "platform/posix/device_uri.h"
#include "platform/posix/device_uri_resolver.h"

namespace pradex {

namespace {

// HKEY_CLASSES_ROOT and the other predefined roots; the view never hands out these values.
bool IsPredefinedRoot(RegKey key) {
  return key >= 0x80000000u && key <= 0x800000FFu;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// A REG_SZ value as the Windows monitor stores it: the text and its terminating zero.
std::vector<std::uint8_t> StringBytes(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

}  // namespace

UriMonitorRegistry::UriMonitorRegistry(Registry& inner, const DeviceUriResolver* resolver)
    : wrapped(inner), resolver(resolver) {}

UriMonitorRegistry::~UriMonitorRegistry() {
  for (const auto& [key, handle] : handles)
    if (handle.inner != kNoKey) wrapped.CloseKey(handle.inner);
}

std::optional<std::shared_ptr<const UriMonitorRegistry::PortKey>> UriMonitorRegistry::ViewKeyFor(
    const char* subKey) const {
  if (!subKey) return std::nullopt;
  const std::string_view path(subKey);
  const std::string_view prefix(kSystemMonitorPortsKey);
  if (path.size() <= prefix.size() + 1 || path[prefix.size()] != '\\' ||
      !EqualsIgnoreCase(path.substr(0, prefix.size()), prefix))
    return std::nullopt;

  const std::string uri(path.substr(prefix.size() + 1));
  if (resolver) {
    if (std::optional<PortResolution> outcome = resolver->Find(uri)) {
      if (!outcome->Resolved()) return std::shared_ptr<const PortKey>();
      auto key = std::make_shared<PortKey>();
      if (outcome->ipAddress)
        key->values.push_back({"IPAddress", StringBytes(*outcome->ipAddress)});
      key->values.push_back({"HostName", StringBytes(outcome->hostName)});
      return std::shared_ptr<const PortKey>(std::move(key));
    }
  }
  const std::optional<UriHost> host = ParseDeviceUriHost(uri);
  if (!host) return std::shared_ptr<const PortKey>();
  auto key = std::make_shared<PortKey>();
  if (host->ipv4Literal) key->values.push_back({"IPAddress", StringBytes(host->host)});
  key->values.push_back({"HostName", StringBytes(host->host)});
  return std::shared_ptr<const PortKey>(std::move(key));
}

RegKey UriMonitorRegistry::AddHandle(Handle handle) {
  std::lock_guard<std::mutex> lock(mutex);
  RegKey key;
  do {
    key = nextHandle;
    nextHandle += 4;
  } while (key == kNoKey || IsPredefinedRoot(key) || handles.count(key) != 0);
  handles.emplace(key, std::move(handle));
  return key;
}

std::optional<UriMonitorRegistry::Handle> UriMonitorRegistry::FindHandle(RegKey key) const {
  std::lock_guard<std::mutex> lock(mutex);
  const auto it = handles.find(key);
  if (it == handles.end()) return std::nullopt;
  return it->second;
}

long UriMonitorRegistry::OpenKey(RegKey parent, const char* subKey, std::uint32_t access,
                                 RegKey* result) {
  if (!result) return kErrorInvalidParameter;
  *result = kNoKey;
  RegKey innerParent = parent;
  try {
    if (IsPredefinedRoot(parent)) {
      if (parent == kHkeyLocalMachine) {
        if (auto viewKey = ViewKeyFor(subKey)) {
          if (!*viewKey) return kErrorFileNotFound;
          *result = AddHandle(Handle{kNoKey, std::move(*viewKey), access});
          return kErrorSuccess;
        }
      }
    } else {
      const std::optional<Handle> handle = FindHandle(parent);
      if (!handle) return kErrorInvalidHandle;
      if (handle->port) {
        // A port key has no subkeys; an empty path opens it once more.
        if (subKey && *subKey) return kErrorFileNotFound;
        *result = AddHandle(Handle{kNoKey, handle->port, access});
        return kErrorSuccess;
      }
      innerParent = handle->inner;
    }
  } catch (const std::bad_alloc&) {
    return kErrorOutOfMemory;
  }

  RegKey innerKey = kNoKey;
  const long rc = wrapped.OpenKey(innerParent, subKey, access, &innerKey);
  if (rc != kErrorSuccess) return rc;
  try {
    *result = AddHandle(Handle{innerKey, nullptr, access});
  } catch (const std::bad_alloc&) {
    wrapped.CloseKey(innerKey);
    return kErrorOutOfMemory;
  }
  return kErrorSuccess;
}

long UriMonitorRegistry::QueryValue(RegKey key, const char* valueName, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* size) {
  if (IsPredefinedRoot(key)) return wrapped.QueryValue(key, valueName, type, data, size);
  const std::optional<Handle> handle = FindHandle(key);
  if (!handle) return kErrorInvalidHandle;
  if (!handle->port) return wrapped.QueryValue(handle->inner, valueName, type, data, size);

  if ((handle->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (data && !size) return kErrorInvalidParameter;
  const std::string_view name = valueName ? valueName : "";
  for (const Value& value : handle->port->values) {
    if (!EqualsIgnoreCase(value.name, name)) continue;
    const auto length = static_cast<std::uint32_t>(value.bytes.size());
    if (type) *type = kRegSz;
    if (!data) {
      if (size) *size = length;
      return kErrorSuccess;
    }
    if (*size < length) {
      *size = length;
      return kErrorMoreData;
    }
    std::memcpy(data, value.bytes.data(), length);
    *size = length;
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

long UriMonitorRegistry::SetValue(RegKey key, const char* valueName, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t size) {
  if (IsPredefinedRoot(key)) return wrapped.SetValue(key, valueName, type, data, size);
  const std::optional<Handle> handle = FindHandle(key);
  if (!handle) return kErrorInvalidHandle;
  // The ports are the spooler's; their addresses change with the queues, not here.
  if (handle->port) return kErrorAccessDenied;
  return wrapped.SetValue(handle->inner, valueName, type, data, size);
}

long UriMonitorRegistry::EnumKey(RegKey key, std::uint32_t index, char* name,
                                 std::uint32_t nameSize) {
  if (IsPredefinedRoot(key)) return wrapped.EnumKey(key, index, name, nameSize);
  const std::optional<Handle> handle = FindHandle(key);
  if (!handle) return kErrorInvalidHandle;
  if (!handle->port) return wrapped.EnumKey(handle->inner, index, name, nameSize);
  if ((handle->access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
  return kErrorNoMoreItems;
}

long UriMonitorRegistry::CloseKey(RegKey key) {
  if (IsPredefinedRoot(key)) return wrapped.CloseKey(key);
  Handle handle;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = handles.find(key);
    if (it == handles.end()) return kErrorInvalidHandle;
    handle = std::move(it->second);
    handles.erase(it);
  }
  if (handle.inner != kNoKey) return wrapped.CloseKey(handle.inner);
  return kErrorSuccess;
}

}  // namespace pradex
