#include "platform/memory/memory_registry.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace pradex {

namespace {

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows orders and compares key and value names case-insensitively, by their upper-case
// form; only ASCII letters are folded here.
struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      const auto ca = static_cast<unsigned char>(Upper(a[i]));
      const auto cb = static_cast<unsigned char>(Upper(b[i]));
      if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
  }
};

// Empty components (doubled, leading or trailing separators) are skipped.
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool IsRoot(RegKey key) {
  return key == kHkeyLocalMachine || key == kHkeyCurrentUser || key == kHkeyClassesRoot;
}

constexpr std::uint32_t kAllAccess = 0xFFFFFFFFu;

}  // namespace

struct MemoryRegistry::Node {
  struct Value {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> bytes;
  };

  std::string name;  // as created, for enumeration
  std::map<std::string, std::shared_ptr<Node>, CaseLess> children;
  std::map<std::string, Value, CaseLess> values;
  std::uint32_t deniedAccess = 0;
  std::size_t openCount = 0;
  std::map<std::string, std::size_t, CaseLess> queryCounts;
};

MemoryRegistry::MemoryRegistry()
    : localMachine(std::make_shared<Node>()),
      currentUser(std::make_shared<Node>()),
      classesRoot(std::make_shared<Node>()) {
  localMachine->name = "HKEY_LOCAL_MACHINE";
  currentUser->name = "HKEY_CURRENT_USER";
  classesRoot->name = "HKEY_CLASSES_ROOT";
}

MemoryRegistry::~MemoryRegistry() = default;

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::RootNode(RegKey root) const {
  switch (root) {
    case kHkeyLocalMachine:
      return localMachine;
    case kHkeyCurrentUser:
      return currentUser;
    case kHkeyClassesRoot:
      return classesRoot;
    default:
      return nullptr;
  }
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::ResolveLocked(RegKey key,
                                                                    std::uint32_t* access) const {
  if (IsRoot(key)) {
    if (access) *access = kAllAccess;
    return RootNode(key);
  }
  const auto it = handles.find(key);
  if (it == handles.end()) return nullptr;
  if (access) *access = it->second.access;
  return it->second.node;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::FindNodeLocked(
    RegKey root, const std::string& path) const {
  std::shared_ptr<Node> node = RootNode(root);
  if (!node) return nullptr;
  for (const std::string& part : SplitPath(path)) {
    const auto it = node->children.find(part);
    if (it == node->children.end()) return nullptr;
    node = it->second;
  }
  return node;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::CreateNodeLocked(RegKey root,
                                                                       const std::string& path) {
  std::shared_ptr<Node> node = RootNode(root);
  if (!node) return nullptr;
  for (const std::string& part : SplitPath(path)) {
    auto& child = node->children[part];
    if (!child) {
      child = std::make_shared<Node>();
      child->name = part;
    }
    node = child;
  }
  return node;
}

long MemoryRegistry::OpenKey(RegKey parent, const char* subKey, std::uint32_t access,
                             RegKey* result) {
  if (!result) return kErrorInvalidParameter;
  *result = kNoKey;
  std::lock_guard<std::mutex> lock(mutex);
  std::shared_ptr<Node> node = ResolveLocked(parent, nullptr);
  if (!node) return kErrorInvalidHandle;
  for (const std::string& part : SplitPath(subKey ? subKey : "")) {
    const auto it = node->children.find(part);
    if (it == node->children.end()) return kErrorFileNotFound;
    node = it->second;
  }
  if ((node->deniedAccess & access) != 0) return kErrorAccessDenied;
  const RegKey handle = nextHandle;
  nextHandle += 4;
  handles[handle] = Handle{node, access};
  ++node->openCount;
  ++openKeyCount;
  *result = handle;
  return kErrorSuccess;
}

long MemoryRegistry::QueryValue(RegKey key, const char* valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) {
  std::lock_guard<std::mutex> lock(mutex);
  std::uint32_t access = 0;
  const std::shared_ptr<Node> node = ResolveLocked(key, &access);
  if (!node) return kErrorInvalidHandle;
  if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  const std::string name = valueName ? valueName : "";
  ++queryValueCount;
  ++node->queryCounts[name];
  if (data && !size) return kErrorInvalidParameter;
  const auto it = node->values.find(name);
  if (it == node->values.end()) return kErrorFileNotFound;
  const Node::Value& value = it->second;
  const auto length = static_cast<std::uint32_t>(value.bytes.size());
  if (type) *type = value.type;
  if (!data) {
    if (size) *size = length;
    return kErrorSuccess;
  }
  if (*size < length) {
    *size = length;
    return kErrorMoreData;
  }
  if (length > 0) std::memcpy(data, value.bytes.data(), length);
  *size = length;
  return kErrorSuccess;
}

long MemoryRegistry::SetValue(RegKey key, const char* valueName, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) {
  std::lock_guard<std::mutex> lock(mutex);
  std::uint32_t access = 0;
  const std::shared_ptr<Node> node = ResolveLocked(key, &access);
  if (!node) return kErrorInvalidHandle;
  if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
  if (!data && size > 0) return kErrorInvalidParameter;
  Node::Value& value = node->values[valueName ? valueName : ""];
  value.type = type;
  value.bytes.assign(data, data + size);
  return kErrorSuccess;
}

long MemoryRegistry::EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) {
  std::lock_guard<std::mutex> lock(mutex);
  std::uint32_t access = 0;
  const std::shared_ptr<Node> node = ResolveLocked(key, &access);
  if (!node) return kErrorInvalidHandle;
  if ((access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
  if (index >= node->children.size()) return kErrorNoMoreItems;
  if (!name) return kErrorInvalidParameter;
  auto it = node->children.begin();
  std::advance(it, index);
  const std::string& childName = it->second->name;
  if (childName.size() + 1 > nameSize) return kErrorMoreData;
  std::memcpy(name, childName.c_str(), childName.size() + 1);
  return kErrorSuccess;
}

long MemoryRegistry::CloseKey(RegKey key) {
  if (IsRoot(key)) return kErrorSuccess;
  std::lock_guard<std::mutex> lock(mutex);
  if (handles.erase(key) == 0) {
    ++invalidCloseCount;
    return kErrorInvalidHandle;
  }
  return kErrorSuccess;
}

void MemoryRegistry::CreateKey(RegKey root, const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  CreateNodeLocked(root, path);
}

void MemoryRegistry::PutString(RegKey root, const std::string& path, const std::string& valueName,
                               const std::string& text, bool storeTerminatingZero) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (storeTerminatingZero) bytes.push_back(0);
  PutBytes(root, path, valueName, kRegSz, bytes);
}

void MemoryRegistry::PutDword(RegKey root, const std::string& path, const std::string& valueName,
                              std::uint32_t number) {
  // REG_DWORD is stored little-endian whatever the host.
  const std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(number & 0xFF),
                                           static_cast<std::uint8_t>((number >> 8) & 0xFF),
                                           static_cast<std::uint8_t>((number >> 16) & 0xFF),
                                           static_cast<std::uint8_t>((number >> 24) & 0xFF)};
  PutBytes(root, path, valueName, kRegDword, bytes);
}

void MemoryRegistry::PutBytes(RegKey root, const std::string& path, const std::string& valueName,
                              std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex);
  const std::shared_ptr<Node> node = CreateNodeLocked(root, path);
  if (!node) return;
  Node::Value& value = node->values[valueName];
  value.type = type;
  value.bytes = bytes;
}

bool MemoryRegistry::DeleteValue(RegKey root, const std::string& path,
                                 const std::string& valueName) {
  std::lock_guard<std::mutex> lock(mutex);
  const std::shared_ptr<Node> node = FindNodeLocked(root, path);
  return node && node->values.erase(valueName) > 0;
}

bool MemoryRegistry::DeleteKey(RegKey root, const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return false;
  const std::string last = parts.back();
  parts.pop_back();
  std::shared_ptr<Node> parent = RootNode(root);
  if (!parent) return false;
  for (const std::string& part : parts) {
    const auto it = parent->children.find(part);
    if (it == parent->children.end()) return false;
    parent = it->second;
  }
  // Open handles own their nodes, so the subtree stays usable through them.
  return parent->children.erase(last) > 0;
}

void MemoryRegistry::DenyAccess(RegKey root, const std::string& path, std::uint32_t accessMask) {
  std::lock_guard<std::mutex> lock(mutex);
  const std::shared_ptr<Node> node = CreateNodeLocked(root, path);
  if (node) node->deniedAccess = accessMask;
}

bool MemoryRegistry::KeyExists(RegKey root, const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex);
  return FindNodeLocked(root, path) != nullptr;
}

