#include "tests/wine/monitor/test_wsd_monitor.h"

#include <windows.h>

#include <winsplp.h>
#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/apmon_defs.h"

namespace {

using pradex::winetest::kTestWsdMonitorPortsKeyW;

constexpr const wchar_t* kMonitorName = L"Pradex Test WSD Port";
constexpr const wchar_t* kDescription = L"WSD Port";

std::vector<std::wstring> PortNames() {
  std::vector<std::wstring> names;
  HKEY ports = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestWsdMonitorPortsKeyW, 0, KEY_READ, &ports) !=
      ERROR_SUCCESS)
    return names;
  wchar_t name[MAX_PATH];
  for (DWORD index = 0; RegEnumKeyW(ports, index, name, MAX_PATH) == ERROR_SUCCESS; ++index)
    names.emplace_back(name);
  RegCloseKey(ports);
  return names;
}

// A port's REG_SZ value with its closing zero, or nothing.
std::vector<BYTE> PortValue(const std::wstring& port, const wchar_t* name) {
  const std::wstring key = std::wstring(kTestWsdMonitorPortsKeyW) + L"\\" + port;
  DWORD size = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS)
    return {};
  std::vector<BYTE> bytes(size);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, bytes.data(),
                   &size) != ERROR_SUCCESS)
    return {};
  bytes.resize(size);
  return bytes;
}

BOOL WINAPI EnumPorts(HANDLE, LPWSTR, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                      LPDWORD returned) {
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  const std::vector<std::wstring> names = PortNames();
  const DWORD entrySize = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  DWORD textSize = 0;
  for (const std::wstring& name : names)
    textSize += static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
  // Level 2 entries carry every text: the spooler copies them all.
  if (level == 2)
    textSize += static_cast<DWORD>(
        names.size() * (wcslen(kMonitorName) + 1 + wcslen(kDescription) + 1) * sizeof(wchar_t));
  *needed = static_cast<DWORD>(names.size()) * entrySize + textSize;
  *returned = 0;
  if (size < *needed || (ports == nullptr && *needed > 0)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* text = reinterpret_cast<wchar_t*>(ports + names.size() * entrySize);
  const auto copy = [&text](const std::wstring& value) {
    wchar_t* start = text;
    std::memcpy(text, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
    text += value.size() + 1;
    return start;
  };
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (level == 1) {
      reinterpret_cast<PORT_INFO_1W*>(ports)[i].pName = copy(names[i]);
    } else {
      PORT_INFO_2W& entry = reinterpret_cast<PORT_INFO_2W*>(ports)[i];
      entry.pPortName = copy(names[i]);
      entry.pMonitorName = copy(kMonitorName);
      entry.pDescription = copy(kDescription);
      entry.fPortType = PORT_TYPE_WRITE;
      entry.Reserved = 0;
    }
  }
  *returned = static_cast<DWORD>(names.size());
  return TRUE;
}

BOOL WINAPI XcvOpenPort(HANDLE, LPCWSTR object, ACCESS_MASK, PHANDLE xcv) {
  for (const std::wstring& name : PortNames()) {
    if (object != nullptr && name == object) {
      *xcv = new std::wstring(name);
      return TRUE;
    }
  }
  SetLastError(ERROR_UNKNOWN_PORT);
  return FALSE;
}

DWORD Answer(const std::vector<BYTE>& answer, PBYTE output, DWORD outputSize, PDWORD needed) {
  *needed = static_cast<DWORD>(answer.size());
  if (output == nullptr || outputSize < answer.size()) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(output, answer.data(), answer.size());
  return ERROR_SUCCESS;
}

DWORD WINAPI XcvDataPort(HANDLE xcv, LPCWSTR command, PBYTE, DWORD, PBYTE output, DWORD outputSize,
                         PDWORD needed) {
  const std::wstring& port = *static_cast<const std::wstring*>(xcv);
  if (command != nullptr && wcscmp(command, pradex::win32::kXcvDeviceId) == 0) {
    const std::vector<BYTE> id = PortValue(port, L"DeviceID");
    if (!id.empty()) return Answer(id, output, outputSize, needed);
  }
  if (command != nullptr && wcscmp(command, pradex::win32::kXcvGetApPortInfo) == 0) {
    const std::vector<BYTE> url = PortValue(port, L"DeviceOrServiceUrl");
    if (!url.empty() && url.size() <= sizeof(APPORT_DATA_1::DeviceOrServiceUrl)) {
      APPORT_DATA_1 data{};
      data.Version = 1;
      data.Protocol = 1;
      std::memcpy(data.DeviceOrServiceUrl, url.data(), url.size());
      const auto* begin = reinterpret_cast<const BYTE*>(&data);
      return Answer(std::vector<BYTE>(begin, begin + sizeof(data)), output, outputSize, needed);
    }
  }
  *needed = 0;
  return ERROR_INVALID_PARAMETER;
}

BOOL WINAPI XcvClosePort(HANDLE xcv) {
  delete static_cast<std::wstring*>(xcv);
  return TRUE;
}

VOID WINAPI Shutdown(HANDLE) {}

MONITOR2 Monitor() {
  MONITOR2 monitor{};
  monitor.cbSize = sizeof(monitor);
  monitor.pfnEnumPorts = EnumPorts;
  monitor.pfnXcvOpenPort = XcvOpenPort;
  monitor.pfnXcvDataPort = XcvDataPort;
  monitor.pfnXcvClosePort = XcvClosePort;
  monitor.pfnShutdown = Shutdown;
  return monitor;
}

}  // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI
    InitializePrintMonitor2(PMONITORINIT, PHANDLE monitor) {
  static MONITOR2 table = Monitor();
  *monitor = &table;
  return &table;
}
