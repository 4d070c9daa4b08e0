#include "discovery/device_facts.h"

#include <array>

namespace pradex {

// A first cut: where to ask, and the answer's status. The supplies come with the decoding.
std::vector<std::string> FactsUris(const std::string& host, std::uint16_t port,
                                   const std::string& deviceIppUri) {
  std::vector<std::string> uris;
  if (!deviceIppUri.empty()) uris.push_back(deviceIppUri);
  const std::string authority = "ipp://" + host + ":" + std::to_string(port ? port : 631);
  uris.push_back(authority + "/ipp/print");
  return uris;
}

std::span<const std::string_view> FactsAttributes() {
  static constexpr std::array<std::string_view, 3> kAttributes{
      "printer-state", "printer-state-reasons", "printer-supply"};
  return kAttributes;
}

DeviceFacts FactsFromAnswer(const IppAnswer& answer) {
  DeviceFacts facts;
  facts.missing = answer.status == IppAnswer::Status::kAnswered ? DeviceFacts::Missing::kNothingSaid
                                                                : DeviceFacts::Missing::kNotIpp;
  return facts;
}

}  // namespace pradex
