// The print spooler's printer and port lists (EnumPrintersA / EnumPortsA, level 2).
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace pradex {

// The fields of a level-2 printer entry that the program reads. A field the spooler leaves
// out (a null pointer on Windows) is std::nullopt.
struct PrinterInfo {
  std::optional<std::string> serverName;
  std::optional<std::string> printerName;
  std::optional<std::string> portName;
  std::optional<std::string> driverName;
};

class Spooler {
 public:
  virtual ~Spooler() = default;

  // The local printers, in the spooler's order. 0 and the list (which may be empty: no
  // printers), or the error code of the failed enumeration (the list is then left empty).
  // Adapters carry out the platform's own size protocol inside this call.
  virtual long EnumPrinters(std::vector<PrinterInfo>& printers) = 0;
  // The same, given up within moments of `stop` with kErrorCancelled by a spooler that can be
  // cut; one that cannot lists as above. A subclass that overrides only one of the two hides
  // the other: it names both with `using Spooler::EnumPrinters;`.
  virtual long EnumPrinters(std::vector<PrinterInfo>& printers, std::stop_token) {
    return EnumPrinters(printers);
  }

  // The port names of the spooler on `serverName` (nullopt: the local machine), in the
  // spooler's order. 0 and the list (possibly empty), or an error code. Entries without a
  // name are left out.
  virtual long EnumPorts(const std::optional<std::string>& serverName,
                         std::vector<std::string>& ports) = 0;
};

}  // namespace pradex
