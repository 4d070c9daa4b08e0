#include "discovery/device_facts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <optional>
#include <utility>

#include "discovery/modern_port.h"
#include "platform/url_host.h"

namespace pradex {

namespace {

using Missing = DeviceFacts::Missing;
using Status = IppAnswer::Status;

constexpr std::uint16_t kIppPort = 631;

constexpr std::array<std::string_view, 11> kAttributes = {"printer-state",
                                                          "printer-state-reasons",
                                                          "printer-supply",
                                                          "printer-supply-description",
                                                          "printer-supply-info-uri",
                                                          "marker-names",
                                                          "marker-levels",
                                                          "marker-colors",
                                                          "marker-types",
                                                          "marker-low-levels",
                                                          "marker-high-levels"};

// The colours of the colorants IPP names, for supplies whose device gives no colour of its own.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kColorants = {{
    {"black", "#000000"},
    {"cyan", "#00ffff"},
    {"magenta", "#ff00ff"},
    {"yellow", "#ffff00"},
    {"red", "#ff0000"},
    {"green", "#00ff00"},
    {"blue", "#0000ff"},
    {"white", "#ffffff"},
}};

// The state reasons that say a supply is low (empty, nearly full ...), and the supplies they
// concern: those that fill up or not, of a kind that starts so ("" for every kind).
struct LowReason {
  std::string_view reason;
  bool fillsUp;
  std::string_view kind;
};
constexpr std::array<LowReason, 10> kLowReasons = {{
    {"toner-low", false, "toner"},
    {"toner-empty", false, "toner"},
    {"marker-supply-low", false, ""},
    {"marker-supply-empty", false, ""},
    {"marker-waste-almost-full", true, ""},
    {"marker-waste-full", true, ""},
    {"developer-low", false, "developer"},
    {"developer-empty", false, "developer"},
    {"opc-near-eol", false, "opc"},
    {"opc-life-over", false, "opc"},
}};

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f');
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Lower(a) == Lower(b);
}

// Printable ASCII without spaces: nothing a URI parser could read in more than one way.
bool IsPlainUri(std::string_view uri) {
  return std::all_of(uri.begin(), uri.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > ' ' && byte < 0x7f && c != '\\';
  });
}

// The queue's IPP URI of the device, as "scheme://HOST:PORT/path", when it leads to the device
// itself: the same host, the same port when one is known, and not the path of a CUPS queue
// (a print server on the device's host would answer for its queue instead). Else "".
std::string DeviceOwnUri(std::string_view uri, const std::string& host, std::uint16_t port) {
  const std::size_t separator = uri.find("://");
  if (!IsPlainUri(uri) || separator == std::string_view::npos) return "";
  const std::string scheme = Lower(uri.substr(0, separator));
  if (scheme != "ipp" && scheme != "ipps") return "";
  const std::string_view rest = uri.substr(separator + 3);
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  std::string path(rest.substr(authority.size()));
  // The host grammar also leaves out user info.
  if (ClassifyUrlHostAndPort(authority) == UrlHostKind::kInvalid) return "";
  const std::size_t hostEnd =
      authority.front() == '[' ? authority.find(']') + 1 : authority.find(':');
  if (!EqualsNoCase(authority.substr(0, hostEnd), host)) return "";
  unsigned uriPort = kIppPort;
  if (hostEnd < authority.size()) {
    const std::string_view digits = authority.substr(hostEnd + 1);
    std::from_chars(digits.data(), digits.data() + digits.size(), uriPort);
  }
  if (port != 0 && uriPort != port) return "";
  if (path.empty() || path.front() == '?') path.insert(0, "/");
  // Escapes, dot segments and empty segments could hide a queue's path from the test below.
  const std::string lowerPath = Lower(path);
  if (path.find_first_of("%#") != std::string::npos || path.find("//") != std::string::npos ||
      path.find("/.") != std::string::npos || lowerPath.starts_with("/printers/") ||
      lowerPath.starts_with("/classes/"))
    return "";
  return scheme + "://" + host + ":" + std::to_string(uriPort) + path;
}

const IppAttribute* Find(const IppAnswer& answer, std::string_view name) {
  const auto found = std::find_if(answer.attributes.begin(), answer.attributes.end(),
                                  [name](const IppAttribute& a) { return a.name == name; });
  return found == answer.attributes.end() ? nullptr : &*found;
}

