#include "tests/wine/e2e/registry_setup.h"

#include <devpropdef.h>

#include <utility>

#include "platform/win32/apmon_defs.h"
#include "tests/wine/monitor/test_wsd_monitor.h"

namespace pradex::winetest {

bool SetText(HKEY root, const std::string& key, const char* name, const std::string& text) {
  HKEY opened = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG result =
      RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
  RegCloseKey(opened);
  return result == ERROR_SUCCESS;
}

std::optional<std::string> GetText(HKEY root, const std::string& key, const char* name,
                                   DWORD* type) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::nullopt;
  DWORD size = 0;
  DWORD valueType = REG_NONE;
  std::optional<std::string> text;
  if (RegQueryValueExA(opened, name, nullptr, &valueType, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<char> buffer(size + 1, '\0');
    if (RegQueryValueExA(opened, name, nullptr, &valueType, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) == ERROR_SUCCESS) {
      text = std::string(buffer.data());
      if (type != nullptr) *type = valueType;
    }
  }
  RegCloseKey(opened);
  return text;
}

void DeleteValue(HKEY root, const std::string& key, const char* name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return;
  RegDeleteValueA(opened, name);
  RegCloseKey(opened);
}

SavedValue::SavedValue(HKEY root, std::string key, std::string name)
    : root(root), key(std::move(key)), name(std::move(name)) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, this->key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
  DWORD size = 0;
  if (RegQueryValueExA(opened, this->name.c_str(), nullptr, &type, nullptr, &size) ==
      ERROR_SUCCESS) {
    data.resize(size);
    existed = RegQueryValueExA(opened, this->name.c_str(), nullptr, &type,
                               data.empty() ? nullptr : data.data(), &size) == ERROR_SUCCESS;
    data.resize(size);
  }
  RegCloseKey(opened);
}

void SavedValue::Restore() const {
  if (!existed) {
    DeleteValue(root, key, name.c_str());
    return;
  }
  HKEY opened = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(opened, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                 static_cast<DWORD>(data.size()));
  RegCloseKey(opened);
}

void InstallPrinter(const TestPrinter& printer) {
  const std::string key = std::string(kPrintersKey) + "\\" + printer.name;
  SetText(HKEY_LOCAL_MACHINE, key, "Name", printer.name);
  SetText(HKEY_LOCAL_MACHINE, key, "Port", printer.port);
  SetText(HKEY_LOCAL_MACHINE, key, "Printer Driver", printer.driver);
  SetText(HKEY_LOCAL_MACHINE, key, "Print Processor", "winprint");
  SetText(HKEY_LOCAL_MACHINE, key, "Datatype", "RAW");
  if (printer.localPort) SetText(HKEY_LOCAL_MACHINE, kPortsKey, printer.port.c_str(), "");
  if (!printer.host.empty()) SetPrinterHost(printer, printer.host);
}

void RemovePrinter(const TestPrinter& printer) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kPrintersKey) + "\\" + printer.name).c_str());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kMonitorPortsKey) + "\\" + printer.port).c_str());
  DeleteValue(HKEY_LOCAL_MACHINE, kPortsKey, printer.port.c_str());
}

void SetPrinterHost(const TestPrinter& printer, const std::string& host) {
  SetText(HKEY_LOCAL_MACHINE, std::string(kMonitorPortsKey) + "\\" + printer.port, "HostName",
          host);
}

bool RegisterWsdMonitor(const std::string& driver) {
  return SetText(HKEY_LOCAL_MACHINE, kTestWsdMonitorKey, "Driver", driver);
}

bool AddWsdPort(const std::string& port, const std::string& deviceId) {
  return SetText(HKEY_LOCAL_MACHINE, std::string(kTestWsdMonitorKey) + "\\Ports\\" + port,
                 "DeviceID", deviceId);
}

void RemoveWsdMonitor() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestWsdMonitorKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestWsdMonitorKey);
}

WsdDeviceNode::WsdDeviceNode(const std::wstring& instance, const std::wstring& identity,
                             const std::wstring& presentationUrl)
    : node(instance) {
  error = node.error;
  if (!node.registered) return;
  if (!node.Set(win32::PKEY_PNPX_GlobalIdentity, DEVPROP_TYPE_STRING,
                testsupport::StringBytes(identity)) ||
      !node.Set(win32::PKEY_PNPX_PresentationUrl, DEVPROP_TYPE_STRING,
                testsupport::StringBytes(presentationUrl)))
    error = GetLastError() != 0 ? GetLastError() : ERROR_INVALID_DATA;
}

}  // namespace pradex::winetest
