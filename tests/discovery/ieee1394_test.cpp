#include "discovery/ieee1394.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/discovery/discovery_fixture.h"

namespace pradex {
namespace {

using discovery_test::DiscoveryTest;
using discovery_test::InquiryData;

constexpr const char* kLink1 = "\\\\?\\1394#Tamrin&GlowMark#1";
constexpr const char* kDevice1 = "\\\\.\\1394#Tamrin&GlowMark#1";
constexpr const char* kLink2 = "\\\\?\\1394#Tamrin&GlowMark#2";
constexpr const char* kDevice2 = "\\\\.\\1394#Tamrin&GlowMark#2";

class Ieee1394Test : public DiscoveryTest {
 protected:
  std::optional<std::string> Find(const std::string& port) {
    std::string address;
    if (!FindIeee1394Address(registry, deviceIo, port, address)) return std::nullopt;
    return address;
  }
};

TEST_F(Ieee1394Test, FindsTheDeviceByBaseNameAndPortNumber) {
  AddInstance("a-other-port", "1394_", 2, "\\\\?\\other");
  AddInstance("b-printer", "1394_", 1, kLink1);
  deviceIo.SetInquiryData("\\\\.\\other", InquiryData({10, 0, 0, 99}));
  deviceIo.SetInquiryData(kDevice1, InquiryData({192, 168, 1, 20}));
  EXPECT_EQ(Find("1394_001"), "192.168.1.20");
  EXPECT_EQ(deviceIo.OpenedPaths(), std::vector<std::string>{kDevice1});
  EXPECT_EQ(Find("1394_2"), "10.0.0.99");
  EXPECT_EQ(Find("1394_003"), std::nullopt);
  EXPECT_EQ(Find("1394_1trailing"), "192.168.1.20") << "the number ends at the first non-digit";
}

TEST_F(Ieee1394Test, SendsAFortyByteInquiryAndReadsBytes36To39) {
  AddInstance("dev", "1394_", 1, kLink1);
  // A compliant device that sends no more than asked for.
  deviceIo.SetInquiryData(kDevice1, InquiryData({10, 0, 0, 200}, 40));
  ASSERT_EQ(Find("1394_001"), "10.0.0.200");

  const auto recorded = deviceIo.LastRequest();
  ASSERT_TRUE(recorded.has_value());
  const ScsiPassThroughDirect& request = recorded->request;
  EXPECT_EQ(recorded->devicePath, kDevice1);
  EXPECT_EQ(request.length, 44);
  EXPECT_EQ(request.pathId, 0);
  EXPECT_EQ(request.targetId, 1);
  EXPECT_EQ(request.lun, 0);
  EXPECT_EQ(request.cdbLength, 6);
  EXPECT_EQ(request.senseInfoLength, 24);
  EXPECT_EQ(request.dataIn, kScsiIoctlDataIn);
  EXPECT_EQ(request.dataTransferLength, 512u);
  EXPECT_EQ(request.timeOutValue, 2u);
  EXPECT_NE(request.dataBuffer, nullptr);
  EXPECT_EQ(request.senseInfoOffset, 48u);
  const std::array<std::uint8_t, 16> cdb = {0x12, 0, 0, 0, 0x28, 0};
  EXPECT_EQ(request.cdb, cdb);
  EXPECT_EQ(deviceIo.OpenCount(), 1u);
  EXPECT_EQ(deviceIo.CloseCount(), 1u);
}

TEST_F(Ieee1394Test, AddressBytesPrintUnsigned) {
  AddInstance("dev", "1394_", 7, kLink1);
  deviceIo.SetInquiryData(kDevice1, InquiryData({255, 128, 200, 129}));
  EXPECT_EQ(Find("1394_7"), "255.128.200.129");
  deviceIo.SetInquiryData(kDevice1, InquiryData({0, 0, 0, 1}));
  EXPECT_EQ(Find("1394_7"), "0.0.0.1");
}

TEST_F(Ieee1394Test, DevicesThatGiveNoAddressArePassedOver) {
  AddInstance("1", "1394_", 1, kLink1);
  AddInstance("2", "1394_", 1, kLink2);
  deviceIo.SetInquiryData(kDevice2, InquiryData({10, 0, 0, 2}));

  MemoryDevice device;
  device.inquiryData = InquiryData({10, 0, 0, 1});
  struct Fault {
    const char* label;
    MemoryDevice device;
  };
  std::vector<Fault> faults;
  faults.push_back({"absent", {}});
  faults.back().device.failOpen = true;
  faults.push_back({"command fails", device});
  faults.back().device.failCommand = true;
  faults.push_back({"all-zero address", device});
  faults.back().device.inquiryData = InquiryData({0, 0, 0, 0});
  faults.push_back({"sends 32 bytes only", device});
  faults.back().device.transferLimit = 32;
  faults.push_back({"holds 36 bytes only", device});
  faults.back().device.inquiryData.resize(36);

  for (const Fault& fault : faults) {
    deviceIo.SetDevice(kDevice1, fault.device);
    EXPECT_EQ(Find("1394_001"), "10.0.0.2") << fault.label;
    EXPECT_EQ(deviceIo.OpenedPaths().back(), kDevice2) << fault.label;
    deviceIo.RemoveDevice(kDevice2);
    EXPECT_EQ(Find("1394_001"), std::nullopt) << fault.label;
    deviceIo.SetInquiryData(kDevice2, InquiryData({10, 0, 0, 2}));
  }
  EXPECT_EQ(deviceIo.OpenCount(), deviceIo.CloseCount());
}

TEST_F(Ieee1394Test, OnlyTheExactBaseNameMatches) {
  const std::vector<std::uint8_t> exactNoZero = {'1', '3', '9', '4', '_'};
  const std::vector<std::uint8_t> zeroThenJunk = {'1', '3', '9', '4', '_', 0, 'x'};
  struct Case {
    std::vector<std::uint8_t> bytes;
    bool matches;
  };
  auto sz = [](const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
  };
  const std::vector<Case> cases = {
      {sz("1394_"), true},
      {exactNoZero, true},
      {zeroThenJunk, true},  // text ends at its first zero
      {sz("1394"), false},
      {sz("1394_x"), false},
      {sz("1394_ "), false},
      {sz(" 1394_"), false},
      {sz("1394-"), false},
      {sz(""), false},
      {std::vector<std::uint8_t>(260, '1'), false},  // fills the buffer, no zero
      {sz(std::string(300, '1')), false},            // longer than the buffer
  };
  deviceIo.SetInquiryData(kDevice1, InquiryData({10, 1, 2, 3}));
  for (const Case& c : cases) {
    registry.DeleteKey(kHkeyLocalMachine, kIeee1394ClassKey);
    AddInstance("dev", std::nullopt, 5, kLink1);
    registry.PutBytes(kHkeyLocalMachine, InstanceParameters("dev"), "Base Name", kRegSz, c.bytes);
    EXPECT_EQ(Find("1394_005").has_value(), c.matches)
        << std::string(c.bytes.begin(), c.bytes.end());
  }
}

TEST_F(Ieee1394Test, InstancesWithoutUsableValuesAreSkipped) {
  AddInstance("a-no-base", std::nullopt, 1, std::nullopt);
  AddInstance("b-no-number", "1394_", std::nullopt, std::nullopt);
  AddInstance("c-qword", "1394_", std::nullopt, std::nullopt);
  registry.PutBytes(kHkeyLocalMachine, InstanceParameters("c-qword"), "Port Number", 11,
                    {1, 0, 0, 0, 0, 0, 0, 0});
  AddInstance("d-wrong-number", "1394_", 2, std::nullopt);
  registry.CreateKey(kHkeyLocalMachine, std::string(kIeee1394ClassKey) + "\\e-no-parameters");
  AddInstance("f-good", "1394_", 1, kLink1);
  deviceIo.SetInquiryData(kDevice1, InquiryData({10, 0, 0, 1}));
  EXPECT_EQ(Find("1394_001"), "10.0.0.1");
}

TEST_F(Ieee1394Test, AMissingSymbolicLinkEndsTheWalk) {
  AddInstance("1", "1394_", 1, std::nullopt);
  AddInstance("2", "1394_", 1, kLink2);
  deviceIo.SetInquiryData(kDevice2, InquiryData({10, 0, 0, 2}));
  EXPECT_EQ(Find("1394_001"), std::nullopt);
  EXPECT_EQ(deviceIo.OpenAttempts(), 0u);

  // So does a link too long for its buffer.
  registry.PutString(kHkeyLocalMachine, std::string(kIeee1394ClassKey) + "\\1\\#", "SymbolicLink",
                     std::string(260, 'L'));
  EXPECT_EQ(Find("1394_001"), std::nullopt);
  EXPECT_EQ(deviceIo.OpenAttempts(), 0u);
}

TEST_F(Ieee1394Test, ALinkThatFillsTheBufferIsUsedWhole) {
  std::string link = "\\\\?\\" + std::string(256, 'd');
  ASSERT_EQ(link.size(), 260u);
  AddInstance("dev", "1394_", 1, std::nullopt);
  registry.PutString(kHkeyLocalMachine, std::string(kIeee1394ClassKey) + "\\dev\\#", "SymbolicLink",
                     link, /*storeTerminatingZero=*/false);
  link[2] = '.';
  deviceIo.SetInquiryData(link, InquiryData({10, 0, 0, 5}));
  EXPECT_EQ(Find("1394_001"), "10.0.0.5");
  EXPECT_EQ(deviceIo.OpenedPaths(), std::vector<std::string>{link});
}

TEST_F(Ieee1394Test, AnInstanceNameTooLongForItsBufferEndsTheWalk) {
  AddInstance("0" + std::string(259, 'n'), "1394_", 1, kLink1);
  AddInstance("1", "1394_", 1, kLink1);
  deviceIo.SetInquiryData(kDevice1, InquiryData({10, 0, 0, 1}));
  EXPECT_EQ(Find("1394_001"), std::nullopt);
  registry.DeleteKey(kHkeyLocalMachine,
                     std::string(kIeee1394ClassKey) + "\\0" + std::string(259, 'n'));
  AddInstance("0" + std::string(258, 'n'), "1394_", 1, kLink1);  // 259 + zero fits
  EXPECT_EQ(Find("1394_001"), "10.0.0.1");
}

TEST_F(Ieee1394Test, PortNamesWithoutANumberAfterThePrefixFindNothing) {
  // Instances for the numbers a failed scan could be mistaken for.
  AddInstance("0", "1394_", 0, kLink1);
  AddInstance("1", "1394_", 1, kLink1);
  deviceIo.SetInquiryData(kDevice1, InquiryData({10, 0, 0, 1}));
  for (const char* port : {"USB1394_001", "x1394_1", "1394_", "1394_abc", "1394_-1", "1394_ 1",
                           "1394-1", "1394_99999999999"}) {
    EXPECT_EQ(Find(port), std::nullopt) << port;
  }
  EXPECT_EQ(deviceIo.OpenAttempts(), 0u);
  EXPECT_EQ(Find("1394_0"), "10.0.0.1");
}

TEST_F(Ieee1394Test, ClassKeyMissingEmptyOrUnreadable) {
  EXPECT_EQ(Find("1394_001"), std::nullopt);
  registry.CreateKey(kHkeyLocalMachine, kIeee1394ClassKey);
  EXPECT_EQ(Find("1394_001"), std::nullopt);
  AddInstance("dev", "1394_", 1, kLink1);
  deviceIo.SetInquiryData(kDevice1, InquiryData({10, 0, 0, 1}));
  registry.DenyAccess(kHkeyLocalMachine, kIeee1394ClassKey, kKeyEnumerateSubKeys);
  EXPECT_EQ(Find("1394_001"), std::nullopt);
  registry.DenyAccess(kHkeyLocalMachine, kIeee1394ClassKey, 0);
  EXPECT_EQ(Find("1394_001"), "10.0.0.1");
}

TEST_F(Ieee1394Test, QueryIeee1394AddressWithoutAPath) {
  std::string address = "kept";
  EXPECT_FALSE(QueryIeee1394Address(deviceIo, nullptr, address));
  EXPECT_FALSE(QueryIeee1394Address(deviceIo, "", address));
  EXPECT_FALSE(QueryIeee1394Address(deviceIo, "\\\\.\\missing", address));
  EXPECT_EQ(address, "kept");
  EXPECT_EQ(deviceIo.OpenAttempts(), 1u);
}

TEST_F(Ieee1394Test, ReadRegistryValue) {
  registry.PutString(kHkeyLocalMachine, "Parent\\Child", "Text", "abc");
  registry.PutString(kHkeyLocalMachine, "Parent\\Locked", "Text", "abc");
  registry.DenyAccess(kHkeyLocalMachine, "Parent\\Locked", kKeyRead);
  ScopedRegKey parent(registry);
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, "Parent", kKeyRead, parent.out()), kErrorSuccess);

  std::array<std::uint8_t, 8> data{};
  std::uint32_t size = data.size();
  EXPECT_EQ(ReadRegistryValue(registry, parent.get(), "Child", "Text", data.data(), &size),
            kErrorSuccess);
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "abc");

  size = 2;
  EXPECT_EQ(ReadRegistryValue(registry, parent.get(), "Child", "Text", data.data(), &size),
            kErrorMoreData);
  size = data.size();
  EXPECT_EQ(ReadRegistryValue(registry, parent.get(), "Child", "Other", data.data(), &size),
            kErrorFileNotFound);
  // Whatever keeps the subkey from opening is reported as access denied.
  EXPECT_EQ(ReadRegistryValue(registry, parent.get(), "Missing", "Text", data.data(), &size),
            kErrorAccessDenied);
  EXPECT_EQ(ReadRegistryValue(registry, parent.get(), "Locked", "Text", data.data(), &size),
            kErrorAccessDenied);
  EXPECT_EQ(registry.OpenHandleCount(), 1u) << "only the parent is open";
}

}  // namespace
}  // namespace pradex
