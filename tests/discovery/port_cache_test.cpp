#include "discovery/port_cache.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/discovery/discovery_fixture.h"

namespace pradex {
namespace {

using discovery_test::DiscoveryTest;
using discovery_test::InquiryData;
using discovery_test::MonitorPortPath;
using discovery_test::PrinterOn;

using Bytes = std::vector<std::uint8_t>;

Bytes Raw(const std::string& text) {
  return Bytes(text.begin(), text.end());
}
Bytes Sz(const std::string& text) {
  Bytes bytes = Raw(text);
  bytes.push_back(0);
  return bytes;
}

class PortCacheTest : public DiscoveryTest {
 protected:
  std::optional<std::string> Resolve(const PrinterInfo& printer) {
    std::string address = "untouched";
    if (!cache.ResolvePortAddress(platform, printer, address)) return std::nullopt;
    return address;
  }
  std::optional<std::string> Resolve(const std::string& port) { return Resolve(PrinterOn(port)); }

  PortCache cache;
};

TEST_F(PortCacheTest, ResolvesThroughTheMakersMonitor) {
  spooler.SetPorts({"LPT1:", "IP_10.0.0.5"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_10.0.0.5", "IPAddress", "10.0.0.5");
  EXPECT_EQ(Resolve("IP_10.0.0.5"), "10.0.0.5");
  EXPECT_EQ(registry.OpenKeyCount(kHkeyLocalMachine,
                                  MonitorPortPath(kMakerMonitorPortsKey, "IP_10.0.0.5")),
            1u);
}

TEST_F(PortCacheTest, MakersMonitorComesFirstAndTheSystemsValuesAreNotRead) {
  spooler.SetPorts({"IP_both"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_both", "HostName", "maker-host");
  PutMonitorValue(kSystemMonitorPortsKey, "IP_both", "IPAddress", "10.9.9.9");
  EXPECT_EQ(Resolve("IP_both"), "maker-host");
  const std::string system = MonitorPortPath(kSystemMonitorPortsKey, "IP_both");
  EXPECT_EQ(registry.OpenKeyCount(kHkeyLocalMachine, system), 0u);
  EXPECT_EQ(registry.QueryValueCount(kHkeyLocalMachine, system, "IPAddress"), 0u);
  EXPECT_EQ(registry.QueryValueCount(kHkeyLocalMachine, system, "HostName"), 0u);
}

TEST_F(PortCacheTest, FallsBackToTheSystemsMonitor) {
  spooler.SetPorts({"IP_sys", "IP_locked"});
  PutMonitorValue(kSystemMonitorPortsKey, "IP_sys", "IPAddress", "10.0.0.7");
  EXPECT_EQ(Resolve("IP_sys"), "10.0.0.7");

  // A maker key that cannot be opened for reading counts as missing.
  PutMonitorValue(kMakerMonitorPortsKey, "IP_locked", "IPAddress", "10.0.0.1");
  registry.DenyAccess(kHkeyLocalMachine, MonitorPortPath(kMakerMonitorPortsKey, "IP_locked"),
                      kKeyQueryValue);
  PutMonitorValue(kSystemMonitorPortsKey, "IP_locked", "IPAddress", "10.0.0.2");
  EXPECT_EQ(Resolve("IP_locked"), "10.0.0.2");
}

TEST_F(PortCacheTest, OpenMonitorPortKey) {
  PutMonitorValue(kMakerMonitorPortsKey, "A", "IPAddress", "1");
  PutMonitorValue(kSystemMonitorPortsKey, "B", "IPAddress", "2");
  for (const char* port : {"A", "B"}) {
    RegKey key = kNoKey;
    ASSERT_EQ(cache.OpenMonitorPortKey(registry, port, &key), kErrorSuccess);
    EXPECT_NE(key, kNoKey);
    EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);
  }
  RegKey key = 0x55;
  EXPECT_EQ(cache.OpenMonitorPortKey(registry, "C", &key), kErrorBadKey);
  EXPECT_EQ(key, kNoKey);
  EXPECT_EQ(registry.OpenKeyCount(kHkeyLocalMachine, MonitorPortPath(kMakerMonitorPortsKey, "A")),
            1u);
}

TEST_F(PortCacheTest, NoMonitorKeyOrPortNotInTheList) {
  spooler.SetPorts({"IP_nokey"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_unlisted", "IPAddress", "10.0.0.1");
  EXPECT_EQ(Resolve("IP_nokey"), std::nullopt);
  EXPECT_EQ(Resolve("IP_unlisted"), std::nullopt);
  EXPECT_EQ(registry.OpenKeyCount(kHkeyLocalMachine,
                                  MonitorPortPath(kMakerMonitorPortsKey, "IP_unlisted")),
            0u);
}

TEST_F(PortCacheTest, PortLookupIsCaseSensitive) {
  spooler.SetPorts({"IP_Printer"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_Printer", "IPAddress", "10.0.0.3");
  // The registry would open either spelling; the port list decides.
  EXPECT_EQ(Resolve("ip_printer"), std::nullopt);
  EXPECT_EQ(Resolve("IP_PRINTER"), std::nullopt);
  EXPECT_EQ(Resolve("IP_Printer"), "10.0.0.3");
}

TEST_F(PortCacheTest, AbsentOrEmptyPortNameIsNotInTheList) {
  spooler.SetPorts({"IP_1"});
  PutMonitorValue(kMakerMonitorPortsKey, "", "IPAddress", "10.0.0.1");
  EXPECT_EQ(Resolve(PrinterOn(std::nullopt)), std::nullopt);
  EXPECT_EQ(Resolve(PrinterOn("")), std::nullopt);
}

TEST_F(PortCacheTest, Ieee1394PortsAskTheDeviceEvenWithAMonitorKey) {
  spooler.SetPorts({"1394_001", "X1394_001"});
  PutMonitorValue(kMakerMonitorPortsKey, "1394_001", "IPAddress", "10.0.0.9");
  PutMonitorValue(kMakerMonitorPortsKey, "X1394_001", "IPAddress", "10.0.0.9");
  EXPECT_EQ(Resolve("1394_001"), std::nullopt) << "no device: the monitors are not consulted";
  EXPECT_EQ(Resolve("X1394_001"), std::nullopt);
  EXPECT_EQ(
      registry.OpenKeyCount(kHkeyLocalMachine, MonitorPortPath(kMakerMonitorPortsKey, "1394_001")),
      0u);

  AddInstance("dev1", "1394_", 1, "\\\\?\\1394#dev1");
  deviceIo.SetInquiryData("\\\\.\\1394#dev1", InquiryData({192, 168, 1, 20}));
  EXPECT_EQ(Resolve("1394_001"), "192.168.1.20");
}

TEST_F(PortCacheTest, ThePortListIsReadOncePerCacheLifetime) {
  spooler.SetPorts({"IP_1", "IP_2", "IP_1"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_1", "IPAddress", "10.0.0.1");
  PutMonitorValue(kMakerMonitorPortsKey, "IP_2", "IPAddress", "10.0.0.2");
  PutMonitorValue(kMakerMonitorPortsKey, "IP_3", "IPAddress", "10.0.0.3");
  EXPECT_EQ(Resolve("IP_1"), "10.0.0.1");
  EXPECT_EQ(Resolve("IP_2"), "10.0.0.2");
  EXPECT_EQ(Resolve("IP_1"), "10.0.0.1");
  EXPECT_EQ(spooler.EnumPortsCalls(), 1u);
  EXPECT_TRUE(cache.IsLoaded());

  spooler.AddPort("IP_3");
  EXPECT_EQ(Resolve("IP_3"), std::nullopt);
  cache.ClearPortCache();
  EXPECT_FALSE(cache.IsLoaded());
  EXPECT_EQ(Resolve("IP_3"), "10.0.0.3");
  EXPECT_EQ(spooler.EnumPortsCalls(), 2u);
}

TEST_F(PortCacheTest, RegistryValuesAreReadAfreshEveryTime) {
  spooler.SetPorts({"IP_1"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_1", "IPAddress", "10.0.0.1");
  EXPECT_EQ(Resolve("IP_1"), "10.0.0.1");
  PutMonitorValue(kMakerMonitorPortsKey, "IP_1", "IPAddress", "10.0.0.99");
  EXPECT_EQ(Resolve("IP_1"), "10.0.0.99");
}

// A failed load stands for the rest of the search (the cache's lifetime), as a loaded list
// does; once the cache is emptied the list is asked for again.
TEST_F(PortCacheTest, AFailedLoadIsNotRetriedUntilTheCacheIsEmptied) {
  spooler.SetPorts({"IP_1", "IP_2"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_1", "IPAddress", "10.0.0.1");

  // Whether the size query or the fill fails, the spooler reports an error code.
  spooler.FailEnumPorts(kRpcServerUnavailable, 1);
  EXPECT_EQ(Resolve("IP_1"), std::nullopt);
  EXPECT_EQ(Resolve("IP_2"), std::nullopt);
  EXPECT_FALSE(cache.LoadPortList(spooler, std::nullopt));
  EXPECT_FALSE(cache.IsLoaded());
  EXPECT_EQ(spooler.EnumPortsCalls(), 1u);

  cache.ClearPortCache();
  EXPECT_EQ(Resolve("IP_1"), "10.0.0.1");
  EXPECT_EQ(spooler.EnumPortsCalls(), 2u);
  EXPECT_TRUE(cache.IsLoaded());
}

TEST_F(PortCacheTest, NoPortsAtAllIsAFailedLoad) {
  EXPECT_FALSE(cache.LoadPortList(spooler, std::nullopt));
  EXPECT_EQ(Resolve("IP_1"), std::nullopt);
  EXPECT_FALSE(cache.IsLoaded());
  spooler.AddPort("IP_1");
  cache.ClearPortCache();
  EXPECT_TRUE(cache.LoadPortList(spooler, std::nullopt));
  EXPECT_TRUE(cache.LoadPortList(spooler, std::nullopt));
  EXPECT_EQ(spooler.EnumPortsCalls(), 2u) << "a loaded list is not read again";
}

TEST_F(PortCacheTest, ThePrintersServerNameGoesToTheSpooler) {
  spooler.SetServerPorts("\\\\printsrv", {"IP_remote"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_remote", "IPAddress", "10.0.0.4");
  EXPECT_EQ(Resolve(PrinterOn("IP_remote", "\\\\printsrv")), "10.0.0.4");
  EXPECT_EQ(spooler.LastPortsServer(), std::optional<std::string>("\\\\printsrv"));
}

TEST_F(PortCacheTest, TheGlobalCacheBehindTheFreeFunctions) {
  spooler.SetPorts({"IP_1"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_1", "IPAddress", "10.0.0.1");
  std::string address;
  EXPECT_FALSE(GlobalPortCache().IsLoaded());
  ASSERT_TRUE(ResolvePortAddress(platform, PrinterOn("IP_1"), address));
  EXPECT_EQ(address, "10.0.0.1");
  EXPECT_TRUE(GlobalPortCache().IsLoaded());
  EXPECT_FALSE(cache.IsLoaded()) << "a cache of its own is separate";
  ClearPortCache();
  EXPECT_FALSE(GlobalPortCache().IsLoaded());
}

// --- "IPAddress" and "HostName", including values that do not fit the 260-byte buffer ------

struct ValueCase {
  const char* label;
  std::optional<Bytes> ipAddress;
  std::optional<Bytes> hostName;
  std::optional<std::string> expected;  // nullopt: the resolution fails
};

void PrintTo(const ValueCase& c, std::ostream* os) {
  *os << c.label;
}

class MonitorValueTest : public PortCacheTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(MonitorValueTest, Resolves) {
  const ValueCase& c = GetParam();
  spooler.SetPorts({"IP_x"});
  const std::string path = MonitorPortPath(kMakerMonitorPortsKey, "IP_x");
  registry.CreateKey(kHkeyLocalMachine, path);
  if (c.ipAddress) registry.PutBytes(kHkeyLocalMachine, path, "IPAddress", kRegSz, *c.ipAddress);
  if (c.hostName) registry.PutBytes(kHkeyLocalMachine, path, "HostName", kRegSz, *c.hostName);
  EXPECT_EQ(Resolve("IP_x"), c.expected);
}

const std::string k259(259, 'h');
const std::string k260(260, 'h');
const std::string k261(261, 'h');

INSTANTIATE_TEST_SUITE_P(
    Values, MonitorValueTest,
    ::testing::Values(
        ValueCase{"IpBeforeHost", Sz("10.0.0.5"), Sz("printer-host"), "10.0.0.5"},
        ValueCase{"EmptyIpUsesHost", Sz(""), Sz("printer-host"), "printer-host"},
        ValueCase{"ZeroLengthIpUsesHost", Bytes{}, Sz("printer-host"), "printer-host"},
        ValueCase{"MissingIpEmptyHost", std::nullopt, Sz(""), ""},
        ValueCase{"MissingIpZeroLengthHost", std::nullopt, Bytes{}, ""},
        ValueCase{"MissingBoth", std::nullopt, std::nullopt, std::nullopt},
        ValueCase{"EmptyIpMissingHost", Sz(""), std::nullopt, std::nullopt},
        ValueCase{"IpWithoutZero", Raw("10.0.0.6"), std::nullopt, "10.0.0.6"},
        ValueCase{"HostWithoutZero", std::nullopt, Raw("bare-host"), "bare-host"},
        ValueCase{"IpFills259PlusZero", Sz(k259), std::nullopt, k259},
        ValueCase{"IpFillsBufferWithoutZero", Raw(k260), std::nullopt, k260},
        ValueCase{"HostFillsBufferWithoutZero", std::nullopt, Raw(k260), k260},
        ValueCase{"IpTooLongUsesHost", Sz(k260), Sz("printer-host"), "printer-host"},
        ValueCase{"IpFarTooLongUsesHost", Raw(k261 + k261), Sz("printer-host"), "printer-host"},
        ValueCase{"HostTooLongFails", std::nullopt, Raw(k261), std::nullopt},
        ValueCase{"IpBinaryStopsAtZero", Bytes{'1', '.', '2', 0, 'x', 'y'}, std::nullopt, "1.2"},
        ValueCase{"IpBinaryLeadingZeroUsesHost", Bytes{0, '1', '.', '2'}, Sz("printer-host"),
                  "printer-host"}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace pradex
