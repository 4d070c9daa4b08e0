// Devices held in memory that answer a SCSI INQUIRY with scripted data, with fault
// injection, a record of the last request and open/close counts. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_io.h"

namespace pradex {

inline constexpr std::uint8_t kScsiOpInquiry = 0x12;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;

struct MemoryDevice {
  std::vector<std::uint8_t> inquiryData;  // the whole INQUIRY data the device holds
  bool failOpen = false;                  // Open returns kInvalidDevice
  bool failCommand = false;               // ScsiPassThrough returns false
  // Transfers at most this many bytes, even when more were asked for and are held.
  std::optional<std::uint32_t> transferLimit;
};

// A copy of a request as the caller handed it over, before the device answered.
struct RecordedScsiRequest {
  std::string devicePath;
  ScsiPassThroughDirect request;  // dataBuffer keeps the caller's pointer: compare, never read
  bool bytesReturnedGiven = false;
};

class MemoryDeviceIo : public DeviceIo {
 public:
  DeviceHandle Open(const std::string& path) override;
  // Like a compliant device, an INQUIRY transfers at most its allocation length (CDB bytes 3
  // and 4), at most dataTransferLength and at most what the device holds; the driver then
  // sets dataTransferLength to the count moved, which *bytesReturned also receives. Other
  // commands end with CHECK CONDITION and no data.
  bool ScsiPassThrough(DeviceHandle device, ScsiPassThroughDirect& request,
                       std::uint32_t* bytesReturned) override;
  void Close(DeviceHandle device) override;

  // Adds or replaces the device at `path` (matched exactly).
  void SetDevice(const std::string& path, MemoryDevice device);
  void SetInquiryData(const std::string& path, std::vector<std::uint8_t> data);
  void RemoveDevice(const std::string& path);

  std::size_t OpenAttempts() const;  // every Open call
  std::size_t OpenCount() const;     // Open calls that returned a handle
  std::size_t CloseCount() const;    // Close calls with an open handle
  std::size_t InvalidCloseCount() const;
  std::size_t OpenHandleCount() const;
  std::size_t CommandCount() const;
  std::vector<std::string> OpenedPaths() const;  // every path given to Open, in order
  std::optional<RecordedScsiRequest> LastRequest() const;

 private:
  mutable std::mutex mutex;
  std::map<std::string, MemoryDevice> devices;
  std::map<DeviceHandle, std::string> handles;
  DeviceHandle nextHandle = 0x100;
  std::size_t openAttempts = 0;
  std::size_t openCount = 0;
  std::size_t closeCount = 0;
  std::size_t invalidCloseCount = 0;
  std::size_t commandCount = 0;
  std::vector<std::string> openedPaths;
  std::optional<RecordedScsiRequest> lastRequest;
};

}  // namespace pradex
