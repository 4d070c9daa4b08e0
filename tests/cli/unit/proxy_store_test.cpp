// On Linux the user's proxy bypass list lives in the program's in-memory store: the search's
// guard reads and restores it there.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/memory/queue_message_poster.h"
#include "search/device_search.h"
#include "search/proxy_settings_guard.h"
#include "ui/linux/linux_platform.h"

namespace pradex {
namespace {

std::optional<std::string> StoredOverride(MemoryRegistry& store) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  if (!store.GetValue(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue, &type, &bytes))
    return std::nullopt;
  std::string text(bytes.begin(), bytes.end());
  if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return text;
}

TEST(LinuxProxySettingsTest, TheSearchLeavesTheStoredBypassListAsItFoundIt) {
  LinuxPlatform platform;
  QueueMessagePoster poster;
  // Nothing stored: nothing is created.
  { DeviceSearch search(platform.Search(poster)); }
  EXPECT_FALSE(StoredOverride(platform.settings));

  platform.settings.PutString(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue,
                           "*.example;<local>");
  { DeviceSearch search(platform.Search(poster)); }
  EXPECT_EQ(StoredOverride(platform.settings), "*.example;<local>");
}

TEST(LinuxProxySettingsTest, TheGuardAddsTheLocalBypassToTheStoreAndUndoesIt) {
  LinuxPlatform platform;
  platform.settings.PutString(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue,
                           "*.example");
  {
    ProxySettingsGuard guard(platform.settings, platform.http);
    EXPECT_EQ(guard.GetSavedOverride(), "*.example");
    EXPECT_TRUE(guard.AddLocalBypass());
    EXPECT_EQ(StoredOverride(platform.settings), "*.example;<local>");
  }
  // Its own change is undone at the end.
  EXPECT_EQ(StoredOverride(platform.settings), "*.example");
}

}  // namespace
}  // namespace pradex
