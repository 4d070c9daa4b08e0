// The text form of a device's behaviour, as the emulator program takes it on its command line.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "tests/emulator/device_emulator.h"

namespace pradex::emulator {
namespace {

bool ParseInt(std::string_view text, int& value) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<DeviceSpec> ParseDeviceSpec(std::string_view text) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view where = text.substr(0, equals);
  const std::string_view what = text.substr(equals + 1);
  const auto colon = where.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  DeviceSpec spec;
  spec.address = std::string(where.substr(0, colon));
  int port = 0;
  if (!ParseInt(where.substr(colon + 1), port) || port < 0 || port > 65535) return std::nullopt;
  in_addr ignored{};
  if (inet_pton(AF_INET, spec.address.c_str(), &ignored) != 1) return std::nullopt;
  spec.port = static_cast<std::uint16_t>(port);

  if (what == "hang") {
    spec.behaviour = Behaviour::kHang;
  } else if (what == "close") {
    spec.behaviour = Behaviour::kCloseAtOnce;
  } else if (what == "reset") {
    spec.behaviour = Behaviour::kReset;
  } else if (what == "garbage") {
    spec.behaviour = Behaviour::kGarbage;
  } else if (what == "blackhole") {
    spec.behaviour = Behaviour::kBlackhole;
  } else if (what == "endless") {
    spec.behaviour = Behaviour::kEndlessBody;
  } else if (what.substr(0, 6) == "delay:") {
    std::string_view rest = what.substr(6);
    const auto second = rest.find(':');
    if (!ParseInt(rest.substr(0, second), spec.delayMs) || spec.delayMs < 0) return std::nullopt;
    if (second != std::string_view::npos && !ParseInt(rest.substr(second + 1), spec.status))
      return std::nullopt;
  } else if (what.substr(0, 8) == "trickle:") {
    spec.behaviour = Behaviour::kTrickle;
    if (!ParseInt(what.substr(8), spec.delayMs) || spec.delayMs < 0) return std::nullopt;
  } else if (!ParseInt(what, spec.status)) {
    return std::nullopt;
  }
  if (spec.status < 100 || spec.status > 999) return std::nullopt;
  return spec;
}

std::string BehaviourText(const DeviceSpec& spec) {
  switch (spec.behaviour) {
    case Behaviour::kHang:
      return "hang";
    case Behaviour::kCloseAtOnce:
      return "close";
    case Behaviour::kReset:
      return "reset";
    case Behaviour::kGarbage:
      return "garbage";
    case Behaviour::kBlackhole:
      return "blackhole";
    case Behaviour::kEndlessBody:
      return "endless";
    case Behaviour::kTrickle:
      return "trickle:" + std::to_string(spec.delayMs);
    case Behaviour::kAnswer:
      break;
  }
  if (spec.delayMs > 0)
    return "delay:" + std::to_string(spec.delayMs) + ":" + std::to_string(spec.status);
  return std::to_string(spec.status);
}

}  // namespace pradex::emulator
