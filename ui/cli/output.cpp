#include "ui/cli/output.h"

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <optional>

#include "app/texts.h"
#include "platform/posix/locale_string_resources.h"
#include "search/search_trace.h"
#include "ui/cli/cli_options.h"
#include "ui/cli/facts_output.h"
#include "ui/facts_words.h"

namespace pradex::cli {

namespace {

using PrinterVerdict = SearchTrace::PrinterVerdict;
using ProbeEnd = SearchTrace::ProbeEnd;

struct CodePoint {
  char32_t value = 0;
  std::size_t length = 0;  // bytes
};

// The well-formed UTF-8 sequence at `at` (no overlong forms, no surrogates, nothing above
// U+10FFFF), or nullopt.
std::optional<CodePoint> DecodeUtf8(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return CodePoint{lead, 1};
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (at + length > text.size()) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return std::nullopt;
  return CodePoint{value, length};
}

std::string Hex2(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02x", value & 0xFFu);
  return buffer;
}

std::string Hex4(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04x", value & 0xFFFFu);
  return buffer;
}

bool IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Invisible characters that reorder or break what a terminal shows: the bidirectional marks,
// embeddings, overrides and isolates, and the line and paragraph separators. A printer name
// holding one could pass itself off as another or split its line.
bool IsDisguising(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

std::string Lower(std::string_view text) {
  std::string lower;
  for (const char c : text)
    lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  return lower;
}

// One field of a console line, in the output codeset.
std::string ConsoleField(std::string_view utf8, const std::string& codeset, bool escape = true) {
  const std::string escaped = escape ? EscapeForConsole(utf8) : std::string(utf8);
  std::string converted;
  // Without a converter for the codeset, UTF-8 is still better than nothing.
  if (!ConvertUtf8ToCodeset(escaped, codeset, converted)) return escaped;
  return converted;
}

const char* VerdictKey(PrinterVerdict verdict) {
  switch (verdict) {
    case PrinterVerdict::kNotMaker:
      return "not-maker";
    case PrinterVerdict::kPortNotResolved:
      return "port-not-resolved";
    case PrinterVerdict::kUnsafeAddress:
      return "unsafe-address";
    case PrinterVerdict::kZoneIdAddress:
      return "zone-id-address";
    case PrinterVerdict::kNeitherFamily:
      return "neither-family";
    case PrinterVerdict::kNotRegistered:
      return "not-registered";
    case PrinterVerdict::kProbing:
      return "probed";
  }
  return "unknown";
}

const char* ProbeEndKey(ProbeEnd end) {
  switch (end) {
    case ProbeEnd::kAnswered:
      return "answered";
    case ProbeEnd::kDuplicateName:
      return "duplicate-name";
    case ProbeEnd::kHttpStatus:
      return "http-status";
    case ProbeEnd::kStatusUnreadable:
      return "status-unreadable";
    case ProbeEnd::kClientError:
      return "client-error";
    case ProbeEnd::kTimedOut:
      return "timed-out";
    case ProbeEnd::kCutByStop:
      return "cut-by-stop";
    case ProbeEnd::kNotStarted:
      return "not-started";
  }
  return "unknown";
}

// The field that tells most about a printer's reason: the driver name for the model tests, the
// port for its resolution, the address for the URL check, the URL once it was probed.
Phrase ReasonDetail(const PrinterExplanation& printer) {
  if (!printer.verdict) return {};
  switch (*printer.verdict) {
    case PrinterVerdict::kNotMaker:
    case PrinterVerdict::kNeitherFamily:
      return Phrase::Of("explain.driver", {Phrase::Literal(printer.driverName)});
    case PrinterVerdict::kPortNotResolved:
    case PrinterVerdict::kNotRegistered:
      return Phrase::Of("explain.port", {Phrase::Literal(printer.portName)});
    case PrinterVerdict::kUnsafeAddress:
    case PrinterVerdict::kZoneIdAddress:
      return Phrase::Of("explain.address", {Phrase::Literal(printer.address)});
    case PrinterVerdict::kProbing:
      return Phrase::Literal(printer.url);
  }
  return {};
}

}  // namespace

bool IsAsciiCodeset(std::string_view codeset) {
  const std::string name = Lower(codeset);
  return name == "ansi_x3.4-1968" || name == "ansi_x3.4-1986" || name == "ascii" ||
         name == "us-ascii" || name == "646" || name == "iso646-us" || name == "iso_646.irv:1991" ||
         name == "us";
}

std::string OutputCodeset(std::string_view localeCodeset) {
  if (localeCodeset.empty() || IsAsciiCodeset(localeCodeset)) return "UTF-8";
  return std::string(localeCodeset);
}

std::string EscapeForConsole(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto point = DecodeUtf8(utf8, i);
    if (!point) {
      out += "\\x" + Hex2(static_cast<unsigned char>(utf8[i]));
      ++i;
      continue;
    }
    const char32_t c = point->value;
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (IsControl(c) || IsDisguising(c)) {
      for (std::size_t k = 0; k < point->length; ++k)
        out += "\\x" + Hex2(static_cast<unsigned char>(utf8[i + k]));
    } else {
      out.append(utf8.substr(i, point->length));
    }
    i += point->length;
  }
  return out;
}

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  for (std::size_t i = 0; i < bytes.size();) {
    const auto point = DecodeUtf8(bytes, i);
    if (!point) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    const char32_t c = point->value;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        // U+2028 and U+2029 are valid JSON but end a line in JavaScript source.
        if (IsControl(c) || c == 0x2028 || c == 0x2029) {
          out += "\\u" + Hex4(static_cast<unsigned>(c));
        } else {
          out.append(bytes.substr(i, point->length));
        }
    }
    i += point->length;
  }
  out += '"';
  return out;
}

