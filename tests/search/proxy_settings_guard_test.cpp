// The user's proxy bypass list is left as this program found it, and only this program's own
// change is ever undone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "search_test_support.h"

namespace pradex::test {
namespace {

// Counts the writes that reach the registry.
class CountingRegistry : public Registry {
 public:
  explicit CountingRegistry(MemoryRegistry& inner) : inner(inner) {}
  long OpenKey(RegKey parent, const char* subKey, std::uint32_t access, RegKey* result) override {
    lastAccess = access;
    return inner.OpenKey(parent, subKey, access, result);
  }
  long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return inner.QueryValue(key, valueName, type, data, size);
  }
  long SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    ++writes;
    return inner.SetValue(key, valueName, type, data, size);
  }
  long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override {
    return inner.EnumKey(key, index, name, nameSize);
  }
  long CloseKey(RegKey key) override { return inner.CloseKey(key); }

  int writes = 0;
  std::uint32_t lastAccess = 0;

 private:
  MemoryRegistry& inner;
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

// Without a change of its own the guard writes nothing and tells WinInet nothing, whatever the
// stored list is and whatever another program does to it meanwhile.
TEST(ProxyGuardWithoutChangeTest, NeverWrites) {
  struct Case {
    const char* name;
    std::optional<std::string> before;  // nullopt: absent
    std::optional<std::string> during;  // written by another program while the guard lives
    std::string after;
  };
  const Case cases[] = {
      {"three entries", "127.0.0.1;localhost;<local>", std::nullopt,
       std::string("127.0.0.1;localhost;<local>") + '\0'},
      {"absent", std::nullopt, std::nullopt, "<absent>"},
      {"changed by another program", "127.0.0.1", "127.0.0.1;*.example.test",
       "127.0.0.1;*.example.test"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRegistry memory;
    memory.CreateKey(kHkeyCurrentUser, kInternetSettingsKey);
    CountingRegistry registry{memory};
    FakeHttpClient http;
    const auto store = [&memory](const std::string& text, bool terminatingZero) {
      memory.PutString(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue, text,
                       terminatingZero);
    };
    if (c.before) store(*c.before, true);
    {
      ProxySettingsGuard guard(registry, http);
      EXPECT_TRUE(guard.IsKeyOpen());
      EXPECT_EQ(registry.lastAccess, kSettingsKeyAccess);
      EXPECT_EQ(guard.GetSavedOverride(), c.before.value_or(""));
      if (c.during) store(*c.during, false);
    }
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
    const bool present =
        memory.GetValue(kHkeyCurrentUser, kInternetSettingsKey, kProxyOverrideValue, &type, &bytes);
    EXPECT_EQ(present ? std::string(bytes.begin(), bytes.end()) : "<absent>", c.after);
    EXPECT_EQ(registry.writes, 0);
    EXPECT_TRUE(http.Options().empty()) << "no settings notification";
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
  }
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

}  // namespace
}  // namespace pradex::test
