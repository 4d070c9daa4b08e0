#include "discovery/printer_record.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "tests/discovery/discovery_fixture.h"

namespace pradex {
namespace {

using discovery_test::DiscoveryTest;
using discovery_test::MonitorPortPath;
using discovery_test::PrinterOn;

// --- Model-name rules ----------------------------------------------------------------------

TEST(ModelRulesTest, MakerNeedsOneOfFourSpellingsFollowedByABlank) {
  for (const char* name : {"tamrin GlowMark 5", "TAMRIN BRIMLINE 7", "Tamrin BrimLine X1",
                           "tAMRIN GlowMark", "Office tamrin GlowMark", "x Tamrin "}) {
    EXPECT_TRUE(IsMakerModel(name)) << name;
  }
  for (const char* name : {"Tamrin", "Some Tamrin", "TamrinGlowMark", "Tamrin-GlowMark",
                           "Tamrin_BrimLine", "TAmrin GlowMark", "tamriN GlowMark",
                           "TAMRIn BrimLine", "Tamrin\tGlowMark", "Tam rin GlowMark", ""}) {
    EXPECT_FALSE(IsMakerModel(name)) << name;
  }
}

TEST(ModelRulesTest, BrimLineSpellings) {
  for (const char* name : {"Tamrin Brimline 10", "Tamrin BrimLine 10", "tamrin brimline",
                           "TAMRIN BRIMLINE", "XBrimLineX"}) {
    EXPECT_TRUE(IsBrimLineModel(name)) << name;
  }
  for (const char* name :
       {"Tamrin BRIMline", "Tamrin brimLine", "Tamrin Brim Line", "Tamrin bRIMLINE", ""}) {
    EXPECT_FALSE(IsBrimLineModel(name)) << name;
  }
}

TEST(ModelRulesTest, GlowMarkSpellings) {
  for (const char* name :
       {"Tamrin GlowMark 5", "Tamrin Glowmark 5", "superglowmarkplus", "TAMRIN GLOWMARK"}) {
    EXPECT_TRUE(IsGlowMarkModel(name)) << name;
  }
  for (const char* name :
       {"Tamrin GLOWmark", "Tamrin gLOWMARK", "Tamrin glowMark", "Tamrin Glow Mark", ""}) {
    EXPECT_FALSE(IsGlowMarkModel(name)) << name;
  }
}

TEST(ModelRulesTest, BothFamilyWordsMatchBothTests) {
  // The search gives BrimLine the precedence; both tests see their word.
  const std::string both = "Tamrin BrimLine GlowMark 2";
  EXPECT_TRUE(IsMakerModel(both));
  EXPECT_TRUE(IsBrimLineModel(both));
  EXPECT_TRUE(IsGlowMarkModel(both));
  EXPECT_FALSE(IsBrimLineModel("Tamrin GlowMark 2"));
  EXPECT_FALSE(IsGlowMarkModel("Tamrin BrimLine 2"));
}

// --- PrinterRecord -------------------------------------------------------------------------

class PrinterRecordTest : public DiscoveryTest {};

TEST_F(PrinterRecordTest, SettersReplaceFieldsAndRefuseEmptyTexts) {
  PrinterRecord record;
  EXPECT_EQ(record.GetModelName(), "");
  EXPECT_EQ(record.GetPrinterName(), "");
  EXPECT_EQ(record.GetPortName(), "");
  EXPECT_EQ(record.GetUrl(), "");

  record.SetModelName("Tamrin GlowMark 5");
  record.SetPrinterName("Office");
  record.SetPortName("IP_10.0.0.5");
  record.SetUrl("http://10.0.0.5/tamrin/device/this.LCDispatcher");

  using Setter = void (PrinterRecord::*)(std::string);
  for (Setter setter : {&PrinterRecord::SetModelName, &PrinterRecord::SetPrinterName,
                        &PrinterRecord::SetPortName}) {
    try {
      (record.*setter)("");
      ADD_FAILURE() << "an empty text was accepted";
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), "Printer Information cannot be empty");
    }
  }
  EXPECT_THROW(record.SetPrinterName(""), std::logic_error);
  EXPECT_EQ(record.GetModelName(), "Tamrin GlowMark 5");
  EXPECT_EQ(record.GetPrinterName(), "Office");
  EXPECT_EQ(record.GetPortName(), "IP_10.0.0.5");

