#include "tests/fakes/memory_device_io.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pradex {

DeviceHandle MemoryDeviceIo::Open(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  ++openAttempts;
  openedPaths.push_back(path);
  const auto it = devices.find(path);
  if (it == devices.end() || it->second.failOpen) return kInvalidDevice;
  const DeviceHandle handle = nextHandle;
  nextHandle += 4;
  handles[handle] = path;
  ++openCount;
  return handle;
}

bool MemoryDeviceIo::ScsiPassThrough(DeviceHandle device, ScsiPassThroughDirect& request,
                                     std::uint32_t* bytesReturned) {
  std::lock_guard<std::mutex> lock(mutex);
  ++commandCount;
  const auto handle = handles.find(device);
  if (handle == handles.end()) return false;
  lastRequest = RecordedScsiRequest{handle->second, request, bytesReturned != nullptr};
  const auto it = devices.find(handle->second);
  if (it == devices.end() || it->second.failCommand) return false;
  const MemoryDevice& dev = it->second;

  std::uint32_t moved = 0;
  if (request.cdbLength >= 6 && request.cdb[0] == kScsiOpInquiry) {
    request.scsiStatus = 0;
    const std::uint32_t allocationLength =
        (static_cast<std::uint32_t>(request.cdb[3]) << 8) | request.cdb[4];
    moved = std::min({allocationLength, request.dataTransferLength,
                      static_cast<std::uint32_t>(dev.inquiryData.size())});
    if (dev.transferLimit) moved = std::min(moved, *dev.transferLimit);
    if (request.dataIn != kScsiIoctlDataIn || !request.dataBuffer) moved = 0;
    if (moved > 0) std::memcpy(request.dataBuffer, dev.inquiryData.data(), moved);
  } else {
    request.scsiStatus = kScsiStatusCheckCondition;
  }
  request.dataTransferLength = moved;
  if (bytesReturned) *bytesReturned = moved;
  return true;
}

void MemoryDeviceIo::Close(DeviceHandle device) {
  std::lock_guard<std::mutex> lock(mutex);
  if (handles.erase(device) > 0) {
    ++closeCount;
  } else {
    ++invalidCloseCount;
  }
}

void MemoryDeviceIo::SetDevice(const std::string& path, MemoryDevice device) {
  std::lock_guard<std::mutex> lock(mutex);
  devices[path] = std::move(device);
}

void MemoryDeviceIo::SetInquiryData(const std::string& path, std::vector<std::uint8_t> data) {
  std::lock_guard<std::mutex> lock(mutex);
  devices[path].inquiryData = std::move(data);
}

void MemoryDeviceIo::RemoveDevice(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  devices.erase(path);
}

std::size_t MemoryDeviceIo::OpenAttempts() const {
  std::lock_guard<std::mutex> lock(mutex);
  return openAttempts;
}

std::size_t MemoryDeviceIo::OpenCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return openCount;
}

std::size_t MemoryDeviceIo::CloseCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return closeCount;
}

std::size_t MemoryDeviceIo::InvalidCloseCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return invalidCloseCount;
}

std::size_t MemoryDeviceIo::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return handles.size();
}

std::size_t MemoryDeviceIo::CommandCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return commandCount;
}

std::vector<std::string> MemoryDeviceIo::OpenedPaths() const {
  std::lock_guard<std::mutex> lock(mutex);
  return openedPaths;
}

std::optional<RecordedScsiRequest> MemoryDeviceIo::LastRequest() const {
  std::lock_guard<std::mutex> lock(mutex);
  return lastRequest;
}

}  // namespace pradex
