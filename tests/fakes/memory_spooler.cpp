#include "tests/fakes/memory_spooler.h"

#include <thread>
#include <utility>

namespace pradex {

long MemorySpooler::TakeFault(Fault& fault) {
  if (fault.error == 0 || fault.remaining == 0) return 0;
  if (fault.remaining > 0 && --fault.remaining == 0) {
    const long error = fault.error;
    fault.error = 0;
    return error;
  }
  return fault.error;
}

long MemorySpooler::EnumPrinters(std::vector<PrinterInfo>& printers) {
  printers.clear();
  std::lock_guard<std::mutex> lock(mutex);
  ++enumPrintersCalls;
  if (const long error = TakeFault(printersFault)) return error;
  printers = printerList;
  return 0;
}

long MemorySpooler::EnumPorts(const std::optional<std::string>& serverName,
                              std::vector<std::string>& ports) {
  ports.clear();
  std::chrono::milliseconds delay{0};
  {
    std::unique_lock<std::mutex> lock(mutex);
    ++enumPortsCalls;
    lastPortsServer = serverName;
    delay = portsDelay;
    changed.notify_all();
    changed.wait(lock, [this] { return !portsHeld; });
  }
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
  std::lock_guard<std::mutex> lock(mutex);
  if (const long error = TakeFault(portsFault)) return error;
  if (!serverName) {
    ports = localPorts;
    return 0;
  }
  const auto it = serverPorts.find(*serverName);
  if (it == serverPorts.end()) return kRpcServerUnavailable;
  ports = it->second;
  return 0;
}

void MemorySpooler::SetPrinters(std::vector<PrinterInfo> printers) {
  std::lock_guard<std::mutex> lock(mutex);
  printerList = std::move(printers);
}

void MemorySpooler::AddPrinter(PrinterInfo printer) {
  std::lock_guard<std::mutex> lock(mutex);
  printerList.push_back(std::move(printer));
}

void MemorySpooler::SetPorts(std::vector<std::string> ports) {
  std::lock_guard<std::mutex> lock(mutex);
  localPorts = std::move(ports);
}

void MemorySpooler::AddPort(std::string port) {
  std::lock_guard<std::mutex> lock(mutex);
  localPorts.push_back(std::move(port));
}

void MemorySpooler::SetServerPorts(const std::string& serverName, std::vector<std::string> ports) {
  std::lock_guard<std::mutex> lock(mutex);
  serverPorts[serverName] = std::move(ports);
}

void MemorySpooler::FailEnumPrinters(long error, int times) {
  std::lock_guard<std::mutex> lock(mutex);
  printersFault = Fault{error, error == 0 ? 0 : times};
}

void MemorySpooler::FailEnumPorts(long error, int times) {
  std::lock_guard<std::mutex> lock(mutex);
  portsFault = Fault{error, error == 0 ? 0 : times};
}

void MemorySpooler::SetEnumPortsDelay(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(mutex);
  portsDelay = delay;
}

void MemorySpooler::HoldEnumPorts() {
  std::lock_guard<std::mutex> lock(mutex);
  portsHeld = true;
}

void MemorySpooler::ReleaseEnumPorts() {
  std::lock_guard<std::mutex> lock(mutex);
  portsHeld = false;
  changed.notify_all();
}

bool MemorySpooler::WaitForEnumPortsCalls(std::size_t count,
                                          std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout, [&] { return enumPortsCalls >= count; });
}

std::size_t MemorySpooler::EnumPrintersCalls() const {
  std::lock_guard<std::mutex> lock(mutex);
  return enumPrintersCalls;
}

std::size_t MemorySpooler::EnumPortsCalls() const {
  std::lock_guard<std::mutex> lock(mutex);
  return enumPortsCalls;
}

std::optional<std::string> MemorySpooler::LastPortsServer() const {
  std::lock_guard<std::mutex> lock(mutex);
  return lastPortsServer;
}

}  // namespace pradex
