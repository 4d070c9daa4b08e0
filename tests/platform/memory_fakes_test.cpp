#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <string>
#include <vector>

#include "tests/fakes/memory_device_io.h"
#include "tests/fakes/memory_spooler.h"
#include "platform/win_codes.h"

namespace pradex {
namespace {

// --- MemorySpooler -------------------------------------------------------------------------

TEST(MemorySpoolerTest, ReturnsPrintersAndPortsInOrder) {
  MemorySpooler spooler;
  spooler.SetPrinters({PrinterInfo{std::nullopt, "Office", "IP_1", "Tamrin GlowMark 1"},
                       PrinterInfo{"\\\\server", std::nullopt, "IP_2", std::nullopt}});
  spooler.AddPrinter(PrinterInfo{std::nullopt, "Lab", std::nullopt, "Other"});
  spooler.SetPorts({"LPT1:", "IP_1"});
  spooler.AddPort("IP_2");

  std::vector<PrinterInfo> printers;
  ASSERT_EQ(spooler.EnumPrinters(printers), 0);
  ASSERT_EQ(printers.size(), 3u);
  EXPECT_EQ(printers[0].printerName, "Office");
  EXPECT_EQ(printers[1].serverName, "\\\\server");
  EXPECT_FALSE(printers[1].printerName.has_value());
  EXPECT_FALSE(printers[1].driverName.has_value());
  EXPECT_FALSE(printers[2].portName.has_value());

  std::vector<std::string> ports{"stale"};
  ASSERT_EQ(spooler.EnumPorts(std::nullopt, ports), 0);
  EXPECT_EQ(ports, (std::vector<std::string>{"LPT1:", "IP_1", "IP_2"}));
  EXPECT_EQ(spooler.EnumPrintersCalls(), 1u);
  EXPECT_EQ(spooler.EnumPortsCalls(), 1u);
}

TEST(MemorySpoolerTest, EmptyListsAreSuccess) {
  MemorySpooler spooler;
  std::vector<PrinterInfo> printers{PrinterInfo{}};
  std::vector<std::string> ports{"x"};
  EXPECT_EQ(spooler.EnumPrinters(printers), 0);
  EXPECT_EQ(spooler.EnumPorts(std::nullopt, ports), 0);
  EXPECT_TRUE(printers.empty());
  EXPECT_TRUE(ports.empty());
}

TEST(MemorySpoolerTest, NamedServers) {
  MemorySpooler spooler;
  spooler.SetPorts({"local"});
  spooler.SetServerPorts("\\\\printsrv", {"remote"});
  std::vector<std::string> ports;
  EXPECT_EQ(spooler.EnumPorts(std::string("\\\\printsrv"), ports), 0);
  EXPECT_EQ(ports, std::vector<std::string>{"remote"});
  EXPECT_EQ(spooler.LastPortsServer(), std::optional<std::string>("\\\\printsrv"));
  EXPECT_EQ(spooler.EnumPorts(std::string("\\\\elsewhere"), ports), kRpcServerUnavailable);
  EXPECT_TRUE(ports.empty());
  EXPECT_EQ(spooler.EnumPorts(std::nullopt, ports), 0);
  EXPECT_FALSE(spooler.LastPortsServer().has_value());
}

TEST(MemorySpoolerTest, FaultsLastForeverOrForACountAndEmptyTheList) {
  MemorySpooler spooler;
  spooler.SetPorts({"IP_1"});
  spooler.SetPrinters({PrinterInfo{}});
  std::vector<std::string> ports{"stale"};
  std::vector<PrinterInfo> printers;

  spooler.FailEnumPorts(kErrorAccessDenied);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(spooler.EnumPorts(std::nullopt, ports), kErrorAccessDenied);
    EXPECT_TRUE(ports.empty());
  }
  spooler.FailEnumPorts(0);
  EXPECT_EQ(spooler.EnumPorts(std::nullopt, ports), 0);
  EXPECT_EQ(ports.size(), 1u);

  spooler.FailEnumPrinters(kErrorOutOfMemory, 2);
  EXPECT_EQ(spooler.EnumPrinters(printers), kErrorOutOfMemory);
  EXPECT_EQ(spooler.EnumPrinters(printers), kErrorOutOfMemory);
  EXPECT_EQ(spooler.EnumPrinters(printers), 0);
  EXPECT_EQ(printers.size(), 1u);
  EXPECT_EQ(spooler.EnumPortsCalls(), 4u);
  EXPECT_EQ(spooler.EnumPrintersCalls(), 3u);
}

// --- MemoryDeviceIo ------------------------------------------------------------------------

std::vector<std::uint8_t> CountingBytes(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
  return bytes;
}

ScsiPassThroughDirect Inquiry(std::uint8_t* buffer, std::uint32_t bufferSize,
                              std::uint16_t allocationLength) {
  ScsiPassThroughDirect request{};
  request.cdbLength = 6;
  request.dataIn = kScsiIoctlDataIn;
  request.dataTransferLength = bufferSize;
  request.dataBuffer = buffer;
  request.timeOutValue = 2;
  request.cdb[0] = kScsiOpInquiry;
  request.cdb[3] = static_cast<std::uint8_t>(allocationLength >> 8);
  request.cdb[4] = static_cast<std::uint8_t>(allocationLength & 0xFF);
  return request;
}

TEST(MemoryDeviceIoTest, OpenFailsForUnknownOrFailingDevices) {
  MemoryDeviceIo io;
  MemoryDevice broken;
  broken.failOpen = true;
  io.SetDevice("\\\\.\\broken", broken);
  EXPECT_EQ(io.Open("\\\\.\\missing"), kInvalidDevice);
  EXPECT_EQ(io.Open("\\\\.\\broken"), kInvalidDevice);
  EXPECT_EQ(io.OpenAttempts(), 2u);
  EXPECT_EQ(io.OpenCount(), 0u);
  EXPECT_EQ(io.OpenedPaths(), (std::vector<std::string>{"\\\\.\\missing", "\\\\.\\broken"}));
}

TEST(MemoryDeviceIoTest, InquiryHonoursTheAllocationLength) {
  MemoryDeviceIo io;
  io.SetInquiryData("dev", CountingBytes(96));
  const DeviceHandle device = io.Open("dev");
  ASSERT_NE(device, kInvalidDevice);

  struct Case {
    std::uint16_t allocationLength;
    std::uint32_t bufferSize;
    std::uint32_t expected;
  };
  for (const Case& c : {Case{0x20, 512, 32}, Case{0x28, 512, 40}, Case{0x100, 512, 96},
                        Case{0x28, 16, 16}, Case{0, 512, 0}}) {
    std::array<std::uint8_t, 512> buffer{};
    ScsiPassThroughDirect request = Inquiry(buffer.data(), c.bufferSize, c.allocationLength);
    std::uint32_t returned = 12345;
    ASSERT_TRUE(io.ScsiPassThrough(device, request, &returned));
    EXPECT_EQ(returned, c.expected) << c.allocationLength;
    EXPECT_EQ(request.dataTransferLength, c.expected);
    EXPECT_EQ(request.scsiStatus, 0);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], i < c.expected ? i + 1 : 0) << "byte " << i;
    }
  }
  io.Close(device);
}

