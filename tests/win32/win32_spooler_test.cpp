// The spooler adapter against the system's spooler. Printers and ports are installed the way
// the spooler keeps them, in the registry, and removed again afterwards.
#include "platform/win32/win32_spooler.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win_codes.h"

namespace pradex {
namespace {

const std::string kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";
const std::string kPortsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

struct TestPrinter {
  std::string name;
  std::string port;
  std::string driver;
};

const std::vector<TestPrinter> kPrinters = {
    {"Pradex Test BrimLine 3100", "IP_127.0.0.1", "Tamrin BrimLine 3100 PCL"},
    {"Pradex Test GlowMark 5", "1394_001", "Tamrin GlowMark 5 PS"},
    {"Pradex Test Other", "LPT1:", "Generic Text Only"},
};
const std::vector<std::string> kPorts = {"IP_127.0.0.1", "1394_001", "Pradex Test Port/2"};

void SetText(HKEY key, const char* name, const std::string& text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
}

void InstallPrinter(const TestPrinter& printer) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kPrintersKey + "\\" + printer.name).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  SetText(key, "Name", printer.name);
  SetText(key, "Port", printer.port);
  SetText(key, "Printer Driver", printer.driver);
  SetText(key, "Print Processor", "winprint");
  SetText(key, "Datatype", "RAW");
  RegCloseKey(key);
}

void InstallPorts() {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPortsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const std::string& port : kPorts) SetText(key, port.c_str(), "");
  RegCloseKey(key);
}

void RemoveAll() {
  for (const TestPrinter& printer : kPrinters) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kPrintersKey + "\\" + printer.name).c_str());
  }
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey.c_str(), 0, KEY_SET_VALUE, &key) == 0) {
    for (const std::string& port : kPorts) RegDeleteValueA(key, port.c_str());
    RegCloseKey(key);
  }
}

// The printers that the spooler keeps in the registry.
DWORD InstalledPrinterCount() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintersKey.c_str(), 0, KEY_READ, &key) != 0) return 0;
  DWORD count = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return count;
}

class Win32SpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveAll(); }
  void TearDown() override { RemoveAll(); }

  Win32Spooler spooler;
};

TEST_F(Win32SpoolerTest, NoPrintersIsAnEmptyListNotAnError) {
  if (InstalledPrinterCount() != 0) GTEST_SKIP() << "the system has printers of its own";
  std::vector<PrinterInfo> printers(1);
  EXPECT_EQ(spooler.EnumPrinters(printers), 0);
  EXPECT_TRUE(printers.empty());
}

TEST_F(Win32SpoolerTest, ListsInstalledPrintersWithTheirPortsAndDrivers) {
  for (const TestPrinter& printer : kPrinters) InstallPrinter(printer);

  std::vector<PrinterInfo> printers;
  ASSERT_EQ(spooler.EnumPrinters(printers), 0);
  for (const TestPrinter& expected : kPrinters) {
    const auto found = std::find_if(printers.begin(), printers.end(), [&](const PrinterInfo& p) {
      return p.printerName == expected.name;
    });
    ASSERT_NE(found, printers.end()) << expected.name;
    EXPECT_EQ(found->portName, expected.port);
    EXPECT_EQ(found->driverName, expected.driver);
    EXPECT_FALSE(found->serverName.has_value()) << *found->serverName;  // local printers
  }
  EXPECT_EQ(printers.size(), InstalledPrinterCount());  // every printer of the system, once
}

TEST_F(Win32SpoolerTest, PrinterRemovedFromTheSystemLeavesTheNextList) {
  for (const TestPrinter& printer : kPrinters) InstallPrinter(printer);
  std::vector<PrinterInfo> before;
  ASSERT_EQ(spooler.EnumPrinters(before), 0);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kPrintersKey + "\\" + kPrinters[2].name).c_str());

  std::vector<PrinterInfo> after;
  ASSERT_EQ(spooler.EnumPrinters(after), 0);
  EXPECT_EQ(after.size() + 1, before.size());
  EXPECT_TRUE(std::none_of(after.begin(), after.end(), [](const PrinterInfo& p) {
    return p.printerName == kPrinters[2].name;
  }));
}

TEST_F(Win32SpoolerTest, ListsTheLocalPortsByName) {
  InstallPorts();
  std::vector<std::string> ports{"stale"};
  ASSERT_EQ(spooler.EnumPorts(std::nullopt, ports), 0);
  for (const std::string& expected : kPorts) {
    EXPECT_NE(std::find(ports.begin(), ports.end(), expected), ports.end()) << expected;
  }
  EXPECT_EQ(std::find(ports.begin(), ports.end(), "stale"), ports.end());
  EXPECT_TRUE(
      std::none_of(ports.begin(), ports.end(), [](const std::string& p) { return p.empty(); }));
}

}  // namespace
}  // namespace pradex
