// WSD device nodes and Xcv answers as the Win32 adapter reads them: device nodes made through
// SetupDi with real PnP-X properties, the Xcv bytes through a scripted channel (only a real
// Windows machine has an APMON monitor), and the spooler's own Xcv path for ports whose
// monitor does not know the commands.
#include "platform/win32/win32_modern_ports.h"

#include <windows.h>

#include <devpropdef.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/apmon_defs.h"
#include "platform/win_codes.h"
#include "tests/win32/device_node.h"

namespace pradex {
namespace {

using testsupport::DeviceNode;
using testsupport::StringBytes;

std::vector<BYTE> ListBytes(const std::vector<std::wstring>& items) {
  std::wstring joined;
  for (const std::wstring& item : items) joined += item + L'\0';
  return StringBytes(joined);  // the list's closing zero
}

// Answers Xcv commands from a script.
class ScriptedXcv : public XcvChannel {
 public:
  long Ask(const std::wstring& portName, const wchar_t* command,
           std::vector<std::uint8_t>& output) override {
    const auto it = answers.find(portName + L" " + command);
    if (it == answers.end()) return kErrorInvalidParameter;
    output = it->second;
    return kErrorSuccess;
  }
  std::map<std::wstring, std::vector<std::uint8_t>> answers;
};

class Win32ModernPortsTest : public ::testing::Test {
 protected:
  ScriptedXcv xcv;
  Win32ModernPorts ports{xcv};
};

TEST_F(Win32ModernPortsTest, FindsTheWsdDeviceNodeByItsGlobalIdentity) {
  const std::wstring uuid = L"5F1E0C2A-7B3D-4E8F-9A6B-1C2D3E4F5A6B";
  DeviceNode other(L"ROOT\\PRADEXTEST\\0000");
  DeviceNode node(L"ROOT\\PRADEXTEST\\0001");
  if (!node.registered || !other.registered)
    GTEST_SKIP() << "no device node can be registered here (error " << node.error << ")";
  ASSERT_TRUE(other.Set(win32::PKEY_PNPX_GlobalIdentity, DEVPROP_TYPE_STRING,
                        StringBytes(L"urn:uuid:" + uuid + L"0")));
  ASSERT_TRUE(other.Set(win32::PKEY_PNPX_PresentationUrl, DEVPROP_TYPE_STRING,
                        StringBytes(L"http://127.0.0.9/")));
  ASSERT_TRUE(node.Set(win32::PKEY_PNPX_GlobalIdentity, DEVPROP_TYPE_STRING,
                       StringBytes(L"urn:uuid:" + uuid)));
  ASSERT_TRUE(node.Set(win32::PKEY_PNPX_PresentationUrl, DEVPROP_TYPE_STRING,
                       StringBytes(L"http://127.0.0.1:8080/")));
  ASSERT_TRUE(node.Set(win32::PKEY_PNPX_IpAddress, DEVPROP_TYPE_STRING_LIST,
                       ListBytes({L"127.0.0.1", L"::1"})));
  ASSERT_TRUE(node.Set(win32::PKEY_PNPX_XAddrs, DEVPROP_TYPE_STRING,
                       StringBytes(L"http://127.0.0.1:5357/dev")));

  std::string lowerUuid;
  for (const wchar_t c : uuid) lowerUuid.push_back(static_cast<char>(std::tolower(c)));
  // The monitor's identity and the node's differ in case, and in the prefix.
  for (const std::string& id : {"URN:UUID:" + lowerUuid, lowerUuid}) {
    SCOPED_TRACE(id);
    PnpxDevice device;
    ASSERT_TRUE(ports.FindPnpxDevice(id, device));
    EXPECT_EQ(device.presentationUrl, "http://127.0.0.1:8080/");
    EXPECT_EQ(device.ipAddresses, (std::vector<std::string>{"127.0.0.1", "::1"}));
    EXPECT_EQ(device.xAddrs, std::vector<std::string>{"http://127.0.0.1:5357/dev"});
  }
  PnpxDevice untouched;
  EXPECT_FALSE(ports.FindPnpxDevice("urn:uuid:" + lowerUuid + "1", untouched));
  EXPECT_FALSE(ports.FindPnpxDevice("", untouched));
}

TEST_F(Win32ModernPortsTest, ANodeWithoutThePageGivesItsOtherProperties) {
  const std::wstring identity = L"urn:uuid:7a7a7a7a-1b2c-4d3e-8f4a-5b6c7d8e9f0a";
  DeviceNode node(L"ROOT\\PRADEXTEST\\0002");
  if (!node.registered)
    GTEST_SKIP() << "no device node can be registered here (error " << node.error << ")";
  ASSERT_TRUE(
      node.Set(win32::PKEY_PNPX_GlobalIdentity, DEVPROP_TYPE_STRING, StringBytes(identity)));
  ASSERT_TRUE(node.Set(win32::PKEY_PNPX_XAddrs, DEVPROP_TYPE_STRING_LIST,
                       ListBytes({L"http://127.0.0.2:5357/a", L"http://127.0.0.3:5357/b"})));
  PnpxDevice device;
  ASSERT_TRUE(ports.FindPnpxDevice(std::string(identity.begin(), identity.end()), device));
  EXPECT_EQ(device.presentationUrl, "");
  EXPECT_TRUE(device.ipAddresses.empty());
  EXPECT_EQ(device.xAddrs,
            (std::vector<std::string>{"http://127.0.0.2:5357/a", "http://127.0.0.3:5357/b"}));
}

std::vector<std::uint8_t> ApPortData(DWORD protocol, const std::wstring& url) {
  APPORT_DATA_1 data{};
  data.Version = 1;
  data.Protocol = protocol;
  std::memcpy(data.DeviceOrServiceUrl, url.c_str(), (url.size() + 1) * sizeof(wchar_t));
  const auto* begin = reinterpret_cast<const std::uint8_t*>(&data);
  return std::vector<std::uint8_t>(begin, begin + sizeof(data));
}

TEST_F(Win32ModernPortsTest, ReadsTheMonitorsAnswers) {
  xcv.answers[L"WSD-1 GetAPPortInfo"] = ApPortData(1, L"http://127.0.0.1:5357/dev");
  xcv.answers[L"IPP_1 GetAPPortInfo"] = ApPortData(2, L"ipp://127.0.0.1:631/ipp/print");
  xcv.answers[L"SHORT GetAPPortInfo"] = std::vector<std::uint8_t>(6, 0);
  const auto id = StringBytes(L"urn:uuid:5f1e0c2a");
  xcv.answers[L"WSD-1 DeviceID"].assign(id.begin(), id.end());

  ApPortInfo info;
  ASSERT_EQ(ports.GetApPortInfo("WSD-1", info), kErrorSuccess);
  EXPECT_EQ(info.protocol, kApPortProtocolWsd);
  EXPECT_EQ(info.deviceOrServiceUrl, "http://127.0.0.1:5357/dev");
  ASSERT_EQ(ports.GetApPortInfo("IPP_1", info), kErrorSuccess);
  EXPECT_EQ(info.protocol, kApPortProtocolIpp);
  EXPECT_EQ(info.deviceOrServiceUrl, "ipp://127.0.0.1:631/ipp/print");
  // Too short to hold the protocol: no answer, and what was there stays.
  EXPECT_NE(ports.GetApPortInfo("SHORT", info), kErrorSuccess);
  EXPECT_EQ(info.deviceOrServiceUrl, "ipp://127.0.0.1:631/ipp/print");

  std::string deviceId;
  ASSERT_EQ(ports.GetWsdDeviceId("WSD-1", deviceId), kErrorSuccess);
  EXPECT_EQ(deviceId, "urn:uuid:5f1e0c2a");
  EXPECT_NE(ports.GetWsdDeviceId("IPP_1", deviceId), kErrorSuccess);
}

TEST(SpoolerXcvChannelTest, AMonitorThatDoesNotKnowTheCommandsGivesAnError) {
  // The local port monitor answers Xcv for its own ports, but not the APMON commands; a port
  // that no monitor has cannot be opened at all.
  SpoolerXcvChannel channel;
  for (const wchar_t* port : {L"LPT1:", L"PRADEX_NO_SUCH_PORT"}) {
    for (const wchar_t* command : {win32::kXcvGetApPortInfo, win32::kXcvDeviceId}) {
      std::vector<std::uint8_t> output{7};
      EXPECT_NE(channel.Ask(port, command, output), kErrorSuccess);
      EXPECT_EQ(output, std::vector<std::uint8_t>{7});
    }
  }
}

}  // namespace
}  // namespace pradex
