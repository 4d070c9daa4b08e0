// A port monitor that stands in for Windows' WSD port monitor in the end-to-end test: Wine has
// none, and only a monitor answers the Xcv commands the program asks about WSD ports.
//
// Its ports are the subkeys of its Ports key; each port's values give its answers:
//   "DeviceID"            REG_SZ: answered to the "DeviceID" command
//   "DeviceOrServiceUrl"  REG_SZ: answered, as APPORT_DATA_1 of protocol WSD, to "GetAPPortInfo"
// A command without its value gets ERROR_INVALID_PARAMETER, as from a monitor that does not
// know it.
#pragma once

namespace pradex::winetest {

// Its own name, so that it never takes the place of a real monitor.
inline constexpr const char* kTestWsdMonitorKey =
    "System\\CurrentControlSet\\Control\\Print\\Monitors\\Pradex Test WSD Port";
inline constexpr const wchar_t* kTestWsdMonitorPortsKeyW =
    L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Pradex Test WSD Port\\Ports";

}  // namespace pradex::winetest