std::string FormatText(const ConsoleOutcome& outcome, const std::string& codeset, unsigned block,
                       bool supplies) {
  std::string text = outcome.status + "\n";
  for (const ConsoleDevice& device : outcome.devices) {
    text += ConsoleField(device.name, codeset) + "\t" + ConsoleField(device.url, codeset);
    // Already escaped: converted only.
    if (supplies) text += "\t" + ConsoleField(FactsField(device.facts), codeset, false);
    text += "\n";
  }
  if (outcome.explanation) {
    const Explanation& explanation = *outcome.explanation;
    text += "\n" +
            ConsoleField(Say(block, Phrase::Of("explain.spooler", {SpoolerText(explanation)})),
                         codeset) +
            "\n";
    for (const PrinterExplanation& printer : explanation.printers) {
      text += ConsoleField(printer.printerName, codeset) + "\t" +
              ConsoleField(Say(block, ReasonText(printer)), codeset) + "\t" +
              ConsoleField(Say(block, ReasonDetail(printer)), codeset);
      // A listed device that said nothing about itself: why.
      const auto listed = std::find_if(
          outcome.devices.begin(), outcome.devices.end(),
          [&](const ConsoleDevice& device) { return device.name == printer.printerName; });
      if (listed != outcome.devices.end() && !listed->facts.Reported() &&
          listed->facts.missing != DeviceFacts::Missing::kNotAsked) {
        text += "\t" + ConsoleField(
                           Text(block, "facts.explain.line", {MissingWords(block, listed->facts)}),
                           codeset);
      }
      text += "\n";
    }
  }
  return text;
}

std::string FormatJson(const ConsoleOutcome& outcome, unsigned block) {
  std::string json = "{\n  \"status\": " + JsonString(outcome.status) + ",\n  \"devices\": [";
  for (std::size_t i = 0; i < outcome.devices.size(); ++i) {
    json += i == 0 ? "\n" : ",\n";
    json += "    {\"name\": " + JsonString(outcome.devices[i].name) +
            ", \"url\": " + JsonString(outcome.devices[i].url) +
            FactsJson(outcome.devices[i].facts) + "}";
  }
  json += outcome.devices.empty() ? "],\n" : "\n  ],\n";
  json += std::string("  \"interrupted\": ") + (outcome.interrupted ? "true" : "false");
  json += ",\n  \"outcome\": " + JsonString(OutcomeKey(outcome));
  if (outcome.explanation) {
    const Explanation& explanation = *outcome.explanation;
    json += ",\n  \"explain\": {\n    \"spooler\": {\"error\": ";
    json += explanation.spoolerResult ? std::to_string(*explanation.spoolerResult) : "null";
    json += ", \"text\": " + JsonString(Say(block, SpoolerText(explanation))) +
            "},\n    \"printers\": [";
    for (std::size_t i = 0; i < explanation.printers.size(); ++i) {
      const PrinterExplanation& printer = explanation.printers[i];
      json += i == 0 ? "\n" : ",\n";
      json += "      {\"name\": " + JsonString(printer.printerName) +
              ", \"driver\": " + JsonString(printer.driverName) +
              ", \"port\": " + JsonString(printer.portName) +
              ", \"address\": " + JsonString(printer.address) +
              ", \"url\": " + JsonString(printer.url) + ", \"verdict\": ";
      json += printer.verdict ? JsonString(VerdictKey(*printer.verdict)) : "null";
      json += ", \"probe\": ";
      if (printer.probe) {
        json += "{\"end\": " + JsonString(ProbeEndKey(printer.probe->end)) +
                ", \"code\": " + std::to_string(printer.probe->code) + "}";
      } else {
        json += "null";
      }
      json += ", \"reason\": " + JsonString(Say(block, ReasonText(printer))) + "}";
    }
    json += explanation.printers.empty() ? "]\n  }" : "\n    ]\n  }";
  }
  json += "\n}\n";
  return json;
}

const char* OutcomeKey(const ConsoleOutcome& outcome) {
  if (outcome.interrupted) return "interrupted";
  if (outcome.spoolerUnavailable) return "spooler-unavailable";
  return "completed";
}

int ExitStatus(const ConsoleOutcome& outcome, bool written, int stopSignal) {
  if (!written) return kExitOutputFailed;
  if (outcome.interrupted) return kExitSignalBase + stopSignal;
  if (outcome.spoolerUnavailable) return kExitSpoolerUnavailable;
  return kExitCompleted;
}

std::string ProgressText(const SearchProgress& progress, unsigned block) {
  return "pradex-cli: " + Text(block, "cli.progress",
                               {std::to_string(progress.ended), std::to_string(progress.started)});
}

std::string SpoolerProblemLine(const ConsoleOutcome& outcome, unsigned block) {
  if (std::string_view(OutcomeKey(outcome)) != "spooler-unavailable") return "";
  return "pradex-cli: " +
         Say(block, Phrase::Of("cli.spooler-unavailable", {outcome.spoolerProblem})) + "\n";
}

}  // namespace pradex::cli
