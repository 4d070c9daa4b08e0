// What the MinGW-w64 headers lack of the APMON port monitor's transceive (Xcv) commands, of
// the PnP-X device properties of WSD devices and of SetupDi's property writer (exported by
// setupapi.dll since Windows Vista). Declared once, here.
#pragma once

#include <windows.h>

#include <devpropdef.h>
#include <setupapi.h>

extern "C" WINSETUPAPI WINBOOL WINAPI SetupDiSetDevicePropertyW(
    HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, const DEVPROPKEY* PropertyKey,
    DEVPROPTYPE PropertyType, const BYTE* PropertyBuffer, DWORD PropertyBufferSize, DWORD Flags);

// The answer to "GetAPPortInfo" on a port of the APMON monitor.
typedef struct _APPORT_DATA_1 {
  DWORD Version;
  DWORD Protocol;  // 1 WSD, 2 IPP
  WCHAR DeviceOrServiceUrl[MAX_PATH];
} APPORT_DATA_1, *PAPPORT_DATA_1;

namespace pradex::win32 {

// Xcv commands of the APMON and WSD port monitors.
inline constexpr const wchar_t* kXcvGetApPortInfo = L"GetAPPortInfo";
inline constexpr const wchar_t* kXcvDeviceId = L"DeviceID";

// The PnP-X property set of a device node: {656A3BB3-ECC0-43FD-8477-4AE0404A96CD}.
inline constexpr DEVPROPGUID kPnpxPropertySet = {
    0x656a3bb3, 0xecc0, 0x43fd, {0x84, 0x77, 0x4a, 0xe0, 0x40, 0x4a, 0x96, 0xcd}};
inline constexpr DEVPROPKEY PKEY_PNPX_GlobalIdentity = {kPnpxPropertySet, 0x1000};
inline constexpr DEVPROPKEY PKEY_PNPX_XAddrs = {kPnpxPropertySet, 0x1003};
inline constexpr DEVPROPKEY PKEY_PNPX_PresentationUrl = {kPnpxPropertySet, 0x2006};
inline constexpr DEVPROPKEY PKEY_PNPX_IpAddress = {kPnpxPropertySet, 0x3009};

}  // namespace pradex::win32
