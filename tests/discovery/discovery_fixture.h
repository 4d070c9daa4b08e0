// A machine made of the in-memory spooler, registry and devices, for the discovery tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "discovery/ieee1394.h"
#include "discovery/port_cache.h"
#include "discovery/printer_record.h"
#include "tests/fakes/memory_device_io.h"
#include "platform/memory/memory_registry.h"
#include "tests/fakes/memory_spooler.h"

namespace pradex::discovery_test {

inline std::string MonitorPortPath(const char* monitorPortsKey, const std::string& port) {
  return std::string(monitorPortsKey) + "\\" + port;
}

inline PrinterInfo PrinterOn(std::optional<std::string> port,
                             std::optional<std::string> server = std::nullopt) {
  PrinterInfo info;
  info.serverName = std::move(server);
  info.printerName = "Printer on " + port.value_or("nothing");
  info.portName = std::move(port);
  info.driverName = "Tamrin GlowMark 100";
  return info;
}

// INQUIRY data of `size` bytes whose bytes 36 to 39 hold the address.
inline std::vector<std::uint8_t> InquiryData(std::array<std::uint8_t, 4> address,
                                             std::size_t size = 96) {
  std::vector<std::uint8_t> data(size, 0);
  for (std::size_t i = 0; i < 36 && i < size; ++i) data[i] = static_cast<std::uint8_t>(0x41 + i);
  for (std::size_t i = 0; i < 4 && 36 + i < size; ++i) data[36 + i] = address[i];
  return data;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The cache and the record count are process-wide; start every test from scratch.
    ClearPortCache();
    ASSERT_EQ(PrinterRecord::LiveRecordCount(), 0) << "a previous test leaked a record";
  }

  void TearDown() override {
    EXPECT_EQ(registry.OpenHandleCount(), 0u) << "a registry key was left open";
    EXPECT_EQ(registry.InvalidCloseCount(), 0u);
    EXPECT_EQ(deviceIo.OpenHandleCount(), 0u) << "a device was left open";
    EXPECT_EQ(deviceIo.InvalidCloseCount(), 0u);
    ClearPortCache();
  }

  void PutMonitorValue(const char* monitorPortsKey, const std::string& port, const char* name,
                       const std::string& text) {
    registry.PutString(kHkeyLocalMachine, MonitorPortPath(monitorPortsKey, port), name, text);
  }

  // One IEEE 1394 device-interface instance; an absent value is not written.
  void AddInstance(const std::string& instance, std::optional<std::string> baseName,
                   std::optional<std::uint32_t> portNumber, std::optional<std::string> link) {
    const std::string root = std::string(kIeee1394ClassKey) + "\\" + instance + "\\#";
    registry.CreateKey(kHkeyLocalMachine, root + "\\Device Parameters");
    if (baseName) {
      registry.PutString(kHkeyLocalMachine, root + "\\Device Parameters", "Base Name", *baseName);
    }
    if (portNumber) {
      registry.PutDword(kHkeyLocalMachine, root + "\\Device Parameters", "Port Number",
                        *portNumber);
    }
    if (link) registry.PutString(kHkeyLocalMachine, root, "SymbolicLink", *link);
  }

  std::string InstanceParameters(const std::string& instance) const {
    return std::string(kIeee1394ClassKey) + "\\" + instance + "\\#\\Device Parameters";
  }

  MemorySpooler spooler;
  MemoryRegistry registry;
  MemoryDeviceIo deviceIo;
  DiscoveryPlatform platform{spooler, registry, deviceIo};
};

}  // namespace pradex::discovery_test
