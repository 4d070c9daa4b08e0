#include "platform/win32/win32_spooler.h"

#include <windows.h>
#include <winspool.h>
// The interface's names, not winspool's A/W switches.
#undef EnumPrinters
#undef EnumPorts

#include <memory>
#include <new>

namespace pradex {
namespace {

std::optional<std::string> TextOf(const char* text) {
  if (!text) return std::nullopt;
  return std::string(text);
}

// The error of a failed call; never 0, so that a failure cannot pass for success.
long LastErrorOrFailure() {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? static_cast<long>(error) : ERROR_GEN_FAILURE;
}

}  // namespace

long Win32Spooler::EnumPrinters(std::vector<PrinterInfo>& printers) {
  printers.clear();
  DWORD needed = 0;
  DWORD returned = 0;
  if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return LastErrorOrFailure();
  }
  if (needed == 0) return ERROR_SUCCESS;  // no printers

  // One byte more than the spooler asked for.
  const DWORD bufferSize = needed + 1;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[bufferSize]);
  if (!buffer) {
    SetLastError(ERROR_OUTOFMEMORY);
    return ERROR_OUTOFMEMORY;
  }
  if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.get(), bufferSize, &needed,
                     &returned)) {
    return LastErrorOrFailure();
  }

  const auto* entries = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.get());
  printers.reserve(returned);
  for (DWORD i = 0; i < returned; ++i) {
    printers.push_back(PrinterInfo{TextOf(entries[i].pServerName), TextOf(entries[i].pPrinterName),
                                   TextOf(entries[i].pPortName), TextOf(entries[i].pDriverName)});
  }
  return ERROR_SUCCESS;
}

long Win32Spooler::EnumPorts(const std::optional<std::string>& serverName,
                             std::vector<std::string>& ports) {
  ports.clear();
  char* server = serverName ? const_cast<char*>(serverName->c_str()) : nullptr;
  DWORD needed = 0;
  DWORD returned = 0;
  if (!EnumPortsA(server, 2, nullptr, 0, &needed, &returned) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return LastErrorOrFailure();
  }
  if (needed == 0) return ERROR_SUCCESS;  // no ports

  // Five bytes more than the spooler asked for.
  const DWORD bufferSize = needed + 5;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[bufferSize]);
  if (!buffer) return ERROR_OUTOFMEMORY;
  if (!EnumPortsA(server, 2, buffer.get(), bufferSize, &needed, &returned)) {
    return LastErrorOrFailure();
  }

  const auto* entries = reinterpret_cast<const PORT_INFO_2A*>(buffer.get());
  ports.reserve(returned);
  for (DWORD i = 0; i < returned; ++i) {
    if (entries[i].pPortName) ports.emplace_back(entries[i].pPortName);
  }
  return ERROR_SUCCESS;
}

}  // namespace pradex
