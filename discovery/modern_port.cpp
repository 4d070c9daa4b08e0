#include "discovery/modern_port.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <vector>

#include "platform/url_host.h"
#include "platform/win_codes.h"

namespace pradex {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

unsigned DefaultPort(const std::string& scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  return 631;  // ipp, ipps
}

bool IsLoopbackHost(std::string_view host, UrlHostKind kind) {
  if (kind == UrlHostKind::kIpv4) return host.substr(0, 4) == "127.";
  if (kind == UrlHostKind::kIpv6) return host == "[::1]";
  const std::string lower = Lower(host);
  return lower == "localhost" || lower == "localhost.";
}

// The four octets of an address the URL host grammar took as IPv4.
std::array<unsigned, 4> Ipv4Octets(std::string_view text) {
  std::array<unsigned, 4> octets{};
  const char* const end = text.data() + text.size();
  const char* next = text.data();
  for (unsigned& octet : octets) {
    next = std::from_chars(next, end, octet).ptr;
    if (next != end) ++next;  // the dot
  }
  return octets;
}

// The eight 16-bit groups of an address (no brackets) the URL host grammar took as IPv6.
std::array<unsigned, 8> Ipv6Groups(std::string_view text) {
  const auto read = [](std::string_view list) {
    std::vector<unsigned> groups;
    for (std::size_t start = 0; start < list.size();) {
      const std::size_t end = std::min(list.find(':', start), list.size());
      const std::string_view part = list.substr(start, end - start);
      if (part.find('.') != std::string_view::npos) {
        const std::array<unsigned, 4> octets = Ipv4Octets(part);
        groups.push_back(octets[0] << 8 | octets[1]);
        groups.push_back(octets[2] << 8 | octets[3]);
      } else {
        unsigned group = 0;
        std::from_chars(part.data(), part.data() + part.size(), group, 16);
        groups.push_back(group);
      }
      start = end + 1;
    }
    return groups;
  };
  const std::size_t gap = text.find("::");
  const std::vector<unsigned> head = read(text.substr(0, gap));
  const std::vector<unsigned> tail =
      gap == std::string_view::npos ? std::vector<unsigned>() : read(text.substr(gap + 2));
  std::array<unsigned, 8> groups{};
  std::copy(head.begin(), head.end(), groups.begin());
  std::copy(tail.begin(), tail.end(), groups.end() - static_cast<std::ptrdiff_t>(tail.size()));
  return groups;
}

// 127.0.0.0/8 and 169.254.0.0/16, told by their first two octets.
bool IsLoopbackOrLinkLocalIpv4(unsigned first, unsigned second) {
  return first == 127 || (first == 169 && second == 254);
}

// Whether a host, as it stands in a URL, can name a device in a link from this computer: not
// this computer itself, and not an address that holds only on one of its links, whose zone
// id no browser takes. A host with a port (only a loopback one keeps it) is not.
bool IsUsableHost(std::string_view host) {
  const UrlHostKind kind = ClassifyUrlHost(host);
  if (kind == UrlHostKind::kName) return !IsLoopbackHost(host, kind);
  if (kind == UrlHostKind::kIpv4) {
    const std::array<unsigned, 4> octets = Ipv4Octets(host);
    return !IsLoopbackOrLinkLocalIpv4(octets[0], octets[1]);
  }
  if (kind != UrlHostKind::kIpv6) return false;
  const std::array<unsigned, 8> groups = Ipv6Groups(host.substr(1, host.size() - 2));
  const auto zeroUpTo = [&groups](std::size_t count) {
    return std::all_of(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(count),
                       [](unsigned group) { return group == 0; });
  };
  if (zeroUpTo(5) && groups[5] == 0xffff)  // IPv4-mapped
    return !IsLoopbackOrLinkLocalIpv4(groups[6] >> 8, groups[6] & 0xff);
  const bool loopback = zeroUpTo(7) && groups[7] == 1;
  return !loopback && (groups[0] & 0xffc0) != 0xfe80;  // fe80::/10
}

// The device's own list: its first usable IPv4 address, else its first usable IPv6 one.
std::optional<std::string> FirstIpAddress(const std::vector<std::string>& addresses) {
  std::optional<std::string> ipv6;
  for (const std::string& text : addresses) {
    std::string host = text.find(':') != std::string::npos ? "[" + text + "]" : text;
    const UrlHostKind kind = ClassifyUrlHost(host);
    if ((kind != UrlHostKind::kIpv4 && kind != UrlHostKind::kIpv6) || !IsUsableHost(host)) continue;
    if (kind == UrlHostKind::kIpv4) return host;
    if (!ipv6) ipv6 = std::move(host);
  }
  return ipv6;
}

// The hosts of the XAddrs URLs, in order; an entry may hold several URLs, separated by white
// space.
std::vector<std::string> XAddrHosts(const std::vector<std::string>& xAddrs) {
  std::vector<std::string> hosts;
  for (const std::string& entry : xAddrs) {
    std::size_t start = 0;
    while (start < entry.size()) {
      const std::size_t end = entry.find_first_of(" \t\r\n", start);
      const std::size_t stop = end == std::string::npos ? entry.size() : end;
      if (stop > start) {
        if (std::optional<std::string> host =
                UrlAddress(std::string_view(entry).substr(start, stop - start)))
          hosts.push_back(std::move(*host));
      }
      start = stop + 1;
    }
  }
  return hosts;
}

std::string MonitorProblem(long error) {
  if (error == kErrorAccessDenied) return "the port monitor refused to answer (access denied)";
  return "no TCP/IP, WSD or IPP port monitor gave an address for this port (error " +
         std::to_string(error) + ")";
}

}  // namespace

