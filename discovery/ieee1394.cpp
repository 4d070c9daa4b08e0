#include "discovery/ieee1394.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "discovery/registry_text.h"

namespace pradex {

namespace {

constexpr const char* kPortBaseName = "1394_";
constexpr const char* kInstanceSeparator = "\\#\\";
constexpr const char* kDeviceParameters = "Device Parameters";

// The INQUIRY request as IEEE 1394 printers expect it.
constexpr std::uint16_t kPassThroughLength = 44;
constexpr std::uint8_t kTargetId = 1;
constexpr std::uint8_t kInquiryCdbLength = 6;
constexpr std::uint8_t kSenseInfoLength = 24;
constexpr std::uint32_t kInquiryBufferSize = 512;
constexpr std::uint32_t kInquiryTimeoutSeconds = 2;
constexpr std::uint32_t kSenseInfoOffset = 48;
constexpr std::uint8_t kInquiryOperationCode = 0x12;
// The address sits in bytes 36 to 39 of the INQUIRY data; a compliant device sends no more
// than the allocation length asks for, so ask for all 40 bytes.
constexpr std::uint8_t kInquiryAllocationLength = 0x28;
constexpr std::size_t kAddressOffset = 36;

// The number after "1394_" at the start of the port name. A name that does not begin with
// "1394_" followed by a decimal number (or whose number does not fit a DWORD) has none.
std::optional<std::uint32_t> PortNumberOf(const std::string& portName) {
  const std::size_t prefix = std::strlen(kPortBaseName);
  if (portName.compare(0, prefix, kPortBaseName) != 0) return std::nullopt;
  std::uint64_t number = 0;
  std::size_t i = prefix;
  for (; i < portName.size() && portName[i] >= '0' && portName[i] <= '9'; ++i) {
    number = number * 10 + static_cast<std::uint64_t>(portName[i] - '0');
    if (number > 0xFFFFFFFFu) return std::nullopt;
  }
  if (i == prefix) return std::nullopt;
  return static_cast<std::uint32_t>(number);
}

}  // namespace

long ReadRegistryValue(Registry& registry, RegKey parentKey, const std::string& subkeyPath,
                       const char* valueName, std::uint8_t* data, std::uint32_t* size) {
  ScopedRegKey key(registry);
  if (registry.OpenKey(parentKey, subkeyPath.c_str(), kKeyRead, key.out()) != kErrorSuccess) {
    return kErrorAccessDenied;
  }
  return registry.QueryValue(key.get(), valueName, nullptr, data, size);
}

bool QueryIeee1394Address(DeviceIo& deviceIo, const char* devicePath, std::string& address) {
  if (!devicePath || devicePath[0] == '\0') return false;
  const DeviceHandle device = deviceIo.Open(devicePath);
  if (device == kInvalidDevice) return false;

  std::array<std::uint8_t, kInquiryBufferSize> data{};
  ScsiPassThroughDirect request{};
  request.length = kPassThroughLength;
  request.pathId = 0;
  request.targetId = kTargetId;
  request.lun = 0;
  request.cdbLength = kInquiryCdbLength;
  request.senseInfoLength = kSenseInfoLength;
  request.dataIn = kScsiIoctlDataIn;
  request.dataTransferLength = kInquiryBufferSize;
  request.timeOutValue = kInquiryTimeoutSeconds;
  request.dataBuffer = data.data();
  request.senseInfoOffset = kSenseInfoOffset;
  request.cdb[0] = kInquiryOperationCode;
  request.cdb[4] = kInquiryAllocationLength;

  std::uint32_t bytesReturned = 0;
  const bool ok = deviceIo.ScsiPassThrough(device, request, &bytesReturned);
  deviceIo.Close(device);
  if (!ok) return false;

  const std::uint8_t* part = data.data() + kAddressOffset;
  if (part[0] == 0 && part[1] == 0 && part[2] == 0 && part[3] == 0) return false;
  address = std::to_string(part[0]) + "." + std::to_string(part[1]) + "." +
            std::to_string(part[2]) + "." + std::to_string(part[3]);
  return true;
}

bool FindIeee1394Address(Registry& registry, DeviceIo& deviceIo, std::string portName,
                         std::string& address) {
  // A name with "1394_" somewhere but no port number of its own matches no device.
  const std::optional<std::uint32_t> portNumber = PortNumberOf(portName);
  if (!portNumber) return false;

  ScopedRegKey classKey(registry);
  if (registry.OpenKey(kHkeyLocalMachine, kIeee1394ClassKey, kKeyRead, classKey.out()) !=
      kErrorSuccess) {
    return false;
  }

  for (std::uint32_t index = 0;; ++index) {
    std::array<char, kMaxPathBuffer> name{};
    if (registry.EnumKey(classKey.get(), index, name.data(),
                         static_cast<std::uint32_t>(name.size())) != kErrorSuccess) {
      return false;
    }
    const std::string instance(name.begin(), std::find(name.begin(), name.end(), '\0'));
    const std::string parameters = instance + kInstanceSeparator + kDeviceParameters;

    RegistryTextBuffer baseName{};
    std::uint32_t size = static_cast<std::uint32_t>(baseName.size());
    if (ReadRegistryValue(registry, classKey.get(), parameters, "Base Name", baseName.data(),
                          &size) != kErrorSuccess ||
        RegistryText(baseName, size) != kPortBaseName) {
      continue;
    }

    std::array<std::uint8_t, 4> numberBytes{};
    size = static_cast<std::uint32_t>(numberBytes.size());
    if (ReadRegistryValue(registry, classKey.get(), parameters, "Port Number", numberBytes.data(),
                          &size) != kErrorSuccess) {
      continue;
    }
    // A DWORD, stored little-endian; bytes the value did not hold stay zero.
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < numberBytes.size() && i < size; ++i) {
      number |= static_cast<std::uint32_t>(numberBytes[i]) << (8 * i);
    }
    if (number != *portNumber) continue;

    RegistryTextBuffer linkBytes{};
    size = static_cast<std::uint32_t>(linkBytes.size());
    if (ReadRegistryValue(registry, classKey.get(), instance + kInstanceSeparator, "SymbolicLink",
                          linkBytes.data(), &size) != kErrorSuccess) {
      return false;
    }
    // The registered link names the interface in the "\\?\" namespace; open it as "\\.\".
    std::string link = RegistryText(linkBytes, size);
    if (link.size() > 2) link[2] = '.';

    if (QueryIeee1394Address(deviceIo, link.c_str(), address)) return true;
    address.clear();
  }
}

}  // namespace pradex
