// The WSD and IPP ports of the APMON port monitor: its Xcv commands through the spooler, and
// the PnP-X properties of WSD device nodes through SetupDi.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/modern_ports.h"

namespace pradex {

// One Xcv command on a port, the way the spooler carries it to the port's monitor. A seam of
// its own: only a real Windows machine has monitors that answer these commands.
class XcvChannel {
 public:
  virtual ~XcvChannel() = default;
  // XcvDataW(`command`) without input on ",XcvPort <portName>". 0 and the output bytes, or the
  // error of opening the port, of the call or the monitor's status.
  virtual long Ask(const std::wstring& portName, const wchar_t* command,
                   std::vector<std::uint8_t>& output) = 0;
};

// OpenPrinterW(",XcvPort <port>") with read access, XcvDataW, ClosePrinter.
class SpoolerXcvChannel : public XcvChannel {
 public:
  long Ask(const std::wstring& portName, const wchar_t* command,
           std::vector<std::uint8_t>& output) override;
};

class Win32ModernPorts : public ModernPorts {
 public:
  // `xcv` must outlive this object.
  explicit Win32ModernPorts(XcvChannel& xcv) : xcv(xcv) {}

  long GetApPortInfo(const std::string& portName, ApPortInfo& info) override;
  long GetWsdDeviceId(const std::string& portName, std::string& deviceId) override;
  // Walks every device node (present or not) of every class for the one whose GlobalIdentity
  // matches; "urn:uuid:" on either side is not part of the comparison.
  bool FindPnpxDevice(const std::string& deviceId, PnpxDevice& device) override;

 private:
  XcvChannel& xcv;
};

}  // namespace pradex
