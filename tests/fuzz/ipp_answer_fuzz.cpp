// Fuzz target: bytes as the body of a device's IPP answer, through DecodeIppAnswer and
// FactsFromAnswer. The sanitizers find the faults; a broken bound aborts. How to run it for
// longer with libFuzzer: README.md, "Test it".
#include <cups/ipp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "discovery/device_facts.h"
#include "platform/posix/cups_ipp_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pradex;
  const auto Check = [](bool holds) {
    if (!holds) std::abort();
  };
  const IppAnswer answer = DecodeIppAnswer({data, size});
  Check(answer.attributes.size() <= kIppMaxAttributes);
  for (const IppAttribute& attribute : answer.attributes) {
    Check(attribute.values.size() <= kIppMaxValues && attribute.name.size() <= kIppMaxTextBytes);
    for (const IppValue& value : attribute.values) Check(value.text.size() <= kIppMaxTextBytes);
  }
  const DeviceFacts facts = FactsFromAnswer(answer);
  Check(facts.supplies.size() <= kMaxSupplies && facts.stateReasons.size() <= kMaxStateReasons);
  for (const Supply& supply : facts.supplies) {
    Check(supply.name.size() <= kMaxFactTextBytes && supply.kind.size() <= kMaxFactTextBytes);
    Check(supply.colour.empty() || (supply.colour.size() == 7 && supply.colour[0] == '#'));
    Check(supply.level >= Supply::kNotReported && supply.level <= 100);
    Check(std::min(supply.lowMark, supply.highMark) >= -1);
    Check(std::max(supply.lowMark, supply.highMark) <= 100);
  }
  for (const std::string& reason : facts.stateReasons)
    Check(!reason.empty() && reason.size() <= kMaxFactTextBytes && reason != "none");
  return 0;
}

#ifndef PRADEX_LIBFUZZER
// Without libFuzzer, a test: seed answers, checked for what they decode to, then bytes of them
// changed or cut in a fixed order (a failure comes back the same) for two seconds or 100000
// runs. With --seeds DIR it also writes the seeds into DIR, for libFuzzer.
int main(int argc, char** argv) {
  using namespace pradex;
  // An answer with the marker attributes, and with printer-supply as ippeveprinter sends it.
  const auto seed = [](bool supplies) {
    ipp_t* answer = ippNew();
    ippSetVersion(answer, 2, 0);
    const char* names[] = {"Black", "Waste"};
    const int levels[] = {5, 90};
    ippAddStrings(answer, IPP_TAG_PRINTER, IPP_TAG_NAME, "marker-names", 2, nullptr, names);
    ippAddIntegers(answer, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "marker-levels", 2, levels);
    const std::string supply =
        "index=2;class=supplyThatIsConsumed;type=toner;unit=percent;maxcapacity=100;level=75;"
        "colorantname=black;";
    if (supplies)
      ippAddOctetString(answer, IPP_TAG_PRINTER, "printer-supply", supply.data(),
                        static_cast<int>(supply.size()));
    std::string bytes;
    const auto append = [](void* to, ipp_uchar_t* data, size_t size) -> ssize_t {
      static_cast<std::string*>(to)->append(reinterpret_cast<const char*>(data), size);
      return static_cast<ssize_t>(size);
    };
    ippWriteIO(&bytes, append, 1, nullptr, answer);
    ippDelete(answer);
    return bytes;
  };
  const std::vector<std::string> seeds = {seed(true), seed(false), seed(true).substr(0, 99)};
  for (std::size_t i = 0; argc == 3 && std::string(argv[1]) == "--seeds" && i < seeds.size(); ++i)
    std::ofstream(std::string(argv[2]) + "/seed" + std::to_string(i)) << seeds[i];
  const auto facts = [](const std::string& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    return FactsFromAnswer(DecodeIppAnswer({data, bytes.size()}));
  };
  // Seeds that reach the facts, or the mutations would try little beyond the decoding.
  if (facts(seeds[0]).supplies.size() != 1 || facts(seeds[1]).supplies.size() != 2 ||
      facts(seeds[2]).missing != DeviceFacts::Missing::kNotIpp) {
    std::fprintf(stderr, "the seed answers do not decode as they should\n");
    return 1;
  }
  std::mt19937 random(20240601);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  long runs = 0;
  for (; runs < 100000 && std::chrono::steady_clock::now() < end; ++runs) {
    std::string input = seeds[random() % seeds.size()];
    for (unsigned edits = 1 + random() % 8; edits > 0; --edits)
      input[random() % input.size()] = static_cast<char>(random());
    if (random() % 4 == 0) input.resize(random() % input.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  std::printf("%ld runs\n", runs);
  return 0;
}
#endif
