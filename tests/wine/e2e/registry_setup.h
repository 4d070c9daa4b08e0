// The machine state the end-to-end test gives the program, written into the Wine prefix's
// registry and taken out again: printers, ports, TCP/IP monitor entries, the command
// registered for http links, and values saved before the test changes them.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/win32/device_node.h"

namespace pradex::winetest {

inline constexpr const char* kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr const char* kPortsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
inline constexpr const char* kMonitorPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
inline constexpr const char* kHttpCommandKey = "Software\\Classes\\http\\shell\\open\\command";
inline constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Creates the key when needed; true when the value was written (REG_SZ with its zero byte).
bool SetText(HKEY root, const std::string& key, const char* name, const std::string& text);
// The value's bytes up to its first zero, and its type; nullopt when it cannot be read.
std::optional<std::string> GetText(HKEY root, const std::string& key, const char* name,
                                   DWORD* type = nullptr);
void DeleteValue(HKEY root, const std::string& key, const char* name);

// One value as it was, put back by Restore.
class SavedValue {
 public:
  SavedValue(HKEY root, std::string key, std::string name);
  void Restore() const;

 private:
  HKEY root;
  std::string key;
  std::string name;
  bool existed = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct TestPrinter {
  std::string name;  // in the ANSI code page
  std::string port;
  std::string driver;
  std::string host;       // the monitor's HostName: address and port of its device; "" none
  bool localPort = true;  // the port is the local port monitor's (false: another monitor's)
};

// A printer of the spooler with its port and the port's Standard TCP/IP monitor entry.
void InstallPrinter(const TestPrinter& printer);
void RemovePrinter(const TestPrinter& printer);
// Points the printer's port at another device.
void SetPrinterHost(const TestPrinter& printer, const std::string& host);

// The stand-in for Windows' WSD port monitor (tests/wine/monitor), registered with the DLL at
// `driver`, and one port of it whose "DeviceID" answer is `deviceId`.
bool RegisterWsdMonitor(const std::string& driver);
bool AddWsdPort(const std::string& port, const std::string& deviceId);
void RemoveWsdMonitor();

// A WSD printer's device node with its PnP-X global identity and device page, made through
// SetupDi for the object's life.
class WsdDeviceNode {
 public:
  WsdDeviceNode(const std::wstring& instance, const std::wstring& identity,
                const std::wstring& presentationUrl);
  // 0 once made; otherwise the error of the step that failed.
  DWORD Error() const { return error; }

 private:
  testsupport::DeviceNode node;
  DWORD error = 0;
};

}  // namespace pradex::winetest
