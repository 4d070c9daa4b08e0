// A strict JSON reader for the tests: RFC 8259 values, UTF-8 input only, \u escapes (with
// surrogate pairs) decoded to UTF-8. Enough to check what pradex-cli --json writes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pradex::test {

struct JsonValue;
using JsonObject = std::map<std::string, JsonValue>;
using JsonArray = std::vector<JsonValue>;

struct JsonValue {
  std::variant<std::nullptr_t, bool, double, std::string, JsonArray, JsonObject> value;

  bool IsNull() const { return std::holds_alternative<std::nullptr_t>(value); }
  const std::string& String() const { return std::get<std::string>(value); }
  double Number() const { return std::get<double>(value); }
  bool Bool() const { return std::get<bool>(value); }
  const JsonArray& Array() const { return std::get<JsonArray>(value); }
  const JsonObject& Object() const { return std::get<JsonObject>(value); }
  const JsonValue& operator[](const std::string& key) const { return Object().at(key); }
  const JsonValue& operator[](std::size_t index) const { return Array().at(index); }
  bool Has(const std::string& key) const { return Object().count(key) != 0; }
};

class JsonReader {
 public:
  // The one value `text` holds (white space around it allowed); throws std::runtime_error.
  static JsonValue Parse(std::string_view text) {
    JsonReader reader(text);
    reader.SkipSpace();
    JsonValue value = reader.ReadValue();
    reader.SkipSpace();
    if (reader.at != text.size()) reader.Fail("text after the value");
    return value;
  }

 private:
  explicit JsonReader(std::string_view text) : text(text) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(at));
  }

  char Peek() const { return at < text.size() ? text[at] : '\0'; }

  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++at;
  }

  void SkipSpace() {
    while (at < text.size() &&
           (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
      ++at;
  }

  bool TakeWord(std::string_view word) {
    if (text.substr(at, word.size()) != word) return false;
    at += word.size();
    return true;
  }

  JsonValue ReadValue() {
    const char c = Peek();
    if (c == '{') return ReadObject();
    if (c == '[') return ReadArray();
    if (c == '"') return JsonValue{ReadString()};
    if (TakeWord("true")) return JsonValue{true};
    if (TakeWord("false")) return JsonValue{false};
    if (TakeWord("null")) return JsonValue{nullptr};
    if (c == '-' || (c >= '0' && c <= '9')) return ReadNumber();
    Fail("unexpected character");
  }

  JsonValue ReadObject() {
    Expect('{');
    JsonObject object;
    SkipSpace();
    if (Peek() == '}') {
      ++at;
      return JsonValue{std::move(object)};
    }
    for (;;) {
      SkipSpace();
      std::string key = ReadString();
      SkipSpace();
      Expect(':');
      SkipSpace();
      if (object.count(key) != 0) Fail("duplicate key " + key);
      object.emplace(std::move(key), ReadValue());
      SkipSpace();
      if (Peek() == ',') {
        ++at;
        continue;
      }
      Expect('}');
      return JsonValue{std::move(object)};
    }
  }

  JsonValue ReadArray() {
    Expect('[');
    JsonArray array;
    SkipSpace();
    if (Peek() == ']') {
      ++at;
      return JsonValue{std::move(array)};
    }
    for (;;) {
      SkipSpace();
      array.push_back(ReadValue());
      SkipSpace();
      if (Peek() == ',') {
        ++at;
        continue;
      }
      Expect(']');
      return JsonValue{std::move(array)};
    }
  }

  JsonValue ReadNumber() {
    const std::size_t start = at;
    if (Peek() == '-') ++at;
    if (Peek() == '0') {
      ++at;
    } else if (Peek() >= '1' && Peek() <= '9') {
      while (Peek() >= '0' && Peek() <= '9') ++at;
    } else {
      Fail("bad number");
    }
    if (Peek() == '.') {
      ++at;
      if (!(Peek() >= '0' && Peek() <= '9')) Fail("bad fraction");
      while (Peek() >= '0' && Peek() <= '9') ++at;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++at;
      if (Peek() == '+' || Peek() == '-') ++at;
      if (!(Peek() >= '0' && Peek() <= '9')) Fail("bad exponent");
      while (Peek() >= '0' && Peek() <= '9') ++at;
    }
    return JsonValue{std::stod(std::string(text.substr(start, at - start)))};
  }

  unsigned ReadHex4() {
    if (at + 4 > text.size()) Fail("short \\u escape");
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text[at++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        Fail("bad hex digit");
      }
    }
    return value;
  }

  static void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  // Length of the well-formed UTF-8 sequence at `at`, or 0.
  std::size_t Utf8Length() const {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
      if ((byte(at + i) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(at + 1);
    if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
    if (lead == 0xED && second >= 0xA0) return 0;  // surrogate
    if (lead == 0xF0 && second < 0x90) return 0;   // overlong
    if (lead == 0xF4 && second >= 0x90) return 0;  // above U+10FFFF
    return length;
  }

  std::string ReadString() {
    Expect('"');
    std::string out;
    for (;;) {
      if (at >= text.size()) Fail("unterminated string");
      const auto c = static_cast<unsigned char>(text[at]);
      if (c == '"') {
        ++at;
        return out;
      }
      if (c < 0x20) Fail("raw control character in a string");
      if (c != '\\') {
        const std::size_t length = Utf8Length();
        if (length == 0) Fail("invalid UTF-8");
        out.append(text.substr(at, length));
        at += length;
        continue;
      }
      ++at;
      const char escape = Peek();
      ++at;
      switch (escape) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          char32_t point = ReadHex4();
          if (point >= 0xD800 && point <= 0xDBFF) {
            if (!TakeWord("\\u")) Fail("lone high surrogate");
            const unsigned low = ReadHex4();
            if (low < 0xDC00 || low > 0xDFFF) Fail("bad low surrogate");
            point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
          } else if (point >= 0xDC00 && point <= 0xDFFF) {
            Fail("lone low surrogate");
          }
          AppendUtf8(out, point);
          break;
        }
        default:
          Fail("bad escape");
      }
    }
  }

  std::string_view text;
  std::size_t at = 0;
};

}  // namespace pradex::test
