#include "platform/memory/memory_registry.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace pradex {
namespace {

constexpr const char* kPortsPath = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Ports";

class MemoryRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(registry.OpenHandleCount(), 0u); }

  RegKey Open(RegKey parent, const char* path, std::uint32_t access = kKeyRead) {
    RegKey key = kNoKey;
    EXPECT_EQ(registry.OpenKey(parent, path, access, &key), kErrorSuccess) << path;
    return key;
  }

  // The bytes of a value read with a buffer of `bufferSize`, the result and the size out.
  struct Read {
    long result;
    std::uint32_t size;
    std::vector<std::uint8_t> bytes;
  };
  Read ReadValue(RegKey key, const char* name, std::uint32_t bufferSize) {
    std::vector<std::uint8_t> buffer(bufferSize, 0xEE);
    std::uint32_t size = bufferSize;
    const long result = registry.QueryValue(key, name, nullptr, buffer.data(), &size);
    return Read{result, size, buffer};
  }

  MemoryRegistry registry;
};

TEST_F(MemoryRegistryTest, OpensKeysByPathWithCaseInsensitiveNamesAndEmptyComponents) {
  registry.PutString(kHkeyLocalMachine, kPortsPath, "HostName", "alpha");
  for (const char* path : {"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Ports",
                           "system\\currentcontrolset\\CONTROL\\print\\monitors\\ports",
                           "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Ports\\",
                           "SYSTEM\\\\CurrentControlSet\\Control\\\\Print\\Monitors\\Ports"}) {
    ScopedRegKey key(registry, Open(kHkeyLocalMachine, path));
    std::array<std::uint8_t, 16> buffer{};
    std::uint32_t size = buffer.size();
    EXPECT_EQ(registry.QueryValue(key.get(), "hostname", nullptr, buffer.data(), &size),
              kErrorSuccess)
        << path;
    EXPECT_EQ(size, 6u);
  }
  // A key named "#" below an instance, reached with a trailing separator.
  registry.PutString(kHkeyLocalMachine, "Classes\\inst\\#", "SymbolicLink", "link");
  ScopedRegKey classes(registry, Open(kHkeyLocalMachine, "Classes"));
  ScopedRegKey hash(registry, Open(classes.get(), "inst\\#\\"));
  EXPECT_EQ(ReadValue(hash.get(), "SymbolicLink", 260).size, 5u);
}

TEST_F(MemoryRegistryTest, OpenKeyFailures) {
  registry.CreateKey(kHkeyLocalMachine, "Present");
  RegKey key = 0x1234;
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Present\\Missing", kKeyRead, &key),
            kErrorFileNotFound);
  EXPECT_EQ(key, kNoKey);
  // Each root is a tree of its own.
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Present", kKeyRead, &key), kErrorFileNotFound);
  EXPECT_EQ(registry.OpenKey(0x4321, "Present", kKeyRead, &key), kErrorInvalidHandle);
  EXPECT_EQ(key, kNoKey);
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Present", kKeyRead, nullptr),
            kErrorInvalidParameter);
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(MemoryRegistryTest, EmptySubKeyOpensANewHandleToTheSameKey) {
  registry.PutDword(kHkeyCurrentUser, "Settings", "Number", 7);
  ScopedRegKey settings(registry, Open(kHkeyCurrentUser, "Settings"));
  ScopedRegKey again(registry, Open(settings.get(), ""));
  ScopedRegKey viaNull(registry, Open(settings.get(), nullptr));
  EXPECT_NE(again.get(), settings.get());
  EXPECT_NE(viaNull.get(), again.get());
  EXPECT_EQ(ReadValue(again.get(), "Number", 4).result, kErrorSuccess);
  EXPECT_EQ(ReadValue(viaNull.get(), "Number", 4).result, kErrorSuccess);
  EXPECT_EQ(registry.OpenHandleCount(), 3u);
}