TEST(MemoryDeviceIoTest, ShortTransfersAndFailingCommands) {
  MemoryDeviceIo io;
  MemoryDevice shortOne;
  shortOne.inquiryData = CountingBytes(64);
  shortOne.transferLimit = 32;
  io.SetDevice("short", shortOne);
  MemoryDevice failingOne;
  failingOne.inquiryData = CountingBytes(64);
  failingOne.failCommand = true;
  io.SetDevice("fails", failingOne);
  std::array<std::uint8_t, 512> buffer{};

  const DeviceHandle shortDevice = io.Open("short");
  ScsiPassThroughDirect request = Inquiry(buffer.data(), 512, 0x28);
  ASSERT_TRUE(io.ScsiPassThrough(shortDevice, request, nullptr));
  EXPECT_EQ(request.dataTransferLength, 32u);
  EXPECT_EQ(buffer[31], 32);
  EXPECT_EQ(buffer[36], 0);

  const DeviceHandle failing = io.Open("fails");
  buffer.fill(0);
  request = Inquiry(buffer.data(), 512, 0x28);
  EXPECT_FALSE(io.ScsiPassThrough(failing, request, nullptr));
  EXPECT_EQ(buffer[0], 0);

  // Another command than INQUIRY: CHECK CONDITION, no data.
  request = Inquiry(buffer.data(), 512, 0x28);
  request.cdb[0] = 0x00;
  ASSERT_TRUE(io.ScsiPassThrough(shortDevice, request, nullptr));
  EXPECT_EQ(request.scsiStatus, kScsiStatusCheckCondition);
  EXPECT_EQ(request.dataTransferLength, 0u);

  io.Close(shortDevice);
  io.Close(failing);
  // A closed handle no longer reaches the device.
  EXPECT_FALSE(io.ScsiPassThrough(shortDevice, request, nullptr));
}

TEST(MemoryDeviceIoTest, RecordsTheLastRequestAsHandedOver) {
  MemoryDeviceIo io;
  io.SetInquiryData("dev", CountingBytes(8));
  EXPECT_FALSE(io.LastRequest().has_value());
  const DeviceHandle device = io.Open("dev");
  std::array<std::uint8_t, 512> buffer{};
  ScsiPassThroughDirect request = Inquiry(buffer.data(), 512, 0x28);
  request.targetId = 1;
  request.senseInfoLength = 24;
  request.senseInfoOffset = 48;
  std::uint32_t returned = 0;
  ASSERT_TRUE(io.ScsiPassThrough(device, request, &returned));
  io.Close(device);

  const auto recorded = io.LastRequest();
  ASSERT_TRUE(recorded.has_value());
  EXPECT_EQ(recorded->devicePath, "dev");
  EXPECT_TRUE(recorded->bytesReturnedGiven);
  EXPECT_EQ(recorded->request.dataTransferLength, 512u) << "as asked, not as answered";
  EXPECT_EQ(recorded->request.cdb[4], 0x28);
  EXPECT_EQ(recorded->request.targetId, 1);
  EXPECT_EQ(recorded->request.senseInfoLength, 24);
  EXPECT_EQ(recorded->request.senseInfoOffset, 48u);
  EXPECT_EQ(recorded->request.timeOutValue, 2u);
  EXPECT_EQ(recorded->request.dataBuffer, buffer.data());
  EXPECT_EQ(io.CommandCount(), 1u);
}

TEST(MemoryDeviceIoTest, CountsOpensAndCloses) {
  MemoryDeviceIo io;
  io.SetInquiryData("a", {});
  const DeviceHandle first = io.Open("a");
  const DeviceHandle second = io.Open("a");
  EXPECT_NE(first, second);
  EXPECT_EQ(io.OpenHandleCount(), 2u);
  io.Close(first);
  io.Close(first);
  io.Close(second);
  EXPECT_EQ(io.OpenCount(), 2u);
  EXPECT_EQ(io.CloseCount(), 2u);
  EXPECT_EQ(io.InvalidCloseCount(), 1u);
  EXPECT_EQ(io.OpenHandleCount(), 0u);
  io.RemoveDevice("a");
  EXPECT_EQ(io.Open("a"), kInvalidDevice);
}

}  // namespace
}  // namespace pradex
