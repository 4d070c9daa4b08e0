// A print spooler held in memory: settable printers and ports, fault injection and call
// counts. Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler.h"
#include "platform/win_codes.h"  // kRpcServerUnavailable: EnumPorts for a server it does not know

namespace pradex {

class MemorySpooler : public Spooler {
 public:
  // Fault injection: an enumeration fails for ever, until cleared with 0.
  static constexpr int kAlways = -1;

  long EnumPrinters(std::vector<PrinterInfo>& printers) override;
  long EnumPorts(const std::optional<std::string>& serverName,
                 std::vector<std::string>& ports) override;

  void SetPrinters(std::vector<PrinterInfo> printers);
  void AddPrinter(PrinterInfo printer);
  // The ports of the local machine (serverName nullopt).
  void SetPorts(std::vector<std::string> ports);
  void AddPort(std::string port);
  // The ports of a named server; EnumPorts for any other server name fails with
  // kRpcServerUnavailable.
  void SetServerPorts(const std::string& serverName, std::vector<std::string> ports);

  // The next `times` enumerations (kAlways: every one) fail with `error`; 0 clears the fault.
  void FailEnumPrinters(long error, int times = kAlways);
  void FailEnumPorts(long error, int times = kAlways);
  // Every EnumPorts call waits this long before it answers, to widen race windows in tests.
  void SetEnumPortsDelay(std::chrono::milliseconds delay);
  // EnumPorts calls wait (after being counted) until ReleaseEnumPorts: a run held in the middle
  // of resolving a port, for as long as the test needs.
  void HoldEnumPorts();
  void ReleaseEnumPorts();
  // True once `count` EnumPorts calls have begun, false after `timeout`.
  bool WaitForEnumPortsCalls(std::size_t count, std::chrono::milliseconds timeout) const;

  std::size_t EnumPrintersCalls() const;
  std::size_t EnumPortsCalls() const;
  // The server name of the last EnumPorts call.
  std::optional<std::string> LastPortsServer() const;

 private:
  struct Fault {
    long error = 0;
    int remaining = 0;
  };
  static long TakeFault(Fault& fault);

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  bool portsHeld = false;
  std::vector<PrinterInfo> printerList;
  std::vector<std::string> localPorts;
  std::map<std::string, std::vector<std::string>> serverPorts;
  Fault printersFault;
  Fault portsFault;
  std::chrono::milliseconds portsDelay{0};
  std::size_t enumPrintersCalls = 0;
  std::size_t enumPortsCalls = 0;
  std::optional<std::string> lastPortsServer;
};

}  // namespace pradex
