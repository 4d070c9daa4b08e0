// Addresses of IEEE 1394 printers, asked of the device with a SCSI INQUIRY.
#pragma once

#include <cstdint>
#include <string>

#include "platform/device_io.h"
#include "platform/registry.h"

namespace pradex {

inline constexpr const char* kIeee1394ClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

// True and `address` (dotted IPv4) when a device behind the port reported its address.
bool FindIeee1394Address(Registry& registry, DeviceIo& deviceIo, std::string portName,
                         std::string& address);
// True and `address` when the device at `devicePath` answered with a non-zero address.
bool QueryIeee1394Address(DeviceIo& deviceIo, const char* devicePath, std::string& address);
// Opens `subkeyPath` below `parentKey` for reading, reads `valueName` into `data` (size in and
// out), closes the subkey; the read's result, or kErrorAccessDenied when it cannot be opened.
long ReadRegistryValue(Registry& registry, RegKey parentKey, const std::string& subkeyPath,
                       const char* valueName, std::uint8_t* data, std::uint32_t* size);

}  // namespace pradex
