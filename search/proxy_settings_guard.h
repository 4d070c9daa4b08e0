// Keeps the user's proxy bypass list (ProxyOverride) as this program found it.
//
// The list is read when the search engine is created. The program itself changes it only
// through AddBypassEntry (which nothing calls today); at the end it undoes exactly its own
// change, and only while the stored list is still the text it wrote. A program that changes
// the list meanwhile keeps its change, and a list that was absent stays absent as long as this
// program wrote nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/http_client.h"
#include "platform/registry.h"

namespace pradex {

inline constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr const char* kProxyOverrideValue = "ProxyOverride";
inline constexpr const char* kProxyEnableValue = "ProxyEnable";
inline constexpr const char* kLocalBypassEntry = "<local>";
inline constexpr const char* kBypassSeparator = ";";
// KEY_WRITE | KEY_QUERY_VALUE
inline constexpr std::uint32_t kSettingsKeyAccess = kKeyWrite | kKeyQueryValue;
static_assert(kSettingsKeyAccess == 0x20007);

class ProxySettingsGuard {
 public:
  // Opens the settings key and reads ProxyOverride.
  ProxySettingsGuard(Registry& registry, HttpClient& http);
  // RestoreOverride, then closes the key.
  ~ProxySettingsGuard();
  ProxySettingsGuard(const ProxySettingsGuard&) = delete;
  ProxySettingsGuard& operator=(const ProxySettingsGuard&) = delete;

  // Reads ProxyOverride into the working copy (reopening the key once when it is not open).
  // False when the key cannot be opened, the value does not exist or cannot be read.
  bool ReadOverride();
  // Opens the user's Internet settings key for query and write; true when open.
  bool OpenSettingsKey();
  // AddBypassEntry("<local>").
  bool AddLocalBypass();
  // Adds `entry` to the stored list unless it is one of its entries already (entries compare
  // without surrounding blanks and without regard to ASCII case). Starts from the list as
  // stored now, so that entries added by others stay. True when the entry is in the stored list
  // afterwards; WinInet is told after a write.
  bool AddBypassEntry(const std::string& entry);
  // Undoes this program's own change: writes back the list as it was before the first change,
  // but only while the stored list is still the text this program wrote. False only when that
  // write failed; true when there was nothing (left) to undo.
  bool RestoreOverride();
  // True when ProxyEnable reads as 1.
  bool IsProxyEnabled();

  // The list as read at construction (or before this program's first change).
  const std::string& GetSavedOverride() const { return savedOverride; }
  // The working copy.
  const std::string& GetCurrentOverride() const { return currentOverride; }
  bool IsKeyOpen() const { return settingsKey != kNoKey; }

 private:
  // 0 and the value's text, or the registry's error (kErrorFileNotFound when absent).
  long QueryOverride(std::string& text);
  bool WriteOverride(const std::string& text);
  void NotifySettingsChanged();

  Registry& registry;
  HttpClient& http;
  std::string savedOverride;
  std::string currentOverride;
  RegKey settingsKey = kNoKey;
  bool savedExists = false;                    // ProxyOverride existed when savedOverride was read
  std::optional<std::string> writtenOverride;  // the text this program wrote last, if any
};

}  // namespace pradex
