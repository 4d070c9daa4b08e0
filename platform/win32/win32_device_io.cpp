#include "platform/win32/win32_device_io.h"

#include <algorithm>
#include <cstring>

namespace pradex {

static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014);

ScsiPassThroughBlock MakePassThroughBlock(const ScsiPassThroughDirect& request) {
  ScsiPassThroughBlock block;
  std::memset(&block, 0, sizeof(block));
  SCSI_PASS_THROUGH_DIRECT& sptd = block.sptd;
  sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
  sptd.ScsiStatus = request.scsiStatus;
  sptd.PathId = request.pathId;
  sptd.TargetId = request.targetId;
  sptd.Lun = request.lun;
  sptd.CdbLength = request.cdbLength;
  sptd.SenseInfoLength =
      std::min<UCHAR>(request.senseInfoLength, static_cast<UCHAR>(sizeof(block.senseBuffer)));
  sptd.DataIn = request.dataIn;
  sptd.DataTransferLength = request.dataTransferLength;
  sptd.TimeOutValue = request.timeOutValue;
  sptd.DataBuffer = request.dataBuffer;
  // The request names the sense buffer by its 32-bit offset; here it lies where this
  // process's layout puts it.
  sptd.SenseInfoOffset =
      request.senseInfoOffset != 0 ? offsetof(ScsiPassThroughBlock, senseBuffer) : 0;
  std::copy(request.cdb.begin(), request.cdb.end(), sptd.Cdb);
  std::copy(request.senseBuffer.begin(), request.senseBuffer.end(), block.senseBuffer);
  return block;
}

DeviceHandle Win32DeviceIo::Open(const std::string& path) {
  const HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<DeviceHandle>(handle);
}

bool Win32DeviceIo::ScsiPassThrough(DeviceHandle device, ScsiPassThroughDirect& request,
                                    std::uint32_t* bytesReturned) {
  ScsiPassThroughBlock block = MakePassThroughBlock(request);
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(device), IOCTL_SCSI_PASS_THROUGH_DIRECT,
                                  &block, sizeof(block), &block, sizeof(block), &returned, nullptr);
  if (bytesReturned) *bytesReturned = returned;
  if (!ok) return false;
  // What the driver reports back: status, transferred length and sense data.
  request.scsiStatus = block.sptd.ScsiStatus;
  request.dataTransferLength = block.sptd.DataTransferLength;
  request.senseInfoLength = block.sptd.SenseInfoLength;
  std::copy(std::begin(block.senseBuffer), std::end(block.senseBuffer),
            request.senseBuffer.begin());
  return true;
}

void Win32DeviceIo::Close(DeviceHandle device) {
  if (device != kInvalidDevice) CloseHandle(reinterpret_cast<HANDLE>(device));
}

}  // namespace pradex
