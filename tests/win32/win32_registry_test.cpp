// The registry adapter against the system's registry, in a scratch key of the current user.
#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace pradex {
namespace {

const std::string kScratchKey = "Software\\Pradex Tests\\Registry";

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Pradex Tests");  // only when nothing else is left
  }

  static void CreateSubkey(const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (kScratchKey + "\\" + path).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  Win32Registry registry;
};

TEST_F(Win32RegistryTest, OpensKeysBelowEveryRootAndFailsCleanlyForMissingOnes) {
  RegKey key = 12345;
  ASSERT_EQ(registry.OpenKey(kHkeyCurrentUser, kScratchKey.c_str(), kKeyRead, &key), 0);
  EXPECT_NE(key, kNoKey);
  EXPECT_EQ(registry.CloseKey(key), 0);

  // The roots carry their 32-bit values; on 64-bit Windows the real handles are sign-extended.
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion",
                             kKeyRead, &key),
            0);
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(key, "CurrentVersion", nullptr, nullptr, &size), 0);
  EXPECT_GT(size, 0u);
  EXPECT_EQ(registry.CloseKey(key), 0);
  ASSERT_EQ(registry.OpenKey(kHkeyClassesRoot, "http", kKeyRead, &key), 0);
  EXPECT_EQ(registry.CloseKey(key), 0);

  key = 12345;
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, (kScratchKey + "\\Missing").c_str(), kKeyRead, &key),
            kErrorFileNotFound);
  EXPECT_EQ(key, kNoKey);
}

TEST_F(Win32RegistryTest, EmptySubkeyOpensTheParentAgainAndRootsCloseAsNoOps) {
  RegKey again = kNoKey;
  ASSERT_EQ(registry.OpenKey(kHkeyCurrentUser, "", kKeyRead, &again), 0);
  RegKey scratch = kNoKey;
  ASSERT_EQ(registry.OpenKey(again, kScratchKey.c_str(), kKeyRead, &scratch), 0);
  EXPECT_EQ(registry.CloseKey(scratch), 0);
  EXPECT_EQ(registry.CloseKey(again), 0);

  EXPECT_EQ(registry.CloseKey(kHkeyCurrentUser), 0);
  // The root is still usable after "closing" it.
  ASSERT_EQ(registry.OpenKey(kHkeyCurrentUser, kScratchKey.c_str(), kKeyRead, &scratch), 0);
  EXPECT_EQ(registry.CloseKey(scratch), 0);
}

