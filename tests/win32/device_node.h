// A printer device node registered with SetupDi for the object's life, with device properties
// as a test sets them; a node left over from an interrupted run is removed first.
#pragma once

#include <windows.h>

#include <devpropdef.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "platform/win32/apmon_defs.h"

namespace pradex::testsupport {

// The printer device class.
inline const GUID kPrinterClass = {
    0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

inline std::vector<BYTE> StringBytes(const std::wstring& text) {
  const auto* begin = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

class DeviceNode {
 public:
  explicit DeviceNode(const std::wstring& instance) {
    set = SetupDiCreateDeviceInfoList(&kPrinterClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
      error = GetLastError();
      return;
    }
    data.cbSize = sizeof(data);
    if (SetupDiOpenDeviceInfoW(set, instance.c_str(), nullptr, 0, &data)) {
      SetupDiRemoveDevice(set, &data);
      SetupDiDeleteDeviceInfo(set, &data);
    }
    if (!SetupDiCreateDeviceInfoW(set, instance.c_str(), &kPrinterClass, nullptr, nullptr, 0,
                                  &data) ||
        !SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr)) {
      error = GetLastError();
      return;
    }
    registered = true;
  }
  ~DeviceNode() {
    if (registered) SetupDiRemoveDevice(set, &data);
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
  }
  DeviceNode(const DeviceNode&) = delete;
  DeviceNode& operator=(const DeviceNode&) = delete;

  bool Set(const DEVPROPKEY& key, DEVPROPTYPE type, const std::vector<BYTE>& bytes) {
    return SetupDiSetDevicePropertyW(set, &data, &key, type, bytes.data(),
                                     static_cast<DWORD>(bytes.size()), 0) != FALSE;
  }

  bool registered = false;
  DWORD error = 0;  // of the step that failed

 private:
  HDEVINFO set = INVALID_HANDLE_VALUE;
  SP_DEVINFO_DATA data{};
};

}  // namespace pradex::testsupport
