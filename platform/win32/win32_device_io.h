// Device I/O over CreateFileA / DeviceIoControl with SCSI pass-through.
#pragma once

#include <windows.h>

#include <winioctl.h>

#include <ntddscsi.h>

#include <cstddef>

#include "platform/device_io.h"

namespace pradex {

// The request block that IOCTL_SCSI_PASS_THROUGH_DIRECT takes as input and output: the
// pass-through structure, padding to a 32-bit boundary, then the sense buffer. The structure
// holds a pointer, so its size and the sense buffer's offset depend on the pointer size: 44,
// 48 and 80 bytes in a 32-bit process, 56, 60 and 96 bytes in a 64-bit one. A 64-bit process
// must pass the 64-bit layout; the driver reads the request through that layout.
struct ScsiPassThroughBlock {
  SCSI_PASS_THROUGH_DIRECT sptd;
  ULONG filler;
  UCHAR senseBuffer[32];
};

#if defined(_WIN64)
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(offsetof(ScsiPassThroughBlock, senseBuffer) == 60);
static_assert(sizeof(ScsiPassThroughBlock) == 96);
#else
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(offsetof(ScsiPassThroughBlock, senseBuffer) == 48);
static_assert(sizeof(ScsiPassThroughBlock) == 80);
#endif

// The native request block for `request`: its fields, with the structure length and the sense
// buffer offset of this process's layout (the request states them for the 32-bit layout), the
// sense length bounded by the sense buffer, and everything else zero.
ScsiPassThroughBlock MakePassThroughBlock(const ScsiPassThroughDirect& request);

class Win32DeviceIo : public DeviceIo {
 public:
  DeviceHandle Open(const std::string& path) override;
  bool ScsiPassThrough(DeviceHandle device, ScsiPassThroughDirect& request,
                       std::uint32_t* bytesReturned) override;
  void Close(DeviceHandle device) override;
};

}  // namespace pradex