std::size_t Count(const IppAttribute* attribute) {
  return attribute ? attribute->values.size() : 0;
}

std::optional<std::int64_t> IntegerAt(const IppAttribute* attribute, std::size_t index) {
  if (index >= Count(attribute) || attribute->values[index].kind != IppValue::Kind::kInteger)
    return std::nullopt;
  return attribute->values[index].integer;
}

std::string_view TextAt(const IppAttribute* attribute, std::size_t index) {
  if (index >= Count(attribute)) return {};
  const IppValue& value = attribute->values[index];
  const bool text = value.kind == IppValue::Kind::kText || value.kind == IppValue::Kind::kOctets;
  return text ? std::string_view(value.text) : std::string_view();
}

// Text to show: whole UTF-8 characters without control characters, at most `cap` bytes,
// without spaces around it. Bytes that are no UTF-8 are left out.
std::string CleanText(std::string_view text, std::size_t cap) {
  static constexpr std::array<char32_t, 5> kLeast = {0, 0, 0x80, 0x800, 0x10000};
  std::string clean;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xe  ? 3
                               : (lead >> 3) == 0x1e ? 4
                                                     : 0;
    bool valid = length != 0 && i + length <= text.size();
    char32_t code = length == 1 ? lead : lead & (0x7f >> length);
    for (std::size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
      code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3f);
    }
    valid = valid && code >= kLeast[length] && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
    if (!valid) {
      ++i;
      continue;
    }
    const bool control = code < 0x20 || (code >= 0x7f && code < 0xa0);
    if (!control) {
      if (clean.size() + length > cap) break;
      clean.append(text.substr(i, length));
    }
    i += length;
  }
  const std::size_t first = clean.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return clean.substr(first, clean.find_last_not_of(' ') + 1 - first);
}

// A supply's type keyword: marker-types' "ink-cartridge" becomes printer-supply's
// "inkCartridge"; characters no keyword has are left out.
std::string Kind(std::string_view type) {
  std::string kind;
  bool upper = false;
  for (const char c : type) {
    if (kind.size() == kMaxFactTextBytes) break;
    if (c == '-' || c == '_') {
      upper = !kind.empty();
    } else if (IsAlnum(c)) {
      kind.push_back(upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
      upper = false;
    }
  }
  return kind;
}

// "#rrggbb", from the first colour of a value like "#00FFFF" or "#00FFFF#FF00FF"; else "".
std::string Colour(std::string_view text) {
  if (text.size() < 7 || text[0] != '#' || (text.size() > 7 && text[7] != '#') ||
      !std::all_of(text.begin() + 1, text.begin() + 7, IsHex))
    return "";
  return Lower(text.substr(0, 7));
}

std::string ColorantColour(std::string_view name) {
  for (const auto& [colorant, colour] : kColorants) {
    if (EqualsNoCase(name, colorant)) return std::string(colour);
  }
  return "";
}

// A level out of `capacity` as a percentage; -2 and -3 say the device does not know.
int Level(std::int64_t level, std::int64_t capacity, bool inPercent) {
  if (level == -2 || level == -3) return Supply::kUnknown;
  if (!inPercent || level < 0 || level > capacity) return Supply::kNotReported;
  return static_cast<int>((level * 100 + capacity / 2) / capacity);
}

int Mark(std::optional<std::int64_t> mark) {
  return mark && *mark >= 0 && *mark <= 100 ? static_cast<int>(*mark) : -1;
}

std::optional<std::int64_t> Number(std::string_view text) {
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// One value of printer-supply: "index=2;class=supplyThatIsConsumed;type=toner;unit=percent;
// maxcapacity=100;level=75;colorantname=black;".
Supply FromSupplyText(std::string_view text) {
  std::string_view supplyClass, type, unit, colorant;
  std::optional<std::int64_t> level, capacity;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(';'), text.size());
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string key = Lower(field.substr(0, equals));
    const std::string_view value = field.substr(equals + 1);
    if (key == "class") supplyClass = value;
    if (key == "type") type = value;
    if (key == "unit") unit = value;
    if (key == "colorantname") colorant = value;
    if (key == "level") level = Number(value);
    if (key == "maxcapacity") capacity = Number(value);
  }
  Supply supply;
  supply.kind = Kind(type);
  supply.colour = ColorantColour(colorant);
  supply.fillsUp = EqualsNoCase(supplyClass, "receptacleThatIsFilled");
  if (level) {
    const bool inPercent = unit.empty() || EqualsNoCase(unit, "percent");
    supply.level = Level(*level, capacity && *capacity > 0 ? *capacity : 100, inPercent);
  }
  return supply;
}

