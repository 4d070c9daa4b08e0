// WSD and IPP ports held in memory: what the APMON monitor answers for each port, and the WSD
// device nodes, with a record of the questions asked. Not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/modern_ports.h"
#include "platform/win_codes.h"

namespace pradex {

class FakeModernPorts : public ModernPorts {
 public:
  // A port without an answer of its own gets `unknownPortError` from both Xcv commands.
  long unknownPortError = kErrorInvalidParameter;

  void SetApPortInfo(const std::string& port, std::uint32_t protocol, std::string url) {
    apPorts[port] = {kErrorSuccess, ApPortInfo{protocol, std::move(url)}};
  }
  void FailApPortInfo(const std::string& port, long error) { apPorts[port] = {error, {}}; }
  void SetDeviceId(const std::string& port, std::string id) {
    deviceIds[port] = {kErrorSuccess, std::move(id)};
  }
  void FailDeviceId(const std::string& port, long error) { deviceIds[port] = {error, {}}; }
  void AddDevice(const std::string& identity, PnpxDevice device) {
    devices[identity] = std::move(device);
  }

  long GetApPortInfo(const std::string& portName, ApPortInfo& info) override {
    asked.push_back("GetAPPortInfo " + portName);
    const auto it = apPorts.find(portName);
    if (it == apPorts.end()) return unknownPortError;
    if (it->second.error == kErrorSuccess) info = it->second.info;
    return it->second.error;
  }
  long GetWsdDeviceId(const std::string& portName, std::string& deviceId) override {
    asked.push_back("DeviceID " + portName);
    const auto it = deviceIds.find(portName);
    if (it == deviceIds.end()) return unknownPortError;
    if (it->second.error == kErrorSuccess) deviceId = it->second.id;
    return it->second.error;
  }
  bool FindPnpxDevice(const std::string& deviceId, PnpxDevice& device) override {
    asked.push_back("device " + deviceId);
    const auto it = devices.find(deviceId);
    if (it == devices.end()) return false;
    device = it->second;
    return true;
  }

  // Every question in the order asked: "GetAPPortInfo <port>", "DeviceID <port>",
  // "device <identity>".
  std::vector<std::string> asked;

 private:
  struct InfoAnswer {
    long error;
    ApPortInfo info;
  };
  struct IdAnswer {
    long error;
    std::string id;
  };
  std::map<std::string, InfoAnswer> apPorts;
  std::map<std::string, IdAnswer> deviceIds;
  std::map<std::string, PnpxDevice> devices;
};

}  // namespace pradex