std::optional<std::string> UrlAddress(std::string_view url) {
  const std::size_t separator = url.find("://");
  if (separator == std::string_view::npos) return std::nullopt;
  const std::string scheme = Lower(url.substr(0, separator));
  if (scheme != "http" && scheme != "https" && scheme != "ipp" && scheme != "ipps")
    return std::nullopt;
  const std::string_view rest = url.substr(separator + 3);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  // An '@' after a '?' or '#' but ahead of the path: either user info with those characters
  // unescaped or a query or fragment with an '@', so which host is meant cannot be told.
  if (rest.substr(0, rest.find('/')).find('@', authority.size()) != std::string_view::npos)
    return std::nullopt;
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);
  if (ClassifyUrlHostAndPort(authority) == UrlHostKind::kInvalid) return std::nullopt;

  std::size_t hostEnd = authority.find(':');
  if (!authority.empty() && authority.front() == '[') hostEnd = authority.find(']') + 1;
  const std::string_view host = authority.substr(0, hostEnd);
  const UrlHostKind kind = ClassifyUrlHost(host);
  if (hostEnd >= authority.size() || !IsLoopbackHost(host, kind)) return std::string(host);
  const std::string_view port = authority.substr(hostEnd + 1);
  unsigned number = 0;
  for (const char c : port) number = number * 10 + static_cast<unsigned>(c - '0');
  if (number == DefaultPort(scheme)) return std::string(host);
  return std::string(host) + ":" + std::to_string(number);
}

bool IsLoopbackUrlHost(std::string_view host) {
  const UrlHostKind kind = ClassifyUrlHost(host);
  if (kind == UrlHostKind::kName) return IsLoopbackHost(host, kind);
  if (kind == UrlHostKind::kIpv4) return Ipv4Octets(host)[0] == 127;
  if (kind != UrlHostKind::kIpv6 && kind != UrlHostKind::kIpv6WithZone) return false;
  const std::size_t end = std::min(host.find('%'), host.size() - 1);
  const std::array<unsigned, 8> groups = Ipv6Groups(host.substr(1, end - 1));
  if (!std::all_of(groups.begin(), groups.begin() + 5, [](unsigned group) { return group == 0; }))
    return false;
  if (groups[5] == 0xffff) return groups[6] >> 8 == 127;
  return groups[5] == 0 && groups[6] == 0 && groups[7] == 1;
}

std::optional<std::string> WsdDeviceAddress(const PnpxDevice& device) {
  std::optional<std::string> page = UrlAddress(device.presentationUrl);
  if (page && IsUsableHost(*page)) return page;
  if (std::optional<std::string> listed = FirstIpAddress(device.ipAddresses)) return listed;
  const std::vector<std::string> xAddrHosts = XAddrHosts(device.xAddrs);
  const auto usable = std::find_if(xAddrHosts.begin(), xAddrHosts.end(), IsUsableHost);
  if (usable != xAddrHosts.end()) return *usable;
  // Nothing usable: the page's host, else the first XAddrs host, as before. A device server on
  // this computer announces a loopback page, a printer cabled to it without DHCP a link-local
  // address; the search refuses a zone id with its own reason.
  if (page) return page;
  if (!xAddrHosts.empty()) return xAddrHosts.front();
  return std::nullopt;
}

bool ResolveModernPort(ModernPorts& ports, const std::string& portName, std::string& address,
                       std::string& problem) {
  problem.clear();
  // Printers added by their URL (Windows 11's IPP ports among them) carry it as the port name.
  if (std::optional<std::string> fromName = UrlAddress(portName)) {
    address = std::move(*fromName);
    return true;
  }

  ApPortInfo info;
  const long infoResult = ports.GetApPortInfo(portName, info);
  if (infoResult == kErrorSuccess) {
    if (std::optional<std::string> fromUrl = UrlAddress(info.deviceOrServiceUrl)) {
      address = std::move(*fromUrl);
      return true;
    }
    problem = info.deviceOrServiceUrl.empty() ? "the port monitor names no device URL for this port"
                                              : "the port monitor's device URL has no usable host";
  } else {
    problem = MonitorProblem(infoResult);
  }

  const bool wsd = (infoResult == kErrorSuccess && info.protocol == kApPortProtocolWsd) ||
                   Lower(portName.substr(0, 4)) == "wsd-";
  if (!wsd) return false;

  std::string deviceId;
  const long idResult = ports.GetWsdDeviceId(portName, deviceId);
  if (idResult != kErrorSuccess || deviceId.empty()) {
    // The first answer already told why when the monitor refused both questions.
    if (idResult == kErrorAccessDenied || infoResult == kErrorAccessDenied)
      problem = MonitorProblem(kErrorAccessDenied);
    else
      problem = "the WSD port monitor gave no device identity for this port";
    return false;
  }
  PnpxDevice device;
  if (!ports.FindPnpxDevice(deviceId, device)) {
    problem = "WSD port whose device is not known to this computer";
    return false;
  }
  std::optional<std::string> found = WsdDeviceAddress(device);
  if (!found) {
    problem = "WSD device that announced no usable address";
    return false;
  }
  address = std::move(*found);
  problem.clear();
  return true;
}

}  // namespace pradex