TEST_F(MemoryRegistryTest, QueryValueSizeProtocol) {
  registry.PutString(kHkeyLocalMachine, "K", "Text", "abcd");  // 5 bytes with the zero
  ScopedRegKey key(registry, Open(kHkeyLocalMachine, "K"));

  std::uint32_t type = 99;
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(key.get(), "Text", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(type, kRegSz);

  const Read tooSmall = ReadValue(key.get(), "Text", 4);
  EXPECT_EQ(tooSmall.result, kErrorMoreData);
  EXPECT_EQ(tooSmall.size, 5u);
  EXPECT_EQ(tooSmall.bytes, std::vector<std::uint8_t>(4, 0xEE)) << "buffer left alone";

  const Read exact = ReadValue(key.get(), "Text", 5);
  EXPECT_EQ(exact.result, kErrorSuccess);
  EXPECT_EQ(exact.size, 5u);
  EXPECT_EQ(exact.bytes, (std::vector<std::uint8_t>{'a', 'b', 'c', 'd', 0}));

  const Read missing = ReadValue(key.get(), "Other", 16);
  EXPECT_EQ(missing.result, kErrorFileNotFound);

  // A size pointer is required with a buffer.
  std::uint8_t byte = 0;
  EXPECT_EQ(registry.QueryValue(key.get(), "Text", nullptr, &byte, nullptr),
            kErrorInvalidParameter);
  EXPECT_EQ(registry.QueryValue(0x999, "Text", nullptr, nullptr, &size), kErrorInvalidHandle);
}

TEST_F(MemoryRegistryTest, NoTerminatingZeroIsAddedToStoredBytes) {
  registry.PutString(kHkeyLocalMachine, "K", "Bare", "abc", /*storeTerminatingZero=*/false);
  registry.PutBytes(kHkeyLocalMachine, "K", "Binary", kRegBinary, {'1', 0, '2'});
  ScopedRegKey key(registry, Open(kHkeyLocalMachine, "K"));

  const Read bare = ReadValue(key.get(), "Bare", 8);
  EXPECT_EQ(bare.result, kErrorSuccess);
  EXPECT_EQ(bare.size, 3u);
  EXPECT_EQ(bare.bytes, (std::vector<std::uint8_t>{'a', 'b', 'c', 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(ReadValue(key.get(), "Bare", 3).result, kErrorSuccess);

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(key.get(), "binary", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(size, 3u);
}

TEST_F(MemoryRegistryTest, DefaultValueAndValueNamesIgnoreCase) {
  registry.PutString(kHkeyClassesRoot, "http\\shell\\open\\command", "", "browser %1");
  registry.PutString(kHkeyClassesRoot, "http\\shell\\open\\command", "IPAddress", "first");
  registry.PutString(kHkeyClassesRoot, "http\\shell\\open\\command", "ipaddress", "second!");
  ScopedRegKey key(registry, Open(kHkeyClassesRoot, "HTTP\\Shell\\Open\\Command"));
  EXPECT_EQ(ReadValue(key.get(), nullptr, 260).size, 11u);
  EXPECT_EQ(ReadValue(key.get(), "", 260).size, 11u);
  EXPECT_EQ(ReadValue(key.get(), "IPADDRESS", 260).size, 8u) << "one value, replaced";
}

TEST_F(MemoryRegistryTest, PutDwordStoresFourLittleEndianBytes) {
  registry.PutDword(kHkeyLocalMachine, "K", "Port Number", 0x01020304);
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(registry.GetValue(kHkeyLocalMachine, "k", "port number", &type, &bytes));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{4, 3, 2, 1}));
}

TEST_F(MemoryRegistryTest, SetValueCreatesAndReplacesWithWriteAccessOnly) {
  registry.CreateKey(kHkeyCurrentUser, "Internet Settings");
  ScopedRegKey writable(registry,
                        Open(kHkeyCurrentUser, "Internet Settings", kKeyWrite | kKeyQueryValue));
  const std::string text = "<local>";
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  EXPECT_EQ(registry.SetValue(writable.get(), "ProxyOverride", kRegSz, data, 7), kErrorSuccess);
  EXPECT_EQ(registry.SetValue(writable.get(), "proxyoverride", kRegSz, data, 3), kErrorSuccess);
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(
      registry.GetValue(kHkeyCurrentUser, "Internet Settings", "ProxyOverride", nullptr, &bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'<', 'l', 'o'}));

  ScopedRegKey readOnly(registry, Open(kHkeyCurrentUser, "Internet Settings", kKeyRead));
  EXPECT_EQ(registry.SetValue(readOnly.get(), "ProxyOverride", kRegSz, data, 7),
            kErrorAccessDenied);
  ScopedRegKey writeOnly(registry, Open(kHkeyCurrentUser, "Internet Settings", kKeyWrite));
  EXPECT_EQ(ReadValue(writeOnly.get(), "ProxyOverride", 16).result, kErrorAccessDenied);
}

TEST_F(MemoryRegistryTest, EnumKeyIsSortedLikeWindowsAndChecksTheBuffer) {
  for (const char* name : {"gamma", "_under", "Beta", "alpha", "Zeta", "10", "9"}) {
    registry.CreateKey(kHkeyLocalMachine, std::string("Class\\") + name);
  }
  ScopedRegKey key(registry, Open(kHkeyLocalMachine, "Class"));
  std::vector<std::string> names;
  std::array<char, 260> name{};
  std::uint32_t index = 0;
  while (registry.EnumKey(key.get(), index, name.data(), name.size()) == kErrorSuccess) {
    names.emplace_back(name.data());
    ++index;
  }
  // Compared by upper-case form: '_' sorts after the letters.
  EXPECT_EQ(names,
            (std::vector<std::string>{"10", "9", "alpha", "Beta", "gamma", "Zeta", "_under"}));
  EXPECT_EQ(registry.EnumKey(key.get(), 7, name.data(), name.size()), kErrorNoMoreItems);
  EXPECT_EQ(registry.EnumKey(key.get(), 1000, name.data(), name.size()), kErrorNoMoreItems);

  // "alpha" needs six bytes with its zero.
  std::array<char, 6> small{};
  EXPECT_EQ(registry.EnumKey(key.get(), 2, small.data(), 5), kErrorMoreData);
  EXPECT_EQ(registry.EnumKey(key.get(), 2, small.data(), 6), kErrorSuccess);
  EXPECT_STREQ(small.data(), "alpha");

  ScopedRegKey noEnum(registry, Open(kHkeyLocalMachine, "Class", kKeyQueryValue));
  EXPECT_EQ(registry.EnumKey(noEnum.get(), 0, name.data(), name.size()), kErrorAccessDenied);
}

TEST_F(MemoryRegistryTest, HandlesKeepWorkingAfterTheKeyIsDeleted) {
  registry.PutString(kHkeyLocalMachine, "Tree\\Leaf", "Value", "kept");
  registry.CreateKey(kHkeyLocalMachine, "Tree\\Leaf\\Child");
  RegKey leaf = Open(kHkeyLocalMachine, "Tree\\Leaf");
  EXPECT_TRUE(registry.DeleteKey(kHkeyLocalMachine, "tree\\leaf"));
  EXPECT_FALSE(registry.KeyExists(kHkeyLocalMachine, "Tree\\Leaf"));
  EXPECT_TRUE(registry.KeyExists(kHkeyLocalMachine, "Tree"));

  RegKey again = kNoKey;
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Tree\\Leaf", kKeyRead, &again),
            kErrorFileNotFound);
  EXPECT_EQ(ReadValue(leaf, "Value", 16).size, 5u);
  std::array<char, 260> name{};
  EXPECT_EQ(registry.EnumKey(leaf, 0, name.data(), name.size()), kErrorSuccess);
  EXPECT_STREQ(name.data(), "Child");
  EXPECT_EQ(registry.CloseKey(leaf), kErrorSuccess);

  EXPECT_FALSE(registry.DeleteKey(kHkeyLocalMachine, "Tree\\Leaf"));
  EXPECT_FALSE(registry.DeleteKey(kHkeyLocalMachine, ""));
}

TEST_F(MemoryRegistryTest, DeleteValue) {
  registry.PutString(kHkeyLocalMachine, "K", "A", "x");
  EXPECT_TRUE(registry.DeleteValue(kHkeyLocalMachine, "K", "a"));
  EXPECT_FALSE(registry.DeleteValue(kHkeyLocalMachine, "K", "A"));
  EXPECT_FALSE(registry.DeleteValue(kHkeyLocalMachine, "Missing", "A"));
  EXPECT_FALSE(registry.GetValue(kHkeyLocalMachine, "K", "A", nullptr, nullptr));
}

TEST_F(MemoryRegistryTest, CloseKey) {
  RegKey key = Open(kHkeyLocalMachine, "");
  EXPECT_EQ(registry.OpenHandleCount(), 1u);
  EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);
  EXPECT_EQ(registry.CloseKey(key), kErrorInvalidHandle);
  EXPECT_EQ(registry.CloseKey(0x77), kErrorInvalidHandle);
  EXPECT_EQ(registry.InvalidCloseCount(), 2u);
  for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser, kHkeyClassesRoot}) {
    EXPECT_EQ(registry.CloseKey(root), kErrorSuccess);
  }
  EXPECT_EQ(registry.InvalidCloseCount(), 2u);
}

