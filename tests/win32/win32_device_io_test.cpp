// Device I/O: the pass-through request block, and the calls on handles that are no SCSI device.
#include "platform/win32/win32_device_io.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace pradex {
namespace {

// The INQUIRY request as the IEEE 1394 address lookup sends it (32-bit layout values).
ScsiPassThroughDirect InquiryRequest(std::uint8_t* data) {
  ScsiPassThroughDirect request;
  request.length = 44;
  request.cdbLength = 6;
  request.senseInfoLength = 24;
  request.dataIn = kScsiIoctlDataIn;
  request.dataTransferLength = 512;
  request.timeOutValue = 2;
  request.dataBuffer = data;
  request.senseInfoOffset = 48;
  request.cdb = {0x12, 0, 0, 0x02, 0x00, 0};
  return request;
}

TEST(Win32DeviceIoTest, RequestBlockUsesThisProcesssLayout) {
  std::array<std::uint8_t, 512> data{};
  const ScsiPassThroughBlock block = MakePassThroughBlock(InquiryRequest(data.data()));
  const SCSI_PASS_THROUGH_DIRECT& sptd = block.sptd;
  EXPECT_EQ(sptd.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
  EXPECT_EQ(sptd.SenseInfoOffset, offsetof(ScsiPassThroughBlock, senseBuffer));
  EXPECT_EQ(sptd.CdbLength, 6);
  EXPECT_EQ(sptd.SenseInfoLength, 24);
  EXPECT_EQ(sptd.DataIn, SCSI_IOCTL_DATA_IN);
  EXPECT_EQ(sptd.DataTransferLength, 512u);
  EXPECT_EQ(sptd.TimeOutValue, 2u);
  EXPECT_EQ(sptd.DataBuffer, data.data());
  EXPECT_EQ(sptd.Cdb[0], 0x12);
  EXPECT_EQ(sptd.Cdb[3], 0x02);
  EXPECT_EQ(sptd.ScsiStatus, 0);
  EXPECT_EQ(sptd.PathId, 0);
  EXPECT_EQ(sptd.TargetId, 0);
  EXPECT_EQ(sptd.Lun, 0);
  EXPECT_EQ(block.filler, 0u);
  const std::array<UCHAR, 32> zeros{};
  EXPECT_EQ(std::memcmp(block.senseBuffer, zeros.data(), zeros.size()), 0);
}

TEST(Win32DeviceIoTest, SenseLengthIsBoundedBySenseBufferAndNoOffsetMeansNoSense) {
  ScsiPassThroughDirect request = InquiryRequest(nullptr);
  request.senseInfoLength = 200;
  EXPECT_EQ(MakePassThroughBlock(request).sptd.SenseInfoLength, 32);
  request.senseInfoLength = 0;
  request.senseInfoOffset = 0;
  EXPECT_EQ(MakePassThroughBlock(request).sptd.SenseInfoOffset, 0u);
}

TEST(Win32DeviceIoTest, MissingDeviceGivesTheInvalidHandle) {
  Win32DeviceIo io;
  EXPECT_EQ(io.Open("\\\\?\\pradex#no#such#device#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"),
            kInvalidDevice);
  EXPECT_EQ(kInvalidDevice, reinterpret_cast<DeviceHandle>(INVALID_HANDLE_VALUE));
}

TEST(Win32DeviceIoTest, PassThroughOnSomethingThatIsNoScsiDeviceFails) {
  char folder[MAX_PATH];
  GetTempPathA(sizeof(folder), folder);
  const std::string path =
      std::string(folder) + "pradex-device-io-" + std::to_string(GetCurrentProcessId()) + ".bin";
  const HANDLE created = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  CloseHandle(created);

  Win32DeviceIo io;
  const DeviceHandle device = io.Open(path);
  ASSERT_NE(device, kInvalidDevice);
  std::array<std::uint8_t, 512> data{};
  ScsiPassThroughDirect request = InquiryRequest(data.data());
  std::uint32_t returned = 99;
  EXPECT_FALSE(io.ScsiPassThrough(device, request, &returned));
  EXPECT_EQ(data, (std::array<std::uint8_t, 512>{}));
  io.Close(device);
  EXPECT_TRUE(DeleteFileA(path.c_str())) << "the device handle was not closed";
}

}  // namespace
}  // namespace pradex