std::vector<Supply> FromPrinterSupply(const IppAttribute& supplies, const IppAttribute* names) {
  std::vector<Supply> read;
  for (std::size_t i = 0; i < supplies.values.size(); ++i) {
    Supply supply = FromSupplyText(TextAt(&supplies, i));
    supply.name = CleanText(TextAt(names, i), kMaxFactTextBytes);
    read.push_back(std::move(supply));
  }
  return read;
}

std::vector<Supply> FromMarkers(const IppAnswer& answer) {
  const IppAttribute* names = Find(answer, "marker-names");
  const IppAttribute* levels = Find(answer, "marker-levels");
  const IppAttribute* colours = Find(answer, "marker-colors");
  const IppAttribute* types = Find(answer, "marker-types");
  const IppAttribute* lows = Find(answer, "marker-low-levels");
  const IppAttribute* highs = Find(answer, "marker-high-levels");
  const std::size_t count = std::max(Count(names), Count(levels));
  if (count > kMaxSupplies) return {};
  std::vector<Supply> read(count);
  for (std::size_t i = 0; i < read.size(); ++i) {
    Supply& supply = read[i];
    supply.name = CleanText(TextAt(names, i), kMaxFactTextBytes);
    supply.kind = Kind(TextAt(types, i));
    supply.colour = Colour(TextAt(colours, i));
    if (const std::optional<std::int64_t> level = IntegerAt(levels, i))
      supply.level = Level(*level, 100, true);
    supply.lowMark = Mark(IntegerAt(lows, i));
    supply.highMark = Mark(IntegerAt(highs, i));
  }
  return read;
}

bool LowByMarks(const Supply& supply) {
  if (supply.level < 0) return false;
  if (supply.fillsUp) return supply.highMark >= 0 && supply.level >= supply.highMark;
  return supply.lowMark >= 0 && supply.level <= supply.lowMark;
}

// The reasons as keywords without their -report/-warning/-error suffix, once each.
std::vector<std::string> Reasons(const IppAttribute* reasons) {
  std::vector<std::string> read;
  for (std::size_t i = 0; i < Count(reasons) && read.size() < kMaxStateReasons; ++i) {
    std::string reason;
    for (const char c : TextAt(reasons, i)) {
      const char lower = LowerAscii(c);
      if (IsAlnum(lower) || lower == '-' || lower == '_' || lower == '.') reason.push_back(lower);
    }
    for (const std::string_view suffix : {"-report", "-warning", "-error"}) {
      if (reason.ends_with(suffix)) reason.resize(reason.size() - suffix.size());
    }
    reason.resize(std::min(reason.size(), kMaxFactTextBytes));
    if (reason.empty() || reason == "none" ||
        std::find(read.begin(), read.end(), reason) != read.end())
      continue;
    read.push_back(std::move(reason));
  }
  return read;
}

// A reason marks the supplies it concerns as low, unless one of them is low by its own marks
// already: that one is what the device means.
void MarkLowByReasons(std::vector<Supply>& supplies, const std::vector<std::string>& reasons) {
  for (const LowReason& rule : kLowReasons) {
    if (std::find(reasons.begin(), reasons.end(), rule.reason) == reasons.end()) continue;
    const auto concerned = [&rule](const Supply& supply) {
      return supply.fillsUp == rule.fillsUp && supply.kind.starts_with(rule.kind);
    };
    if (std::any_of(supplies.begin(), supplies.end(),
                    [&](const Supply& supply) { return concerned(supply) && supply.low; }))
      continue;
    for (Supply& supply : supplies) supply.low = supply.low || concerned(supply);
  }
}

std::string State(std::optional<std::int64_t> state) {
  switch (state.value_or(0)) {
    case 3:
      return "idle";
    case 4:
      return "processing";
    case 5:
      return "stopped";
    default:
      return "";
  }
}

