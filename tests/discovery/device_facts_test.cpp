// What a device's IPP answer says of it (FactsFromAnswer), and where it is asked (FactsUris).
#include "discovery/device_facts.h"

#include <gtest/gtest.h>

namespace pradex {
namespace {

using Missing = DeviceFacts::Missing;
using Strings = std::vector<std::string>;
constexpr int kUnknown = Supply::kUnknown;
constexpr int kNotSaid = Supply::kNotReported;

IppAttribute Texts(std::string name, const Strings& texts) {
  IppAttribute attribute{std::move(name), {}};
  for (const std::string& text : texts)
    attribute.values.push_back({IppValue::Kind::kOctets, 0, text});
  return attribute;
}

IppAttribute Integers(std::string name, const std::vector<std::int64_t>& integers) {
  IppAttribute attribute{std::move(name), {}};
  for (const std::int64_t value : integers)
    attribute.values.push_back({IppValue::Kind::kInteger, value, ""});
  return attribute;
}

DeviceFacts Facts(std::vector<IppAttribute> attributes) {
  return FactsFromAnswer(IppAnswer{IppAnswer::Status::kAnswered, 0, std::move(attributes)});
}

template <typename Field>
auto Each(const DeviceFacts& facts, Field field) {
  std::vector<std::remove_cvref_t<decltype(facts.supplies[0].*field)>> values;
  for (const Supply& supply : facts.supplies) values.push_back(supply.*field);
  return values;
}

// As ippeveprinter sends it.
const IppAttribute kSupply =
    Texts("printer-supply", {"class=receptacleThatIsFilled;type=wasteToner;unit=percent;"
                             "maxcapacity=100;level=25;colorantname=unknown;",
                             "index=2;class=supplyThatIsConsumed;type=toner;unit=percent;"
                             "maxcapacity=100;level=75;colorantname=black;"});

// Cyan is low by its marks, and so the one the reason means; ippeveprinter's waste tank and toner
// carry no marks of their own.
TEST(DeviceFactsTest, SuppliesComeFromPrinterSupplyElseFromTheMarkerAttributes) {
  EXPECT_EQ(
      Facts({Texts("marker-names", {"Cyan", "Black", "Waste"}),
             Texts("marker-colors", {"#00FFFF", "#000000", "none"}),
             Texts("marker-types", {"ink-cartridge", "ink", "waste-ink"}),
             Integers("marker-levels", {5, 50, 90}), Integers("marker-low-levels", {10, 10, 0}),
             Integers("marker-high-levels", {100, 100, 85}),
             Texts("printer-state-reasons", {"marker-supply-low"})})
          .supplies,
      (std::vector<Supply>{{"Cyan", "inkCartridge", "#00ffff", 5, 10, 100, false, true},
                           {"Black", "ink", "#000000", 50, 10, 100, false, false},
                           {"Waste", "wasteInk", "", 90, 0, 85, true, true}}));
  EXPECT_EQ(Facts({Texts("marker-names", {"Cyan"}), kSupply,
                   Texts("printer-supply-description", {"Waste", " Black\x7f"}),
                   Texts("printer-state-reasons", {"toner-low-report", "media-jam"})})
                .supplies,
            (std::vector<Supply>{{"Waste", "wasteToner", "", 25, -1, -1, true, false},
                                 {"Black", "toner", "#000000", 75, -1, -1, false, true}}));
  EXPECT_EQ(Each(Facts({kSupply, Texts("printer-state-reasons", {"marker-waste-full-warning"})}),
                 &Supply::low),
            (std::vector{true, false}));
}

TEST(DeviceFactsTest, LevelsArePercentagesOrUnknownOrNotReported) {
  EXPECT_EQ(
      Each(Facts({Texts("printer-supply",
                        {"unit=percent;level=75", "maxcapacity=200;level=50",
                         "maxcapacity=0;level=40", "level=-1", "level=-2", "level=-3", "level=101",
                         "level=-100", "level=7x", "unit=items;level=5", "unit=items;level=-3"})}),
           &Supply::level),
      (std::vector{75, 25, 40, kNotSaid, kUnknown, kUnknown, kNotSaid, kNotSaid, kNotSaid, kNotSaid,
                   kUnknown}));
}

TEST(DeviceFactsTest, OddColoursAreNoneAndReasonsLoseTheirSuffixes) {
  const DeviceFacts facts =
      Facts({Texts("marker-colors", {"#00FFFF", "#00ffff#FF00FF", "none", "#12345", "#GG0000"}),
             Texts("marker-names",
                   {std::string(70, 'a'), std::string(63, 'a') + "\xc3\xa9", "\xff", "", ""}),
             Texts("printer-state-reasons",
                   {"media-jam-error", "toner-low-report", "toner-low-warning", "none",
                    "Cover-Open", "door open!", std::string(70, 'x') + "-error"})});
  EXPECT_EQ(Each(facts, &Supply::colour), (Strings{"#00ffff", "#00ffff", "", "", ""}));
  EXPECT_EQ(Each(facts, &Supply::name),
            (Strings{std::string(64, 'a'), std::string(63, 'a'), "", "", ""}));
  EXPECT_EQ(facts.stateReasons,
            (Strings{"media-jam", "toner-low", "cover-open", "dooropen", std::string(64, 'x')}));
}

TEST(DeviceFactsTest, TheStateOrWhyThereAreNoFacts) {
  using enum IppAnswer::Status;
  std::vector<Missing> missing;
  for (const IppAnswer::Status status :
       {kUnreachable, kNotIpp, kIppError, kTooLarge, kTimedOut, kStopped})
    missing.push_back(FactsFromAnswer(IppAnswer{status, 0, {kSupply}}).missing);
  EXPECT_EQ(missing, (std::vector{Missing::kUnreachable, Missing::kNotIpp, Missing::kIppError,
                                  Missing::kTooLarge, Missing::kTimedOut, Missing::kStopped}));
  const Strings tooMany(kMaxSupplies + 1, "level=5");
  EXPECT_EQ(
      Facts({Texts("printer-supply", tooMany), Texts("printer-state-reasons", {"none"})}).missing,
      Missing::kNothingSaid);
  EXPECT_EQ(Facts({Texts("marker-names", tooMany), Integers("printer-state", {5}),
                   Texts("printer-supply-info-uri", {"http://127.0.0.5/s"})}),
            (DeviceFacts{Missing::kNone, "stopped", {}, {}, "http://127.0.0.5/s"}));
  for (const std::string uri : {"ftp://127.0.0.5/", "http://bad host/", "http://a@b@c/"})
    EXPECT_EQ(Facts({Texts("printer-supply-info-uri", {uri})}).supplyInfoUri, "") << uri;
}

TEST(DeviceFactsTest, TheUrisLeadToTheDeviceNeverToAPrintServer) {
  const Strings usual = {"ipp://198.51.100.7:631/ipp/print", "ipp://198.51.100.7:631/ipp",
                         "ipp://198.51.100.7:631/"};
  const Strings own = {"ipps://198.51.100.7:8631/x?y", usual[0], usual[1], usual[2]};
  const Strings local = {"ipp://localhost:60000/x", "ipp://localhost:60000/ipp/print"};
  const std::vector<std::tuple<std::string, std::uint16_t, std::string, Strings>> rows = {
      {"198.51.100.7", 0, "ipp://198.51.100.7/ipp/print", usual},
      {"198.51.100.7", 0, "IPPS://198.51.100.7:8631/x?y", own},
      {"198.51.100.7", 0, "ipp://198.51.100.8/ipp/print", usual},
      {"198.51.100.7", 0, "ipp://198.51.100.7/printers/office", usual},
      {"198.51.100.7", 0, "ipp://198.51.100.7//classes/all", usual},
      {"198.51.100.7", 0, "ipp://user@198.51.100.7/ipp", usual},
      {"localhost", 60000, "ipp://LocalHost:60000/x", local},
      {"[::1]", 60000, "ipp://[::1]:631/ipp/print", {"ipp://[::1]:60000/ipp/print"}},
      {"127.0.0.1", 0, "ipp://127.0.0.1:631/ipp/print", {}},
      {"[::ffff:127.0.0.1]", 0, "", {}},
      {"localhost", 631, "", {}},
      {"127.1", 0, "", {}}};
  for (const auto& [host, port, deviceUri, uris] : rows)
    EXPECT_EQ(FactsUris(host, port, deviceUri), uris) << host << " " << deviceUri;
}

}  // namespace
}  // namespace pradex
