// A hierarchical registry held in memory, with the Windows registry's observable behaviour:
// the three predefined roots, case-insensitive key and value names, subkeys enumerated in
// case-insensitive order, values as a type and raw bytes, and handles that keep their key
// alive after it has been deleted. Used where no Windows registry exists, and by tests, which
// also get set-up helpers, access denial and counters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace pradex {

class MemoryRegistry : public Registry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  // Registry. A handle remembers the access it was opened with: QueryValue needs
  // kKeyQueryValue, SetValue kKeySetValue and EnumKey kKeyEnumerateSubKeys, else
  // kErrorAccessDenied. The roots allow everything.
  long OpenKey(RegKey parent, const char* subKey, std::uint32_t access, RegKey* result) override;
  long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override;
  long SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override;
  long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
  long CloseKey(RegKey key) override;

  // Set-up helpers. `root` is one of the three predefined roots; `path` is split on '\\'.
  // The Put... helpers create the key (and its parents) when it is missing; an empty value
  // name is the key's default value.
  void CreateKey(RegKey root, const std::string& path);
  void PutString(RegKey root, const std::string& path, const std::string& valueName,
                 const std::string& text, bool storeTerminatingZero = true);
  void PutDword(RegKey root, const std::string& path, const std::string& valueName,
                std::uint32_t number);
  void PutBytes(RegKey root, const std::string& path, const std::string& valueName,
                std::uint32_t type, const std::vector<std::uint8_t>& bytes);
  // False when the key or the value does not exist.
  bool DeleteValue(RegKey root, const std::string& path, const std::string& valueName);
  // Removes the key with all its subkeys; open handles to them keep working. False when
  // the key does not exist (or is a root).
  bool DeleteKey(RegKey root, const std::string& path);
  // Opening the key with an access mask that shares a bit with `accessMask` fails with
  // kErrorAccessDenied from now on (0 lifts the denial). Creates the key when missing.
  void DenyAccess(RegKey root, const std::string& path, std::uint32_t accessMask);

  // What is stored and what was done, for tests.
  bool KeyExists(RegKey root, const std::string& path) const;
  // The stored bytes of a value, or false when the key or value does not exist.
  bool GetValue(RegKey root, const std::string& path, const std::string& valueName,
                std::uint32_t* type, std::vector<std::uint8_t>* bytes) const;
  // Handles opened by OpenKey and not yet closed.
  std::size_t OpenHandleCount() const;
  // Successful OpenKey calls, in total and for the key at `path`.
  std::size_t OpenKeyCount() const;
  std::size_t OpenKeyCount(RegKey root, const std::string& path) const;
  // QueryValue calls that found the key, in total and for one value of the key at `path`
  // (counted whether or not the value exists).
  std::size_t QueryValueCount() const;
  std::size_t QueryValueCount(RegKey root, const std::string& path,
                              const std::string& valueName) const;
  // CloseKey calls with a handle that was not open.
  std::size_t InvalidCloseCount() const;

  struct Node;  // one key of the tree, defined with the implementation

 private:
  std::shared_ptr<Node> RootNode(RegKey root) const;
  std::shared_ptr<Node> FindNodeLocked(RegKey root, const std::string& path) const;
  std::shared_ptr<Node> CreateNodeLocked(RegKey root, const std::string& path);
  // The node behind a root or an open handle, or null; `access` receives the handle's access.
  std::shared_ptr<Node> ResolveLocked(RegKey key, std::uint32_t* access) const;

  struct Handle {
    std::shared_ptr<Node> node;
    std::uint32_t access = 0;
  };

  mutable std::mutex mutex;
  std::shared_ptr<Node> localMachine;
  std::shared_ptr<Node> currentUser;
  std::shared_ptr<Node> classesRoot;
  std::map<RegKey, Handle> handles;
  RegKey nextHandle = 0x1000;
  std::size_t openKeyCount = 0;
  std::size_t queryValueCount = 0;
  std::size_t invalidCloseCount = 0;
};

}  // namespace pradex
