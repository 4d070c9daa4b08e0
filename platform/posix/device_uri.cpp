#include "platform/posix/device_uri.h"

#include <cups/http.h>

#include <algorithm>
#include <array>
#include <cctype>
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

// "beh:/1/3/5/socket://host:9100" -> "socket://host:9100": a URI whose own scheme is not
// followed by "//" but that holds another URI after a '/', as wrapper backends write it.
std::string Unwrap(const std::string& uri) {
  std::string current = uri;
  for (int depth = 0; depth < kWrapperDepth; ++depth) {
    const std::size_t colon = current.find(':');
    if (colon == std::string::npos || current.compare(colon + 1, 2, "//") == 0) break;
    const std::size_t inner = current.find("://", colon + 1);
    if (inner == std::string::npos) break;
    std::size_t start = inner;
    while (start > colon + 1 && IsSchemeChar(current[start - 1])) --start;
    if (start == inner || current[start - 1] != '/') break;
    current = current.substr(start);
  }
  return current;
}

bool IsLoopbackHost(const std::string& host) {
  return ToLower(host) == "localhost" || host.rfind("127.", 0) == 0 || host == "::1" ||
         host == "[::1]";
}

bool IsCupsQueueResource(const std::string& resource) {
  return resource.rfind("/printers/", 0) == 0 || resource.rfind("/classes/", 0) == 0;
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
  plan.uri = Unwrap(uri);
  char scheme[32];
  char user[256];
  char host[256];
  char resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, plan.uri.c_str(), scheme, sizeof(scheme), user,
                      sizeof(user), host, sizeof(host), &port, resource,
                      sizeof(resource)) < HTTP_URI_STATUS_OK)
    return plan;
  plan.scheme = ToLower(scheme);
  if (plan.scheme == "implicitclass") {
    if (!*host) return plan;
    plan.kind = Kind::kImplicitClass;
    plan.queue = host;
    return plan;
  }
  const bool network = plan.scheme == "ipp" || plan.scheme == "ipps" || plan.scheme == "http" ||
                       plan.scheme == "https" || plan.scheme == "socket" || plan.scheme == "lpd";
  if (plan.scheme == "dnssd" || network) {
    if (std::optional<ServiceName> service = SplitServiceName(host)) {
      plan.kind = Kind::kService;
      plan.service = std::move(*service);
      return plan;
    }
  }
  if (!network) return plan;
  const std::optional<UriHost> uriHost = ParseDeviceUriHost(plan.uri);
  if (!uriHost) return plan;
  const bool ippFamily = plan.scheme == "ipp" || plan.scheme == "ipps" || plan.scheme == "http" ||
                         plan.scheme == "https";
  if (ippFamily && IsCupsQueueResource(resource)) {
    plan.kind = Kind::kPrintServer;
    plan.server = host;
    plan.port = port;
    return plan;
  }
  plan.kind = Kind::kDirect;
  plan.address = uriHost->host;
  plan.ipv4Literal = uriHost->ipv4Literal;
  // ipp-usb serves the device's own pages on its loopback port, not on port 80; a loopback
  // host on the scheme's own port is a plain address.
  const int defaultPort = plan.scheme == "http" ? 80 : plan.scheme == "https" ? 443 : 631;
  if (ippFamily && IsLoopbackHost(host) && port != defaultPort) {
    plan.address += ":" + std::to_string(port);
    plan.ipv4Literal = false;
  }
  return plan;
}

}  // namespace pradex
