// The user's proxy bypass list is left as this program found it, and only this program's own
// change is ever undone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "search_test_support.h"

namespace pradex::test {
namespace {

// Counts the writes that reach the registry.
class CountingRegistry : public Registry {
 public:
  explicit CountingRegistry(MemoryRegistry& inner) : inner_(inner) {}
  long OpenKey(RegKey parent, const char* subKey, std::uint32_t access, RegKey* result) override {
    lastAccess = access;
    return inner_.OpenKey(parent, subKey, access, result);
  }
  long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return inner_.QueryValue(key, valueName, type, data, size);
  }
  long SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    ++writes;
    return inner_.SetValue(key, valueName, type, data, size);
  }
  long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override {
    return inner_.EnumKey(key, index, name, nameSize);
  }
  long CloseKey(RegKey key) override { return inner_.CloseKey(key); }

  int writes = 0;
  std::uint32_t lastAccess = 0;

 private:
  MemoryRegistry& inner_;
};

class ProxyGuardTest : public ::testing::Test {
 protected:
  void SetUp() override { memory.CreateKey(kHkeyCurrentUser, kInternetSettingsKey); }

  void Store(const std::string& text, bool terminatingZero = true) {
    memory.PutString(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue, text,
                     terminatingZero);
  }
  bool Stored(std::uint32_t* type, std::vector<std::uint8_t>* bytes) const {
    return memory.GetValue(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue, type,
                           bytes);
  }
  std::string StoredText() const {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
    if (!Stored(&type, &bytes)) return "<absent>";
    return std::string(bytes.begin(), bytes.end());
  }
  // The settings notifications, in order.
  std::vector<std::uint32_t> Notifications() const {
    std::vector<std::uint32_t> options;
    for (const auto& call : http.Options()) {
      if (call.handle == 0) options.push_back(call.option);
    }
    return options;
  }

  MemoryRegistry memory;
  CountingRegistry registry{memory};
  FakeHttpClient http;
};

TEST_F(ProxyGuardTest, ListOfThreeEntriesIsLeftExactlyAsItWas) {
  Store("127.0.0.1;localhost;<local>");
  std::uint32_t typeBefore = 0;
  std::vector<std::uint8_t> before;
  ASSERT_TRUE(Stored(&typeBefore, &before));
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_TRUE(guard.IsKeyOpen());
    EXPECT_EQ(registry.lastAccess, 0x20007u);
    EXPECT_EQ(guard.GetSavedOverride(), "127.0.0.1;localhost;<local>");
  }
  std::uint32_t typeAfter = 0;
  std::vector<std::uint8_t> after;
  ASSERT_TRUE(Stored(&typeAfter, &after));
  EXPECT_EQ(after, before);
  EXPECT_EQ(typeAfter, typeBefore);
  EXPECT_EQ(registry.writes, 0);
  EXPECT_THAT(Notifications(), ::testing::IsEmpty());
  EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(ProxyGuardTest, AbsentListStaysAbsent) {
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_EQ(guard.GetSavedOverride(), "");
    EXPECT_FALSE(guard.ReadOverride());
  }
  EXPECT_EQ(StoredText(), "<absent>");
  EXPECT_EQ(registry.writes, 0);
}

TEST_F(ProxyGuardTest, ChangeByAnotherProgramDuringTheRunIsKept) {
  Store("127.0.0.1");
  {
    ProxySettingsGuard guard(registry, http);
    Store("127.0.0.1;*.example.test", false);
  }
  EXPECT_EQ(StoredText(), "127.0.0.1;*.example.test");
  EXPECT_EQ(registry.writes, 0);
}

TEST_F(ProxyGuardTest, KeyThatCannotBeOpenedLeavesTheSettingsUntouched) {
  Store("localhost");
  memory.DenyAccess(kHkeyCurrentUser, kInternetSettingsKey, kKeySetValue);
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_FALSE(guard.IsKeyOpen());
    EXPECT_EQ(guard.GetSavedOverride(), "");
    EXPECT_FALSE(guard.ReadOverride());
    EXPECT_FALSE(guard.AddLocalBypass());
    EXPECT_FALSE(guard.IsProxyEnabled());
  }
  memory.DenyAccess(kHkeyCurrentUser, kInternetSettingsKey, 0);
  EXPECT_EQ(StoredText(), std::string("localhost") + '\0');
  EXPECT_EQ(registry.writes, 0);
  EXPECT_THAT(Notifications(), ::testing::IsEmpty());
}

