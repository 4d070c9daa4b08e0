#include "app/messages.h"

#include <algorithm>

namespace pradex {

bool LoadMessage(StringResources& strings, int n, std::string& text) {
  const long long id = MessageId(n);
  // An n that would wrap around to some other id is simply not a message.
  if (id <= 0 || id > 0xFFFF) {
    text.clear();
    return false;
  }
  return strings.Load(static_cast<unsigned>(id), text);
}

std::string LoadMessage(StringResources& strings, int n) {
  std::string text;
  if (!LoadMessage(strings, n, text)) text.clear();
  return text;
}

bool EmbeddedStringResources::Load(unsigned id, std::string& text) {
  const auto table = EmbeddedStringTable();
  const auto it = std::lower_bound(
      table.begin(), table.end(), id,
      [](const StringTableEntry& entry, unsigned wanted) { return entry.id < wanted; });
  if (it == table.end() || it->id != id) {
    text.clear();
    return false;
  }
  text.assign(it->text);
  return true;
}

}  // namespace pradex