bool MemoryRegistry::GetValue(RegKey root, const std::string& path, const std::string& valueName,
                              std::uint32_t* type, std::vector<std::uint8_t>* bytes) const {
  std::lock_guard<std::mutex> lock(mutex);
  const std::shared_ptr<Node> node = FindNodeLocked(root, path);
  if (!node) return false;
  const auto it = node->values.find(valueName);
  if (it == node->values.end()) return false;
  if (type) *type = it->second.type;
  if (bytes) *bytes = it->second.bytes;
  return true;
}

std::size_t MemoryRegistry::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return handles.size();
}

std::size_t MemoryRegistry::OpenKeyCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return openKeyCount;
}

std::size_t MemoryRegistry::OpenKeyCount(RegKey root, const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex);
  const std::shared_ptr<Node> node = FindNodeLocked(root, path);
  return node ? node->openCount : 0;
}

std::size_t MemoryRegistry::QueryValueCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return queryValueCount;
}

std::size_t MemoryRegistry::QueryValueCount(RegKey root, const std::string& path,
                                            const std::string& valueName) const {
  std::lock_guard<std::mutex> lock(mutex);
  const std::shared_ptr<Node> node = FindNodeLocked(root, path);
  if (!node) return 0;
  const auto it = node->queryCounts.find(valueName);
  return it == node->queryCounts.end() ? 0 : it->second;
}

std::size_t MemoryRegistry::InvalidCloseCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return invalidCloseCount;
}

}  // namespace pradex