TEST_F(ProxyGuardTest, ReadStopsAtTheFirstZeroByte) {
  Store("a;b", false);
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_EQ(guard.GetCurrentOverride(), "a;b");
  }
  memory.PutBytes(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue, kRegSz,
                  {'x', ';', 'y', 0, 'z'});
  ProxySettingsGuard guard(registry, http);
  EXPECT_EQ(guard.GetCurrentOverride(), "x;y");
}

TEST_F(ProxyGuardTest, OwnEntryIsAddedOnceAndUndoneAtTheEnd) {
  Store("127.0.0.10;localhost");
  {
    ProxySettingsGuard guard(registry, http);
    // Whole entries count, not substrings: "127.0.0.1" is not in the list yet.
    EXPECT_TRUE(guard.AddBypassEntry("127.0.0.1"));
    EXPECT_EQ(StoredText(), "127.0.0.10;localhost;127.0.0.1");
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(Stored(&type, &bytes));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(bytes.size(), 30u);  // no terminating zero
    EXPECT_THAT(Notifications(), ::testing::ElementsAre(39u, 37u));

    EXPECT_TRUE(guard.AddBypassEntry(" LOCALHOST "));  // present already: no write
    EXPECT_EQ(registry.writes, 1);
  }
  EXPECT_EQ(StoredText(), "127.0.0.10;localhost");
  EXPECT_EQ(registry.writes, 2);
  EXPECT_THAT(Notifications(), ::testing::ElementsAre(39u, 37u, 39u, 37u));
}

TEST_F(ProxyGuardTest, OwnChangeOverwrittenByAnotherProgramIsNotUndone) {
  Store("localhost");
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_TRUE(guard.AddLocalBypass());
    EXPECT_EQ(StoredText(), "localhost;<local>");
    Store("127.0.0.1", false);
  }
  EXPECT_EQ(StoredText(), "127.0.0.1");
  EXPECT_EQ(registry.writes, 1);
}

TEST_F(ProxyGuardTest, EntryAddedToAnAbsentListStartsWithoutSeparator) {
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_TRUE(guard.AddLocalBypass());
    EXPECT_EQ(StoredText(), "<local>");
  }
  // The value cannot be removed through the registry interface; an empty list bypasses
  // nothing, as an absent one does.
  EXPECT_EQ(StoredText(), "");
}

TEST_F(ProxyGuardTest, EntriesAddedByOthersBeforeOurChangeStay) {
  Store("localhost");
  {
    ProxySettingsGuard guard(registry, http);
    Store("localhost;127.0.0.2", false);
    EXPECT_TRUE(guard.AddLocalBypass());
    EXPECT_EQ(StoredText(), "localhost;127.0.0.2;<local>");
  }
  EXPECT_EQ(StoredText(), "localhost;127.0.0.2");
}

TEST_F(ProxyGuardTest, ProxyEnableIsReadAsANumber) {
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_FALSE(guard.IsProxyEnabled());  // absent
  }
  memory.PutDword(kHkeyCurrentUser, kInternetSettingsKey, kProxyEnableValue, 1);
  {
    ProxySettingsGuard guard(registry, http);
    EXPECT_TRUE(guard.IsProxyEnabled());
  }
  memory.PutDword(kHkeyCurrentUser, kInternetSettingsKey, kProxyEnableValue, 0);
  ProxySettingsGuard guard(registry, http);
  EXPECT_FALSE(guard.IsProxyEnabled());
}

// The search engine owns a guard for its whole life; searching changes nothing.
TEST_F(ProxyGuardTest, SearchEngineLeavesTheListAsItWas) {
  Store("127.0.0.1;localhost;<local>");
  MemorySpooler spooler;
  MemoryDeviceIo deviceIo;
  QueueMessagePoster poster;
  const SearchPlatform platform{spooler, registry, deviceIo, http, poster};
  {
    DeviceSearch search(platform);
    search.Run(kWindow);
  }
  EXPECT_EQ(StoredText(), std::string("127.0.0.1;localhost;<local>") + '\0');
  EXPECT_EQ(registry.writes, 0);
  EXPECT_THAT(Notifications(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace pradex::test
