// The STRINGTABLE generated for the Windows program, compiled by the resource compiler, holds the
// same texts as the table built into the program, under the neutral language.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/messages.h"

namespace pradex {
namespace {

#if defined(PRADEX_STRINGS_RES)

struct ResReader {
  std::vector<unsigned char> bytes;
  std::size_t pos = 0;

  bool Has(std::size_t n) const { return pos + n <= bytes.size(); }
  std::uint16_t Word() {
    const std::uint16_t v = static_cast<std::uint16_t>(bytes[pos] | bytes[pos + 1] << 8);
    pos += 2;
    return v;
  }
  std::uint32_t Dword() {
    const std::uint32_t lo = Word();
    return lo | static_cast<std::uint32_t>(Word()) << 16;
  }
  // A type or name: 0xFFFF and a number, or a zero-terminated UTF-16 string (-1 here).
  long NameOrId() {
    if (bytes[pos] == 0xFF && bytes[pos + 1] == 0xFF) {
      pos += 2;
      return Word();
    }
    while (Word() != 0) {
    }
    return -1;
  }
  void Align() { pos = (pos + 3) & ~static_cast<std::size_t>(3); }
};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

TEST(WindowsStringTable, CompiledResourcesHoldTheSameTextsUnderTheNeutralLanguage) {
  std::ifstream file(PRADEX_STRINGS_RES, std::ios::binary);
  ASSERT_TRUE(file) << PRADEX_STRINGS_RES;
  ResReader res{{std::istreambuf_iterator<char>(file), {}}};

  std::map<unsigned, std::string> texts;
  int stringBundles = 0;
  while (res.Has(8)) {
    const std::uint32_t dataSize = res.Dword();
    const std::uint32_t headerSize = res.Dword();
    const std::size_t headerStart = res.pos - 8;
    ASSERT_TRUE(res.Has(headerSize - 8 + dataSize));
    const long type = res.NameOrId();
    const long name = res.NameOrId();
    res.Align();
    res.Dword();  // data version
    res.Word();   // memory flags
    const std::uint16_t language = res.Word();
    res.pos = headerStart + headerSize;
    const std::size_t dataEnd = res.pos + dataSize;
    if (type == 6) {  // RT_STRING: 16 counted UTF-16 strings, bundle `name` holds ids 16 (name-1)..
      ++stringBundles;
      EXPECT_EQ(language, 0) << "bundle " << name;
      ASSERT_GT(name, 0);
      for (unsigned i = 0; i < 16; ++i) {
        const unsigned id = static_cast<unsigned>(name - 1) * 16 + i;
        const std::uint16_t length = res.Word();
        std::string utf8;
        for (std::uint16_t k = 0; k < length; ++k) {
          std::uint32_t unit = res.Word();
          if (unit >= 0xD800 && unit < 0xDC00 && k + 1 < length) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (res.Word() - 0xDC00);
            ++k;
          }
          AppendUtf8(utf8, unit);
        }
        if (length > 0) {
          EXPECT_TRUE(texts.emplace(id, utf8).second) << "id " << id << " twice";
        }
      }
      EXPECT_LE(res.pos, dataEnd);
    }
    res.pos = dataEnd;
    res.Align();
  }
  EXPECT_GT(stringBundles, 0);

  std::map<unsigned, std::string> expected;
  for (const auto& entry : EmbeddedStringTable()) expected.emplace(entry.id, entry.text);
  EXPECT_EQ(texts, expected);
}

#elif !defined(_WIN32)

// The Windows program's own tests check its compiled table there; only a Linux build without a
// resource compiler lacks the check.
TEST(WindowsStringTable, CompiledResourcesHoldTheSameTextsUnderTheNeutralLanguage) {
  GTEST_SKIP() << "no resource compiler (windres) was found at configure time";
}

#endif

}  // namespace
}  // namespace pradex
