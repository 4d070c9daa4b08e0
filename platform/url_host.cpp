#include "platform/url_host.h"

#include <algorithm>
#include <cstddef>

namespace pradex {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsNameChar(char c) {
  return IsAlpha(c) || IsDigit(c) || c == '-' || c == '_';
}
bool IsUnreserved(char c) {
  return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// RFC 3986 dec-octet: 0-255 without leading zeros.
bool IsDecOctet(std::string_view part) {
  if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), IsDigit))
    return false;
  if (part.size() > 1 && part.front() == '0') return false;
  unsigned value = 0;
  for (const char c : part) value = value * 10 + static_cast<unsigned>(c - '0');
  return value <= 255;
}

bool IsDottedDecimal(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = text.find('.');
    if ((part < 3) == (dot == std::string_view::npos)) return false;
    if (!IsDecOctet(text.substr(0, dot))) return false;
    text = part < 3 ? text.substr(dot + 1) : std::string_view();
  }
  return true;
}

// A label that resolvers take for a number: decimal digits, or "0x" and hexadecimal digits.
bool IsNumericLabel(std::string_view label) {
  if (label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X'))
    return std::all_of(label.begin() + 2, label.end(), IsHexDigit);
  return !label.empty() && std::all_of(label.begin(), label.end(), IsDigit);
}

bool IsRegName(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  if (host.empty()) return false;
  std::string_view lastLabel;
  for (std::size_t start = 0;;) {
    const std::size_t dot = host.find('.', start);
    lastLabel = host.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (lastLabel.empty() || !std::all_of(lastLabel.begin(), lastLabel.end(), IsNameChar))
      return false;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return !IsNumericLabel(lastLabel);
}

bool IsH16(std::string_view group) {
  return !group.empty() && group.size() <= 4 && std::all_of(group.begin(), group.end(), IsHexDigit);
}

// RFC 3986 IPv6address: eight groups, or fewer around one "::", the last 32 bits possibly in
// dotted decimal.
bool IsIpv6Address(std::string_view text) {
  const std::size_t gap = text.find("::");
  const bool compressed = gap != std::string_view::npos;
  const std::string_view head = compressed ? text.substr(0, gap) : text;
  const std::string_view tail = compressed ? text.substr(gap + 2) : std::string_view();
  if (tail.find("::") != std::string_view::npos) return false;

  int groups = 0;
  const auto readGroups = [&groups](std::string_view list, bool endsAddress) {
    if (list.empty()) return true;
    for (;;) {
      const std::size_t colon = list.find(':');
      const std::string_view group = list.substr(0, colon);
      if (colon == std::string_view::npos && endsAddress &&
          group.find('.') != std::string_view::npos) {
        groups += 2;
        return IsDottedDecimal(group);
      }
      if (!IsH16(group)) return false;
      ++groups;
      if (colon == std::string_view::npos) return true;
      list.remove_prefix(colon + 1);
    }
  };
  if (!readGroups(head, !compressed) || !readGroups(tail, true)) return false;
  return compressed ? groups <= 7 : groups == 8;
}

UrlHostKind ClassifyIpLiteral(std::string_view inside) {
  const std::size_t percent = inside.find('%');
  if (percent == std::string_view::npos)
    return IsIpv6Address(inside) ? UrlHostKind::kIpv6 : UrlHostKind::kInvalid;
  const std::string_view zone = inside.substr(percent + 1);
  if (zone.size() < 3 || zone.substr(0, 2) != "25" ||
      !std::all_of(zone.begin() + 2, zone.end(), IsUnreserved))
    return UrlHostKind::kInvalid;
  return IsIpv6Address(inside.substr(0, percent)) ? UrlHostKind::kIpv6WithZone
                                                  : UrlHostKind::kInvalid;
}

bool IsPort(std::string_view port) {
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit))
    return false;
  unsigned value = 0;
  for (const char c : port) value = value * 10 + static_cast<unsigned>(c - '0');
  return value >= 1 && value <= 65535;
}

}  // namespace

UrlHostKind ClassifyUrlHost(std::string_view host) {
  if (!host.empty() && host.front() == '[') {
    if (host.size() < 2 || host.back() != ']') return UrlHostKind::kInvalid;
    return ClassifyIpLiteral(host.substr(1, host.size() - 2));
  }
  if (IsDottedDecimal(host)) return UrlHostKind::kIpv4;
  return IsRegName(host) ? UrlHostKind::kName : UrlHostKind::kInvalid;
}

UrlHostKind ClassifyUrlHostAndPort(std::string_view hostAndPort) {
  std::size_t hostEnd = hostAndPort.size();
  if (!hostAndPort.empty() && hostAndPort.front() == '[') {
    const std::size_t close = hostAndPort.find(']');
    if (close != std::string_view::npos) hostEnd = close + 1;
  } else if (const std::size_t colon = hostAndPort.find(':'); colon != std::string_view::npos) {
    hostEnd = colon;
  }
  const std::string_view rest = hostAndPort.substr(hostEnd);
  if (!rest.empty() && (rest.front() != ':' || !IsPort(rest.substr(1))))
    return UrlHostKind::kInvalid;
  return ClassifyUrlHost(hostAndPort.substr(0, hostEnd));
}

}  // namespace pradex
