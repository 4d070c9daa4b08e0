#include "discovery/modern_port.h"

#include <cctype>
#include <cstddef>

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

// The first usable address of the device's own list: a zone id cannot stand in a link.
std::optional<std::string> FirstIpAddress(const std::vector<std::string>& addresses) {
  for (const std::string& text : addresses) {
    const std::string host = text.find(':') != std::string::npos ? "[" + text + "]" : text;
    const UrlHostKind kind = ClassifyUrlHost(host);
    if (kind == UrlHostKind::kIpv4 || kind == UrlHostKind::kIpv6) return host;
  }
  return std::nullopt;
}

// XAddrs entries may each hold several URLs, separated by white space.
std::optional<std::string> FirstXAddr(const std::vector<std::string>& xAddrs) {
  for (const std::string& entry : xAddrs) {
    std::size_t start = 0;
    while (start < entry.size()) {
      const std::size_t end = entry.find_first_of(" \t\r\n", start);
      const std::size_t stop = end == std::string::npos ? entry.size() : end;
      if (stop > start) {
        if (std::optional<std::string> address =
                UrlAddress(std::string_view(entry).substr(start, stop - start)))
          return address;
      }
      start = stop + 1;
    }
  }
  return std::nullopt;
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
  std::optional<std::string> found = UrlAddress(device.presentationUrl);
  if (!found) found = FirstIpAddress(device.ipAddresses);
  if (!found) found = FirstXAddr(device.xAddrs);
  if (!found) {
    problem = "WSD device that announced no usable address";
    return false;
  }
  address = std::move(*found);
  problem.clear();
  return true;
}

}  // namespace pradex
