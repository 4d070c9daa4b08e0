#include "platform/posix/device_uri.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "platform/url_host.h"

namespace pradex {

namespace {

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ).
bool IsValidScheme(std::string_view scheme) {
  if (scheme.empty() || !IsAsciiAlpha(scheme.front())) return false;
  return std::all_of(scheme.begin(), scheme.end(), [](char c) {
    return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
  });
}

std::string ToLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool IsNetworkScheme(const std::string& scheme) {
  static constexpr std::array<std::string_view, 6> kSchemes = {"socket", "ipp",   "ipps",
                                                               "http",   "https", "lpd"};
  return std::find(kSchemes.begin(), kSchemes.end(), scheme) != kSchemes.end();
}

bool IsValidPort(std::string_view port) {
  // An empty port after ':' is allowed by RFC 3986 and means the default.
  if (port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (!IsAsciiDigit(c)) return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value <= 65535;
}

// The inside of "[...]": an IPv6 address with an optional zone id, written "%25zone" (RFC
// 6874), "%zone" (as many tools write it) or CUPS' own "v1.address+zone". Returns the
// bracketed URL form.
std::optional<std::string> ParseIpLiteral(std::string_view inside) {
  std::string address;
  std::string_view zone;
  bool hasZone = false;
  if (!inside.empty() && (inside.front() == 'v' || inside.front() == 'V')) {
    if (inside.size() < 3 || inside.substr(1, 2) != "1.") return std::nullopt;
    inside.remove_prefix(3);
    const std::size_t plus = inside.find('+');
    address = std::string(inside.substr(0, plus));
    if (plus != std::string_view::npos) {
      zone = inside.substr(plus + 1);
      hasZone = true;
    }
  } else {
    const std::size_t percent = inside.find('%');
    address = std::string(inside.substr(0, percent));
    if (percent != std::string_view::npos) {
      zone = inside.substr(percent + 1);
      if (zone.substr(0, 2) == "25") zone.remove_prefix(2);
      hasZone = true;
    }
  }
  std::string host = "[" + address;
  if (hasZone) host += "%25" + std::string(zone);
  host += "]";
  const UrlHostKind kind = ClassifyUrlHost(host);
  if (kind != UrlHostKind::kIpv6 && kind != UrlHostKind::kIpv6WithZone) return std::nullopt;
  return host;
}

}  // namespace

std::string RemoveUriCredentials(const std::string& uri) {
  const std::size_t separator = uri.find("://");
  if (separator == std::string::npos || !IsValidScheme(std::string_view(uri).substr(0, separator)))
    return uri;
  const std::size_t authorityStart = separator + 3;
  std::size_t authorityEnd = uri.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = uri.size();
  // The host cannot hold '@', so the last one ends the user information even when a sloppy
  // password carries one unescaped.
  const std::string_view authority =
      std::string_view(uri).substr(authorityStart, authorityEnd - authorityStart);
  const std::size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return uri;
  std::string cleaned = uri;
  cleaned.erase(authorityStart, at + 1);
  return cleaned;
}

std::optional<UriHost> ParseDeviceUriHost(const std::string& uri) {
  if (std::any_of(uri.begin(), uri.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
      }))
    return std::nullopt;

  const std::size_t colon = uri.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::string_view schemeText = std::string_view(uri).substr(0, colon);
  if (!IsValidScheme(schemeText)) return std::nullopt;
  UriHost result;
  result.scheme = ToLower(schemeText);
  if (!IsNetworkScheme(result.scheme)) return std::nullopt;
  if (uri.compare(colon + 1, 2, "//") != 0) return std::nullopt;

  const std::size_t authorityStart = colon + 3;
  std::size_t authorityEnd = uri.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = uri.size();
  std::string_view hostPort =
      std::string_view(uri).substr(authorityStart, authorityEnd - authorityStart);
  if (const std::size_t at = hostPort.rfind('@'); at != std::string_view::npos)
    hostPort.remove_prefix(at + 1);

  std::string_view afterHost;
  if (!hostPort.empty() && hostPort.front() == '[') {
    const std::size_t close = hostPort.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    std::optional<std::string> literal = ParseIpLiteral(hostPort.substr(1, close - 1));
    if (!literal) return std::nullopt;
    result.host = std::move(*literal);
    afterHost = hostPort.substr(close + 1);
  } else {
    const std::size_t portColon = hostPort.find(':');
    const std::string_view host = hostPort.substr(0, portColon);
    // The one host grammar of every URL: a numeric host other than dotted decimal ("10.1",
    // "0x7f.1") would reach the resolver as a name and come back as some other address.
    const UrlHostKind kind = ClassifyUrlHost(host);
    if (kind != UrlHostKind::kName && kind != UrlHostKind::kIpv4) return std::nullopt;
    result.host = std::string(host);
    result.ipv4Literal = kind == UrlHostKind::kIpv4;
    if (portColon != std::string_view::npos) afterHost = hostPort.substr(portColon);
  }

  if (!afterHost.empty()) {
    if (afterHost.front() != ':' || !IsValidPort(afterHost.substr(1))) return std::nullopt;
  }
  return result;
}

}  // namespace pradex
