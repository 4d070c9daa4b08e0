#include "platform/posix/device_uri.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/url_host.h"

namespace pradex {

namespace {

using Kind = DeviceUriPlan::Kind;

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

constexpr std::array<std::string_view, 4> kPrinterServices = {"_ipp", "_ipps", "_printer",
                                                              "_pdl-datastream"};

constexpr int kWrapperDepth = 4;

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// Where the URI inside wrapper backends starts: "beh:/1/3/5/socket://host:9100" ->
// "socket://host:9100" is a URI whose own scheme is not followed by "//" but that holds
// another URI after a '/', as wrapper backends write it.
std::size_t WrappedUriStart(std::string_view uri) {
  std::size_t start = 0;
  for (int depth = 0; depth < kWrapperDepth; ++depth) {
    const std::size_t colon = uri.find(':', start);
    if (colon == std::string_view::npos || uri.compare(colon + 1, 2, "//") == 0) break;
    const std::size_t inner = uri.find("://", colon + 1);
    if (inner == std::string_view::npos) break;
    std::size_t next = inner;
    while (next > colon + 1 && IsSchemeChar(uri[next - 1])) --next;
    if (next == inner || uri[next - 1] != '/') break;
    start = next;
  }
  return start;
}

bool IsCupsQueueResource(const std::string& resource) {
  return resource.rfind("/printers/", 0) == 0 || resource.rfind("/classes/", 0) == 0;
}

bool IsNetworkScheme(const std::string& scheme) {
  static constexpr std::array<std::string_view, 6> kSchemes = {"socket", "ipp",   "ipps",
                                                               "http",   "https", "lpd"};
  return std::find(kSchemes.begin(), kSchemes.end(), scheme) != kSchemes.end();
}

// The port after ':': empty (the default, RFC 3986) or a number up to 65535.
std::optional<std::uint16_t> ParsePort(std::string_view port) {
  if (port.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : port) {
    if (!IsAsciiDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::uint16_t DefaultPort(std::string_view scheme) {
  if (scheme == "ipp" || scheme == "ipps") return 631;
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  if (scheme == "socket") return 9100;
  if (scheme == "lpd") return 515;
  return 0;
}

int HexValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Every "%XX" decoded, as libcups does with HTTP_URI_CODING_ALL; nullopt for a broken one.
std::optional<std::string> PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0)
      return std::nullopt;
    decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
    i += 2;
  }
  return decoded;
}

// The scheme and authority of "scheme://authority...": the one place that says where user
// information ends (see UriParts).
struct Authority {
  std::size_t schemeEnd = 0;  // the ':'
  std::size_t start = 0;      // after "//"
  std::size_t hostStart = 0;  // after the '@' ending user information, else `start`
  std::size_t end = 0;        // the first '/', '?' or '#' after the host, else the URI's end
};

std::optional<Authority> FindAuthority(std::string_view uri) {
  Authority found;
  found.schemeEnd = uri.find(':');
  if (found.schemeEnd == std::string_view::npos || !IsValidScheme(uri.substr(0, found.schemeEnd)) ||
      uri.compare(found.schemeEnd + 1, 2, "//") != 0)
    return std::nullopt;
  found.start = found.schemeEnd + 3;
  const std::size_t slash = std::min(uri.find('/', found.start), uri.size());
  const std::size_t at = uri.substr(found.start, slash - found.start).rfind('@');
  found.hostStart = at == std::string_view::npos ? found.start : found.start + at + 1;
  found.end = std::min(uri.find_first_of("/?#", found.hostStart), uri.size());
  return found;
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

std::optional<UriParts> SplitUri(const std::string& uri) {
  if (std::any_of(uri.begin(), uri.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
      }))
    return std::nullopt;
  UriParts parts;
  std::size_t rest = 0;  // where the path starts
  if (const std::optional<Authority> authority = FindAuthority(uri)) {
    parts.scheme = ToLower(std::string_view(uri).substr(0, authority->schemeEnd));
    if (authority->hostStart > authority->start)
      parts.userInfo = uri.substr(authority->start, authority->hostStart - 1 - authority->start);
    std::string_view hostPort =
        std::string_view(uri).substr(authority->hostStart, authority->end - authority->hostStart);
    std::string_view portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
      const std::size_t close = hostPort.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      const std::string_view after = hostPort.substr(close + 1);
      if (!after.empty() && after.front() != ':') return std::nullopt;
      if (!after.empty()) portText = after.substr(1);
      std::optional<std::string> literal = ParseIpLiteral(hostPort.substr(1, close - 1));
      parts.host = literal ? std::move(*literal) : std::string(hostPort.substr(0, close + 1));
      parts.hostKind = literal ? ClassifyUrlHost(parts.host) : UrlHostKind::kInvalid;
    } else {
      const std::size_t colon = hostPort.find(':');
      if (colon != std::string_view::npos) portText = hostPort.substr(colon + 1);
      hostPort = hostPort.substr(0, colon);
      // The one host grammar of every URL: a numeric host other than dotted decimal ("10.1",
      // "0x7f.1") would reach the resolver as a name and come back as some other address.
      parts.hostKind = ClassifyUrlHost(hostPort);
      std::optional<std::string> decoded = PercentDecode(hostPort);
      if (!decoded) return std::nullopt;
      parts.host = std::move(*decoded);
    }
    const std::optional<std::uint16_t> port = ParsePort(portText);
    if (!port) return std::nullopt;
    parts.port = *port;
    rest = authority->end;
  } else {
    const std::size_t colon = uri.find(':');
    if (colon == std::string::npos || !IsValidScheme(std::string_view(uri).substr(0, colon)))
      return std::nullopt;
    parts.scheme = ToLower(std::string_view(uri).substr(0, colon));
    rest = colon + 1;
  }
  parts.effectivePort = parts.port != 0 ? parts.port : DefaultPort(parts.scheme);
  const std::size_t fragment = std::min(uri.find('#', rest), uri.size());
  std::optional<std::string> resource =
      PercentDecode(std::string_view(uri).substr(rest, fragment - rest));
  if (!resource) return std::nullopt;
  parts.resource = resource->empty() || resource->front() == '?' ? "/" + *resource : *resource;
  return parts;
}

bool IsLoopbackHost(std::string_view host) {
  const UrlHostKind kind = ClassifyUrlHost(host);
  if (kind == UrlHostKind::kIpv4) return host.starts_with("127.");
  if (kind == UrlHostKind::kIpv6) return host == "[::1]";
  const std::string lower = ToLower(host);
  return kind == UrlHostKind::kName && (lower == "localhost" || lower == "localhost.");
}

bool IsLocalLinkName(std::string_view host) {
  const std::string lower = ToLower(host);
  return lower.ends_with(".local") || lower.ends_with(".local.");
}

std::string RemoveUriCredentials(const std::string& uri) {
  const std::size_t inner = WrappedUriStart(uri);
  const std::optional<Authority> authority = FindAuthority(std::string_view(uri).substr(inner));
  if (!authority || authority->hostStart == authority->start) return uri;
  std::string cleaned = uri;
  cleaned.erase(inner + authority->start, authority->hostStart - authority->start);
  return cleaned;
}

std::optional<UriHost> ParseDeviceUriHost(const std::string& uri) {
  const std::optional<UriParts> parts = SplitUri(uri);
  if (!parts || !IsNetworkScheme(parts->scheme)) return std::nullopt;
  if (parts->hostKind == UrlHostKind::kInvalid) return std::nullopt;
  UriHost result;
  result.scheme = parts->scheme;
  result.host = parts->host;
  result.ipv4Literal = parts->hostKind == UrlHostKind::kIpv4;
  return result;
}

std::optional<ServiceName> SplitServiceName(const std::string& host) {
  // "<instance>.<service>.<proto>.<domain>": the protocol label is the last "._tcp." that
  // follows a printer service label.
  std::string_view text(host);
  if (!text.empty() && text.back() == '.') text.remove_suffix(1);
  const std::size_t proto = text.rfind("._tcp.");
  if (proto == std::string_view::npos || proto == 0) return std::nullopt;
  const std::string_view domain = text.substr(proto + 6);
  const std::size_t serviceDot = text.rfind('.', proto - 1);
  if (serviceDot == std::string_view::npos || serviceDot == 0) return std::nullopt;
  const std::string_view service = text.substr(serviceDot + 1, proto - serviceDot - 1);
  bool printer = false;
  for (std::string_view known : kPrinterServices) printer = printer || service == known;
  if (!printer || domain.empty()) return std::nullopt;
  ServiceName name;
  name.instance = std::string(text.substr(0, serviceDot));
  name.type = std::string(service) + "._tcp";
  name.domain = std::string(domain);
  return name;
}

DeviceUriPlan PlanDeviceUri(const std::string& uri) {
  DeviceUriPlan plan;
  plan.uri = RemoveUriCredentials(uri.substr(WrappedUriStart(uri)));
  const std::optional<UriParts> parts = SplitUri(plan.uri);
  if (!parts) return plan;
  plan.scheme = parts->scheme;
  if (plan.scheme == "implicitclass") {
    if (parts->host.empty()) return plan;
    plan.kind = Kind::kImplicitClass;
    plan.queue = parts->host;
    return plan;
  }
  const bool network = IsNetworkScheme(plan.scheme);
  if (plan.scheme == "dnssd" || network) {
    if (std::optional<ServiceName> service = SplitServiceName(parts->host)) {
      plan.kind = Kind::kService;
      plan.service = std::move(*service);
      return plan;
    }
  }
  if (!network || parts->hostKind == UrlHostKind::kInvalid) return plan;
  const bool ippFamily = plan.scheme == "ipp" || plan.scheme == "ipps" || plan.scheme == "http" ||
                         plan.scheme == "https";
  if (ippFamily && IsCupsQueueResource(parts->resource)) {
    plan.kind = Kind::kPrintServer;
    // libcups' form, for httpConnect2 and the reasons: no brackets, the zone after '%'.
    plan.server = parts->host;
    if (plan.server.front() == '[') {
      plan.server = plan.server.substr(1, plan.server.size() - 2);
      if (const std::size_t zone = plan.server.find("%25"); zone != std::string::npos)
        plan.server.erase(zone + 1, 2);
    }
    plan.port = parts->effectivePort;
    return plan;
  }
  plan.kind = Kind::kDirect;
  plan.address = parts->host;
  plan.ipv4Literal = parts->hostKind == UrlHostKind::kIpv4;
  // ipp-usb serves the device's own pages on its loopback port, not on port 80; a loopback
  // host on the scheme's own port is a plain address.
  if (ippFamily && IsLoopbackHost(parts->host) &&
      parts->effectivePort != DefaultPort(plan.scheme)) {
    plan.port = parts->effectivePort;
    plan.address += ":" + std::to_string(plan.port);
    plan.ipv4Literal = false;
  }
  return plan;
}

}  // namespace pradex