TEST_F(Win32RegistryTest, TextWrittenWithoutTerminatingZeroReadsBackWithItsLength) {
  RegKey key = kNoKey;
  ASSERT_EQ(
      registry.OpenKey(kHkeyCurrentUser, kScratchKey.c_str(), kKeyWrite | kKeyQueryValue, &key), 0);
  const std::string text = "*.local;127.0.0.1;<local>";
  ASSERT_EQ(registry.SetValue(key, "ProxyOverride", kRegSz,
                              reinterpret_cast<const std::uint8_t*>(text.data()),
                              static_cast<std::uint32_t>(text.size())),
            0);

  std::uint32_t size = 0;
  ASSERT_EQ(registry.QueryValue(key, "ProxyOverride", nullptr, nullptr, &size), 0);
  EXPECT_GE(size, text.size());
  EXPECT_LE(size, text.size() + 1);
  RecordProperty("reported_length_of_unterminated_text", static_cast<int>(size));

  std::vector<std::uint8_t> buffer(size + 5, 'x');
  std::uint32_t type = 0;
  std::uint32_t bufferSize = static_cast<std::uint32_t>(buffer.size());
  ASSERT_EQ(registry.QueryValue(key, "ProxyOverride", &type, buffer.data(), &bufferSize), 0);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(bufferSize, size);
  const char* chars = reinterpret_cast<const char*>(buffer.data());
  EXPECT_EQ(std::string(chars, strnlen(chars, bufferSize)), text);

  // Too small a buffer: 234 and the length needed.
  std::uint8_t small[4] = {};
  std::uint32_t smallSize = sizeof(small);
  EXPECT_EQ(registry.QueryValue(key, "ProxyOverride", nullptr, small, &smallSize), kErrorMoreData);
  EXPECT_EQ(smallSize, size);

  // Replacing the value, and a missing value.
  const std::string shorter = "<local>";
  ASSERT_EQ(registry.SetValue(key, "ProxyOverride", kRegSz,
                              reinterpret_cast<const std::uint8_t*>(shorter.data()),
                              static_cast<std::uint32_t>(shorter.size())),
            0);
  ASSERT_EQ(registry.QueryValue(key, "ProxyOverride", nullptr, nullptr, &size), 0);
  EXPECT_LE(size, shorter.size() + 1);
  size = 77;
  EXPECT_EQ(registry.QueryValue(key, "ProxyEnable", nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(registry.CloseKey(key), 0);
}

TEST_F(Win32RegistryTest, ReadOnlyKeyRefusesWrites) {
  RegKey key = kNoKey;
  ASSERT_EQ(registry.OpenKey(kHkeyCurrentUser, kScratchKey.c_str(), kKeyRead, &key), 0);
  const std::uint8_t byte = 'a';
  EXPECT_EQ(registry.SetValue(key, "Value", kRegSz, &byte, 1), kErrorAccessDenied);
  EXPECT_EQ(registry.CloseKey(key), 0);
}

TEST_F(Win32RegistryTest, DefaultValueAndBinaryValuesReadAsBytes) {
  HKEY raw = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kScratchKey.c_str(), 0, KEY_SET_VALUE, &raw), 0);
  const char command[] = "\"C:\\Browser\\browser.exe\" -nohome";
  RegSetValueExA(raw, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(command), sizeof(command));
  const DWORD port = 9100;
  RegSetValueExA(raw, "Port Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port),
                 sizeof(port));
  RegCloseKey(raw);

  RegKey key = kNoKey;
  ASSERT_EQ(registry.OpenKey(kHkeyCurrentUser, kScratchKey.c_str(), kKeyRead, &key), 0);
  std::uint32_t size = 0;
  ASSERT_EQ(registry.QueryValue(key, "", nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, sizeof(command));
  std::vector<std::uint8_t> text(size);
  ASSERT_EQ(registry.QueryValue(key, nullptr, nullptr, text.data(), &size), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), command);

  std::uint32_t number = 0;
  std::uint32_t type = 0;
  size = sizeof(number);
  ASSERT_EQ(registry.QueryValue(key, "Port Number", &type, reinterpret_cast<std::uint8_t*>(&number),
                                &size),
            0);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(number, 9100u);
  EXPECT_EQ(registry.CloseKey(key), 0);
}

TEST_F(Win32RegistryTest, EnumeratesEverySubkeyThenReportsNoMoreItems) {
  CreateSubkey("{28d78fad}#1394_1");
  CreateSubkey("Tamrin Standard TCP/IP Port");
  CreateSubkey("alpha");
  RegKey key = kNoKey;
  ASSERT_EQ(registry.OpenKey(kHkeyCurrentUser, kScratchKey.c_str(), kKeyRead, &key), 0);

  std::vector<std::string> names;
  char name[kMaxPathBuffer];
  std::uint32_t index = 0;
  long result = 0;
  while ((result = registry.EnumKey(key, index, name, sizeof(name))) == 0) {
    names.emplace_back(name);
    ++index;
  }
  EXPECT_EQ(result, kErrorNoMoreItems);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Tamrin Standard TCP/IP Port", "alpha",
                                             "{28d78fad}#1394_1"}));

  char tiny[4];
  bool sawTooLong = false;
  for (std::uint32_t i = 0; i < 3; ++i) {
    const long r = registry.EnumKey(key, i, tiny, sizeof(tiny));
    if (r != 0) {
      EXPECT_EQ(r, kErrorMoreData);
      sawTooLong = true;
    }
  }
  EXPECT_TRUE(sawTooLong);
  EXPECT_EQ(registry.CloseKey(key), 0);
}

}  // namespace
}  // namespace pradex
