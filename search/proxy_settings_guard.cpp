#include "search/proxy_settings_guard.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace pradex {

namespace {

// A bypass list longer than this is not a list anyone typed; refuse it rather than allocate.
constexpr std::uint32_t kMaxOverrideLength = 1u << 20;

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Whether `entry` is one of the ';'-separated entries of `list`. A plain substring test would
// take "10.1.1.1" for present in "10.1.1.10".
bool ListHasEntry(std::string_view list, std::string_view entry) {
  const std::string_view wanted = Trim(entry);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(kBypassSeparator[0], start);
    if (end == std::string_view::npos) end = list.size();
    if (EqualsIgnoringAsciiCase(Trim(list.substr(start, end - start)), wanted)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

ProxySettingsGuard::ProxySettingsGuard(Registry& registryIn, HttpClient& httpIn)
    : registry(registryIn), http(httpIn) {
  OpenSettingsKey();
  savedExists = ReadOverride();
  savedOverride = currentOverride;
}

ProxySettingsGuard::~ProxySettingsGuard() {
  RestoreOverride();
  if (settingsKey != kNoKey) {
    registry.CloseKey(settingsKey);
    settingsKey = kNoKey;
  }
}

bool ProxySettingsGuard::OpenSettingsKey() {
  if (settingsKey != kNoKey) return true;
  RegKey key = kNoKey;
  if (registry.OpenKey(kHkeyCurrentUser, kInternetSettingsKey, kSettingsKeyAccess, &key) !=
      kErrorSuccess) {
    return false;
  }
  settingsKey = key;
  return true;
}

long ProxySettingsGuard::QueryOverride(std::string& text) {
  if (settingsKey == kNoKey && !OpenSettingsKey()) return kErrorInvalidHandle;
  std::uint32_t length = 0;
  long result = registry.QueryValue(settingsKey, kProxyOverrideValue, nullptr, nullptr, &length);
  if (result != kErrorSuccess) return result;
  if (length == 0) {
    text.clear();
    return kErrorSuccess;
  }
  if (length > kMaxOverrideLength) return kErrorMoreData;
  // A little more room than reported, in case the value grows between the two reads.
  std::vector<std::uint8_t> buffer(length + 10, 0);
  std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
  result = registry.QueryValue(settingsKey, kProxyOverrideValue, nullptr, buffer.data(), &size);
  if (result != kErrorSuccess) return result;
  const auto* begin = reinterpret_cast<const char*>(buffer.data());
  const auto* end = begin + std::min<std::size_t>(size, buffer.size());
  text.assign(begin, std::find(begin, end, '\0'));
  return kErrorSuccess;
}

bool ProxySettingsGuard::ReadOverride() {
  std::string text;
  if (QueryOverride(text) != kErrorSuccess) return false;
  currentOverride = std::move(text);
  return true;
}

bool ProxySettingsGuard::AddLocalBypass() {
  return AddBypassEntry(kLocalBypassEntry);
}

bool ProxySettingsGuard::AddBypassEntry(const std::string& entry) {
  if (Trim(entry).empty()) return true;
  std::string stored;
  const long read = QueryOverride(stored);
  if (settingsKey == kNoKey) return false;
  const bool exists = read == kErrorSuccess;
  // Absent is an empty list; an unreadable value is left alone.
  if (!exists && read != kErrorFileNotFound) return false;
  currentOverride = exists ? stored : std::string();
  if (ListHasEntry(currentOverride, entry)) return true;

  const std::string updated =
      currentOverride.empty() ? entry : currentOverride + kBypassSeparator + entry;
  if (!writtenOverride) {
    // What to put back at the end: the list just before this program's first change.
    savedOverride = currentOverride;
    savedExists = exists;
  }
  if (!WriteOverride(updated)) return false;
  currentOverride = updated;
  writtenOverride = updated;
  NotifySettingsChanged();
  return true;
}

bool ProxySettingsGuard::RestoreOverride() {
  if (!writtenOverride) return true;  // this program changed nothing
  std::string stored;
  if (QueryOverride(stored) != kErrorSuccess || stored != *writtenOverride) {
    // Someone changed the list after us; theirs is the newer word.
    writtenOverride.reset();
    return true;
  }
  // A list that did not exist before our change cannot be removed through this interface; an
  // empty list bypasses nothing, which is what an absent one does.
  if (!WriteOverride(savedExists ? savedOverride : std::string())) return false;
  writtenOverride.reset();
  currentOverride = savedOverride;
  NotifySettingsChanged();
  return true;
}

bool ProxySettingsGuard::IsProxyEnabled() {
  if (settingsKey == kNoKey && !OpenSettingsKey()) return false;
  std::uint8_t data[4] = {0, 0, 0, 0};
  std::uint32_t size = sizeof(data);
  if (registry.QueryValue(settingsKey, kProxyEnableValue, nullptr, data, &size) != kErrorSuccess) {
    return false;
  }
  const std::uint32_t value =
      static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
      (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  return value == 1;
}

bool ProxySettingsGuard::WriteOverride(const std::string& text) {
  if (settingsKey == kNoKey) return false;
  // REG_SZ, stored without a terminating zero.
  return registry.SetValue(settingsKey, kProxyOverrideValue, kRegSz,
                           reinterpret_cast<const std::uint8_t*>(text.data()),
                           static_cast<std::uint32_t>(text.size())) == kErrorSuccess;
}

void ProxySettingsGuard::NotifySettingsChanged() {
  http.SetOption(0, kInternetOptionSettingsChanged, nullptr, 0);
  http.SetOption(0, kInternetOptionRefresh, nullptr, 0);
}

}  // namespace pradex