  record.SetUrl("");
  EXPECT_EQ(record.GetUrl(), "");
}

TEST_F(PrinterRecordTest, CopiesCarryAllFieldsAndCountAsRecords) {
  auto original = std::make_unique<PrinterRecord>();
  original->SetModelName("Tamrin BrimLine 1");
  original->SetPrinterName("Lab");
  original->SetPortName("IP_1");
  original->SetUrl("http://1/?type=supplies");
  EXPECT_EQ(PrinterRecord::LiveRecordCount(), 1);

  PrinterRecord copy(*original);
  EXPECT_EQ(PrinterRecord::LiveRecordCount(), 2);
  PrinterRecord assigned;
  EXPECT_EQ(PrinterRecord::LiveRecordCount(), 3);
  assigned = *original;
  PrinterRecord& same = assigned;
  assigned = same;
  EXPECT_EQ(PrinterRecord::LiveRecordCount(), 3);
  original.reset();
  EXPECT_EQ(PrinterRecord::LiveRecordCount(), 2);

  for (const PrinterRecord* record : {&copy, &assigned}) {
    EXPECT_EQ(record->GetModelName(), "Tamrin BrimLine 1");
    EXPECT_EQ(record->GetPrinterName(), "Lab");
    EXPECT_EQ(record->GetPortName(), "IP_1");
    EXPECT_EQ(record->GetUrl(), "http://1/?type=supplies");
  }
}

TEST_F(PrinterRecordTest, DestroyingTheLastRecordEmptiesThePortCache) {
  spooler.SetPorts({"IP_1"});
  PutMonitorValue(kMakerMonitorPortsKey, "IP_1", "IPAddress", "10.0.0.1");
  PutMonitorValue(kMakerMonitorPortsKey, "IP_2", "IPAddress", "10.0.0.2");
  std::string address;

  auto first = std::make_unique<PrinterRecord>();
  auto second = std::make_unique<PrinterRecord>(*first);
  ASSERT_TRUE(ResolvePortAddress(platform, PrinterOn("IP_1"), address));
  EXPECT_EQ(spooler.EnumPortsCalls(), 1u);

  // A port added while the list is cached stays unknown.
  spooler.AddPort("IP_2");
  EXPECT_FALSE(ResolvePortAddress(platform, PrinterOn("IP_2"), address));
  first.reset();
  EXPECT_TRUE(GlobalPortCache().IsLoaded()) << "a record still lives";
  EXPECT_FALSE(ResolvePortAddress(platform, PrinterOn("IP_2"), address));
  EXPECT_EQ(spooler.EnumPortsCalls(), 1u);

  second.reset();
  EXPECT_FALSE(GlobalPortCache().IsLoaded());
  ASSERT_TRUE(ResolvePortAddress(platform, PrinterOn("IP_2"), address));
  EXPECT_EQ(address, "10.0.0.2");
  EXPECT_EQ(spooler.EnumPortsCalls(), 2u) << "the next resolution enumerates the ports again";
}

TEST_F(PrinterRecordTest, EveryDropToZeroEmptiesTheCacheAgain) {
  spooler.SetPorts({"IP_1"});
  PutMonitorValue(kSystemMonitorPortsKey, "IP_1", "HostName", "printer-one");
  std::string address;
  for (std::size_t round = 1; round <= 3; ++round) {
    {
      PrinterRecord working;
      ASSERT_TRUE(ResolvePortAddress(platform, PrinterOn("IP_1"), address));
      EXPECT_EQ(address, "printer-one");
      ASSERT_TRUE(ResolvePortAddress(platform, PrinterOn("IP_1"), address));
    }
    EXPECT_FALSE(GlobalPortCache().IsLoaded());
    EXPECT_EQ(spooler.EnumPortsCalls(), round);
  }
}

}  // namespace
}  // namespace pradex
