// The local print spooler over winspool (EnumPrintersA / EnumPortsA at level 2), each with the
// spooler's two-call size protocol: ask for the size with no buffer, then fill a buffer.
#pragma once

#include "platform/spooler.h"

namespace pradex {

class Win32Spooler : public Spooler {
 public:
  long EnumPrinters(std::vector<PrinterInfo>& printers) override;
  long EnumPorts(const std::optional<std::string>& serverName,
                 std::vector<std::string>& ports) override;
};

}  // namespace pradex
