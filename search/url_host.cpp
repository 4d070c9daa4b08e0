#include "search/url_host.h"

#include <cstring>
#include <string_view>

namespace pradex {

namespace {

// Characters that would end the host part of a URL or change what the URL means.
constexpr const char* kForbiddenHostCharacters = "\"'`/\\?#@<>%{}|^";

bool IsPortText(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

bool IsIpv6LiteralCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

}  // namespace

bool IsSafeUrlHost(const std::string& address) {
  if (address.empty()) return false;
  for (const char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) return false;
    if (std::strchr(kForbiddenHostCharacters, ch) != nullptr) return false;
  }
  std::string_view text(address);
  std::string_view port;
  bool hasPort = false;
  if (text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos) return false;
    const std::string_view literal = text.substr(1, close - 1);
    if (literal.empty() || literal.find(':') == std::string_view::npos) return false;
    for (const char c : literal) {
      if (!IsIpv6LiteralCharacter(c)) return false;
    }
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      hasPort = true;
      port = rest.substr(1);
    }
  } else {
    if (text.find_first_of("[]") != std::string_view::npos) return false;
    const auto colon = text.find(':');
    if (colon != std::string_view::npos) {
      hasPort = true;
      port = text.substr(colon + 1);  // a second colon (bare IPv6) fails the port test
      text = text.substr(0, colon);
    }
    if (text.empty()) return false;
  }
  return !hasPort || IsPortText(port);
}

}  // namespace pradex