TEST_F(MemoryRegistryTest, DenyAccessRefusesMasksWithADeniedBit) {
  registry.PutString(kHkeyCurrentUser, "Locked", "V", "x");
  registry.DenyAccess(kHkeyCurrentUser, "Locked", kKeySetValue);
  RegKey key = kNoKey;
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Locked", kKeyWrite | kKeyQueryValue, &key),
            kErrorAccessDenied);
  EXPECT_EQ(key, kNoKey);
  ScopedRegKey readable(registry, Open(kHkeyCurrentUser, "locked", kKeyRead));
  EXPECT_EQ(ReadValue(readable.get(), "V", 4).result, kErrorSuccess);

  // Denial is per key: a subkey opens normally, and 0 lifts it.
  registry.CreateKey(kHkeyCurrentUser, "Locked\\Sub");
  ScopedRegKey sub(registry, Open(kHkeyCurrentUser, "Locked\\Sub", kKeyWrite));
  registry.DenyAccess(kHkeyCurrentUser, "Locked", 0);
  ScopedRegKey writable(registry, Open(kHkeyCurrentUser, "Locked", kKeyWrite));
}

TEST_F(MemoryRegistryTest, CountsOpensAndReadsPerKeyAndValue) {
  registry.PutString(kHkeyLocalMachine, "A\\B", "IPAddress", "1");
  {
    ScopedRegKey key(registry, Open(kHkeyLocalMachine, "A\\B"));
    ReadValue(key.get(), "IPAddress", 8);
    ReadValue(key.get(), "ipaddress", 8);
    ReadValue(key.get(), "HostName", 8);  // missing, still asked for
    EXPECT_EQ(registry.OpenHandleCount(), 1u);
  }
  EXPECT_EQ(registry.OpenKeyCount(), 1u);
  EXPECT_EQ(registry.OpenKeyCount(kHkeyLocalMachine, "a\\b"), 1u);
  EXPECT_EQ(registry.OpenKeyCount(kHkeyLocalMachine, "A"), 0u);
  EXPECT_EQ(registry.OpenKeyCount(kHkeyLocalMachine, "Missing"), 0u);
  EXPECT_EQ(registry.QueryValueCount(), 3u);
  EXPECT_EQ(registry.QueryValueCount(kHkeyLocalMachine, "A\\B", "IPADDRESS"), 2u);
  EXPECT_EQ(registry.QueryValueCount(kHkeyLocalMachine, "A\\B", "HostName"), 1u);
  EXPECT_EQ(registry.QueryValueCount(kHkeyLocalMachine, "A\\B", "Other"), 0u);
}

TEST_F(MemoryRegistryTest, ConcurrentUseFromSeveralThreads) {
  registry.CreateKey(kHkeyLocalMachine, "Shared");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::string own = "Shared\\T" + std::to_string(t);
      for (int i = 0; i < 200; ++i) {
        registry.PutDword(kHkeyLocalMachine, own, "Count", static_cast<std::uint32_t>(i));
        RegKey key = kNoKey;
        if (registry.OpenKey(kHkeyLocalMachine, own.c_str(), kKeyRead, &key) != kErrorSuccess) {
          ++failures;
          continue;
        }
        std::array<std::uint8_t, 4> bytes{};
        std::uint32_t size = bytes.size();
        if (registry.QueryValue(key, "Count", nullptr, bytes.data(), &size) != kErrorSuccess) {
          ++failures;
        }
        std::array<char, 260> name{};
        registry.EnumKey(kHkeyLocalMachine, 0, name.data(), name.size());
        registry.CloseKey(key);
        if (i % 50 == 0) registry.DeleteKey(kHkeyLocalMachine, own);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(registry.OpenKeyCount(), 800u);
}

}  // namespace
}  // namespace pradex
