// Device I/O with SCSI pass-through, as the IEEE 1394 address lookup uses it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pradex {

using DeviceHandle = std::uintptr_t;
inline constexpr DeviceHandle kInvalidDevice = ~static_cast<DeviceHandle>(0);

inline constexpr std::uint8_t kScsiIoctlDataIn = 1;

// The fields of SCSI_PASS_THROUGH_DIRECT (44 bytes on Windows) that a caller sets, plus the
// 32-byte sense buffer that follows it at offset 48 of the request block.
struct ScsiPassThroughDirect {
  std::uint16_t length = 44;
  std::uint8_t scsiStatus = 0;
  std::uint8_t pathId = 0;
  std::uint8_t targetId = 0;
  std::uint8_t lun = 0;
  std::uint8_t cdbLength = 0;
  std::uint8_t senseInfoLength = 0;
  std::uint8_t dataIn = 0;
  std::uint32_t dataTransferLength = 0;
  std::uint32_t timeOutValue = 0;  // seconds
  std::uint8_t* dataBuffer = nullptr;
  std::uint32_t senseInfoOffset = 0;
  std::array<std::uint8_t, 16> cdb{};
  std::array<std::uint8_t, 32> senseBuffer{};
};

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;

  // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
  // nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr): a handle or kInvalidDevice.
  virtual DeviceHandle Open(const std::string& path) = 0;

  // DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT) with the request block as input and
  // output. True when the call succeeded; the data-in bytes land in request.dataBuffer and
  // *bytesReturned (if given) is what the driver reported.
  virtual bool ScsiPassThrough(DeviceHandle device, ScsiPassThroughDirect& request,
                               std::uint32_t* bytesReturned) = 0;

  // CloseHandle.
  virtual void Close(DeviceHandle device) = 0;
};

}  // namespace pradex