// A link for people: an http(s) URL of a host of the one URL host grammar, and without user
// info, which could make the link seem to lead elsewhere than it does.
std::string InfoUri(std::string_view uri) {
  const std::string lower = Lower(uri.substr(0, 8));
  const bool web = lower.starts_with("http://") || lower.starts_with("https://");
  const bool plain = IsPlainUri(uri) && uri.find('@') == std::string_view::npos;
  return web && plain && UrlAddress(uri) ? std::string(uri) : "";
}

Missing MissingFor(Status status) {
  switch (status) {
    case Status::kAnswered:
      return Missing::kNone;
    case Status::kUnreachable:
      return Missing::kUnreachable;
    case Status::kNotIpp:
      return Missing::kNotIpp;
    case Status::kIppError:
      return Missing::kIppError;
    case Status::kTooLarge:
      return Missing::kTooLarge;
    case Status::kTimedOut:
      return Missing::kTimedOut;
    case Status::kStopped:
      return Missing::kStopped;
  }
  return Missing::kUnreachable;
}

}  // namespace

std::vector<std::string> FactsUris(const std::string& host, std::uint16_t port,
                                   const std::string& deviceIppUri) {
  std::vector<std::string> uris;
  const bool loopback = IsLoopbackUrlHost(host);
  // On this computer port 631 is its own CUPS server, never a device: a device there (ipp-usb)
  // is asked only on the port it serves its pages on, which also serves IPP.
  if (ClassifyUrlHost(host) == UrlHostKind::kInvalid ||
      (loopback && (port == 0 || port == kIppPort)))
    return uris;
  const auto add = [&uris](std::string uri) {
    if (!uri.empty() && std::find(uris.begin(), uris.end(), uri) == uris.end())
      uris.push_back(std::move(uri));
  };
  add(DeviceOwnUri(deviceIppUri, host, port));
  const std::string base = "ipp://" + host + ":" + std::to_string(loopback ? port : kIppPort);
  add(base + "/ipp/print");
  if (!loopback) {
    add(base + "/ipp");
    add(base + "/");
  }
  return uris;
}

std::span<const std::string_view> FactsAttributes() {
  return kAttributes;
}

const char* MissingKeyword(DeviceFacts::Missing missing) {
  switch (missing) {
    case DeviceFacts::Missing::kNone:
      return "reported";
    case DeviceFacts::Missing::kNotAsked:
      return "not-asked";
    case DeviceFacts::Missing::kUnreachable:
      return "unreachable";
    case DeviceFacts::Missing::kNotIpp:
      return "not-ipp";
    case DeviceFacts::Missing::kIppError:
      return "ipp-error";
    case DeviceFacts::Missing::kNothingSaid:
      return "nothing-said";
    case DeviceFacts::Missing::kTooLarge:
      return "too-large";
    case DeviceFacts::Missing::kTimedOut:
      return "timed-out";
    case DeviceFacts::Missing::kStopped:
      return "stopped";
  }
  return "not-asked";
}

DeviceFacts FactsFromAnswer(const IppAnswer& answer) {
  DeviceFacts facts;
  facts.missing = MissingFor(answer.status);
  if (answer.status == Status::kIppError) facts.ippStatus = answer.ippStatus;
  if (answer.status != Status::kAnswered) return facts;

  facts.state = State(IntegerAt(Find(answer, "printer-state"), 0));
  facts.stateReasons = Reasons(Find(answer, "printer-state-reasons"));
  facts.supplyInfoUri = InfoUri(TextAt(Find(answer, "printer-supply-info-uri"), 0));
  const IppAttribute* supplies = Find(answer, "printer-supply");
  if (Count(supplies) > kMaxSupplies) {
    // More than any device has: none of them is believed.
  } else if (Count(supplies) > 0) {
    facts.supplies = FromPrinterSupply(*supplies, Find(answer, "printer-supply-description"));
  } else {
    facts.supplies = FromMarkers(answer);
  }
  for (Supply& supply : facts.supplies) {
    supply.fillsUp = supply.fillsUp || supply.kind.starts_with("waste");
    supply.low = LowByMarks(supply);
  }
  MarkLowByReasons(facts.supplies, facts.stateReasons);
  facts.missing =
      facts.supplies.empty() && facts.state.empty() ? Missing::kNothingSaid : Missing::kNone;
  return facts;
}

}  // namespace pradex
