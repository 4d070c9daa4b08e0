// Ports whose device address no TCP/IP port monitor keeps: the WSD and IPP ports of the APMON
// port monitor (Windows 8 and later). The monitor itself answers for them, and a WSD device's
// node carries the addresses the device announced (its PnP-X properties).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pradex {

// The protocol field of the APMON monitor's port information.
inline constexpr std::uint32_t kApPortProtocolWsd = 1;
inline constexpr std::uint32_t kApPortProtocolIpp = 2;

// What the APMON monitor says of one of its ports.
struct ApPortInfo {
  std::uint32_t protocol = 0;      // kApPortProtocolWsd, kApPortProtocolIpp
  std::string deviceOrServiceUrl;  // the WSD device's or the IPP printer's URL
};

// The PnP-X properties of a WSD device node that can name the device's address. Each may be
// empty: a device announces what it likes.
struct PnpxDevice {
  std::string presentationUrl;           // the device's own web page
  std::vector<std::string> ipAddresses;  // as the device announced them, without brackets
  std::vector<std::string> xAddrs;       // its WS-Discovery endpoint URLs
};

class ModernPorts {
 public:
  virtual ~ModernPorts() = default;

  // The port monitor's "GetAPPortInfo" answer for `portName` (ANSI code page). 0 and `info`, or
  // the error of opening the port or of the command (kErrorAccessDenied when refused);
  // `info` is left alone on error.
  virtual long GetApPortInfo(const std::string& portName, ApPortInfo& info) = 0;

  // The port monitor's "DeviceID" answer for the WSD port `portName`: the device's
  // "urn:uuid:..." identity. 0 and `deviceId`, or an error as above.
  virtual long GetWsdDeviceId(const std::string& portName, std::string& deviceId) = 0;

  // The device node whose PnP-X global identity is `deviceId` (compared without regard to
  // case). True and `device` when one is known to this computer.
  virtual bool FindPnpxDevice(const std::string& deviceId, PnpxDevice& device) = 0;
};

}  // namespace pradex
