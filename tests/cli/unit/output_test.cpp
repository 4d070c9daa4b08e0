// What pradex-cli writes: the encoding it chooses, the escaping of user data, the two formats.
#include "ui/cli/output.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "app/messages.h"
#include "platform/posix/locale_string_resources.h"
#include "tests/cli/cli_texts.h"
#include "tests/cli/json_reader.h"
#include "tests/support/english_texts.h"

namespace pradex::cli {
namespace {

using test::Fields;
using test::JsonReader;
using test::Lines;
using test::Utf8;
using testsupport::kEnglish;

TEST(OutputCodesetTest, PlainAsciiBecomesUtf8AndEveryOtherCodesetStays) {
  for (const char* ascii : {"ANSI_X3.4-1968", "ansi_x3.4-1968", "ASCII", "US-ASCII", "646", ""})
    EXPECT_EQ(OutputCodeset(ascii), "UTF-8") << ascii;
  for (const char* kept : {"UTF-8", "utf8", "ISO-8859-1", "ISO-8859-15", "EUC-JP"})
    EXPECT_EQ(OutputCodeset(kept), kept);
}

TEST(OutputCodesetTest, MessagesLookedUpForAnAsciiLocaleKeepTheirLetters) {
  EmbeddedStringResources table;
  LocaleStringResources ascii(table, OutputCodeset("ANSI_X3.4-1968"));
  EXPECT_EQ(LoadMessage(ascii, 3), test::kNoneFoundText);
  // Without the exception the same lookup would give question marks.
  LocaleStringResources strict(table, "ANSI_X3.4-1968");
  EXPECT_EQ(LoadMessage(strict, 3), "Tulostimia ei l?ydy.");
  LocaleStringResources latin1(table, OutputCodeset("ISO-8859-1"));
  EXPECT_EQ(LoadMessage(latin1, 3), "Tulostimia ei l\xF6ydy.");
}

TEST(EscapeForConsoleTest, KeepsPrintableTextAndEscapesWhatCouldBreakALineOrATerminal) {
  EXPECT_EQ(EscapeForConsole(Utf8(u8"Kööpenhamina 2.krs_€")), Utf8(u8"Kööpenhamina 2.krs_€"));
  EXPECT_EQ(EscapeForConsole("a\tb\nc\rd"), "a\\tb\\nc\\rd");
  EXPECT_EQ(EscapeForConsole("back\\slash"), "back\\\\slash");
  EXPECT_EQ(EscapeForConsole("\x1b[31mred\x7f"), "\\x1b[31mred\\x7f");
  EXPECT_EQ(EscapeForConsole(std::string("nul\0x", 5)), "nul\\x00x");
  // C1 controls (CSI here) act on many terminals when written as UTF-8.
  EXPECT_EQ(EscapeForConsole("\xC2\x9B"
                             "2J"),
            "\\xc2\\x9b2J");
  // Bytes that are not UTF-8: a Latin-1 name, an overlong slash, a surrogate, a cut sequence.
  EXPECT_EQ(EscapeForConsole("K\xF6ln"), "K\\xf6ln");
  EXPECT_EQ(EscapeForConsole("\xC0\xAF"), "\\xc0\\xaf");
  EXPECT_EQ(EscapeForConsole("\xED\xA0\x80"), "\\xed\\xa0\\x80");
  EXPECT_EQ(EscapeForConsole("x\xE2\x82"), "x\\xe2\\x82");
  // Invisible characters that reorder a line or break it: bidirectional marks, embeddings,
  // overrides and isolates, the line and paragraph separators.
  const struct {
    const char* utf8;
    const char* escaped;
  } disguises[] = {
      {"\xE2\x80\xAE", "\\xe2\\x80\\xae"},  // U+202E right-to-left override
      {"\xE2\x80\xAA", "\\xe2\\x80\\xaa"},  // U+202A
      {"\xE2\x81\xA6", "\\xe2\\x81\\xa6"},  // U+2066 left-to-right isolate
      {"\xE2\x81\xA9", "\\xe2\\x81\\xa9"},  // U+2069
      {"\xE2\x80\x8E", "\\xe2\\x80\\x8e"},  // U+200E left-to-right mark
      {"\xE2\x80\x8F", "\\xe2\\x80\\x8f"},  // U+200F
      {"\xE2\x80\xA8", "\\xe2\\x80\\xa8"},  // U+2028 line separator
      {"\xE2\x80\xA9", "\\xe2\\x80\\xa9"},  // U+2029 paragraph separator
  };
  for (const auto& d : disguises)
    EXPECT_EQ(EscapeForConsole(std::string("lab") + d.utf8 + "exe.txt"),
              std::string("lab") + d.escaped + "exe.txt")
        << d.escaped;
  // Their neighbours are ordinary text.
  EXPECT_EQ(EscapeForConsole("\xE2\x80\xA7\xE2\x80\xAF"),
            "\xE2\x80\xA7\xE2\x80\xAF");  // U+2027, U+202F
}

TEST(EscapeForConsoleTest, NoByteSequenceYieldsAControlCharacterOrATab) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 12, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    const std::string escaped = EscapeForConsole(bytes);
    for (const char c : escaped) {
      const auto byte = static_cast<unsigned char>(c);
      ASSERT_TRUE(byte >= 0x20 && byte != 0x7F) << "round " << round;
    }
    ASSERT_EQ(escaped.find("\xC2\x80"), std::string::npos);
  }
}

TEST(JsonStringTest, EscapesWhatJsonRequiresAndKeepsValidUtf8) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("q\"b\\s/"), "\"q\\\"b\\\\s/\"");
  EXPECT_EQ(JsonString("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
  EXPECT_EQ(JsonString(std::string("\0\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonString(Utf8(u8"määritys €𝄞")), "\"" + Utf8(u8"määritys €𝄞") + "\"");
  EXPECT_EQ(JsonString("\xC2\x85"), "\"\\u0085\"");
  EXPECT_EQ(JsonString(Utf8(u8"a\u2028b\u2029")), "\"a\\u2028b\\u2029\"");
}

TEST(JsonStringTest, EveryByteThatIsNotValidUtf8BecomesOneReplacementCharacter) {
  EXPECT_EQ(JsonString("K\xF6ln"), "\"K\\ufffdln\"");
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xF4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xE2\x82"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xFF\xFE"), "\"\\ufffd\\ufffd\"");
}

TEST(JsonStringTest, AnyBytesGiveAValidLiteralAndValidUtf8ReadsBackUnchanged) {
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 16, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    ASSERT_NO_THROW(JsonReader::Parse(JsonString(bytes))) << "round " << round;
  }
  for (int round = 0; round < 2000; ++round) {
    // Random code points from every range, surrogates left out.
    std::u32string points;
    for (int n = static_cast<int>(random() % 8); n > 0; --n) {
      char32_t c = static_cast<char32_t>(random() % 0x110000);
      if (c >= 0xD800 && c <= 0xDFFF) c -= 0x800;
      if (random() % 2) c %= 0x100;
      points.push_back(c);
    }
    std::string utf8;
    for (const char32_t c : points) {
      if (c < 0x80) {
        utf8 += static_cast<char>(c);
      } else if (c < 0x800) {
        utf8 += static_cast<char>(0xC0 | (c >> 6));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (c >> 12));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        utf8 += static_cast<char>(0xF0 | (c >> 18));
        utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    ASSERT_EQ(JsonReader::Parse(JsonString(utf8)).String(), utf8) << "round " << round;
  }
}

ConsoleOutcome TwoDevices() {
  ConsoleOutcome outcome;
  outcome.status = "Status";
  outcome.devices = {{"Zeta\tTab", "http://127.0.0.2/tamrin/device/this.LCDispatcher", {}},
                     {Utf8(u8"työhuone"), "http://127.0.0.1/?type=supplies", {}}};
  return outcome;
}

TEST(FormatTextTest, StatusThenOneLineOfNameAndUrlPerDevice) {
  const std::vector<std::string> lines = Lines(FormatText(TwoDevices(), "UTF-8", kEnglish));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Status");
  EXPECT_EQ(
      Fields(lines[1]),
      (std::vector<std::string>{"Zeta\\tTab", "http://127.0.0.2/tamrin/device/this.LCDispatcher"}));
  EXPECT_EQ(Fields(lines[2]),
            (std::vector<std::string>{Utf8(u8"työhuone"), "http://127.0.0.1/?type=supplies"}));
  EXPECT_EQ(FormatText(ConsoleOutcome{false, true, "Nothing", {}, std::nullopt}, "UTF-8", kEnglish),
            "Nothing\n");
}

TEST(FormatTextTest, NamesAreWrittenInTheOutputCodeset) {
  const std::vector<std::string> lines = Lines(FormatText(TwoDevices(), "ISO-8859-1", kEnglish));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Fields(lines[2])[0], "ty\xF6huone");
}

TEST(FormatTextTest, TheExplanationFollowsAnEmptyLineWithOneLinePerPrinter) {
  ConsoleOutcome outcome = TwoDevices();
  Explanation explanation;
  explanation.spoolerResult = 0;
  PrinterExplanation other;
  other.printerName = "office";
  other.driverName = "Otherco LaserStar 12";
  other.verdict = SearchTrace::PrinterVerdict::kNotMaker;
  PrinterExplanation usb;
  usb.printerName = "usb\x1b";
  usb.portName = "usb://Tamrin/GlowMark";
  usb.verdict = SearchTrace::PrinterVerdict::kPortNotResolved;
  PrinterExplanation probed;
  probed.printerName = "Zeta\tTab";
  probed.url = "http://127.0.0.2/tamrin/device/this.LCDispatcher";
  probed.verdict = SearchTrace::PrinterVerdict::kProbing;
  probed.probe =
      SearchTrace::ProbeNote{SearchTrace::ProbeEnd::kAnswered, probed.printerName, probed.url, 200};
  PrinterExplanation unreached;
  unreached.printerName = "late";
  explanation.printers = {other, usb, probed, unreached};
  outcome.explanation = explanation;

  const std::vector<std::string> lines = Lines(FormatText(outcome, "UTF-8", kEnglish));
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "spooler: 4 printers");
  EXPECT_EQ(Fields(lines[5]), (std::vector<std::string>{"office", "not a Tamrin printer",
                                                        "driver: Otherco LaserStar 12"}));
  EXPECT_EQ(Fields(lines[6]),
            (std::vector<std::string>{"usb\\x1b", "no network address found behind its port",
                                      "port: usb://Tamrin/GlowMark"}));
  EXPECT_EQ(Fields(lines[7]), (std::vector<std::string>{"Zeta\\tTab", "answered", probed.url}));
  EXPECT_EQ(Fields(lines[8]),
            (std::vector<std::string>{"late", "not looked at: the search was stopped before", ""}));
}

TEST(FormatJsonTest, AnObjectWithStatusDevicesAndTheInterruption) {
  ConsoleOutcome outcome = TwoDevices();
  outcome.devices[0].name = "bad\xFF\"name";
  outcome.interrupted = true;
  const auto json = JsonReader::Parse(FormatJson(outcome, kEnglish));
  EXPECT_EQ(json["status"].String(), "Status");
  ASSERT_EQ(json["devices"].Array().size(), 2u);
  EXPECT_EQ(json["devices"][0]["name"].String(), Utf8(u8"bad\uFFFD\"name"));
  EXPECT_EQ(json["devices"][0]["url"].String(), outcome.devices[0].url);
  EXPECT_EQ(json["devices"][1]["name"].String(), Utf8(u8"työhuone"));
  EXPECT_TRUE(json["interrupted"].Bool());
  EXPECT_EQ(json["outcome"].String(), "interrupted");
  EXPECT_FALSE(json.Has("explain"));

  const auto empty = JsonReader::Parse(FormatJson(ConsoleOutcome{}, kEnglish));
  EXPECT_TRUE(empty["devices"].Array().empty());
  EXPECT_FALSE(empty["interrupted"].Bool());
  EXPECT_EQ(empty["outcome"].String(), "completed");
}

// What devices say about themselves, in words that scripts can rely on in every language.
TEST(FormatTextTest, SuppliesAndStateInAThirdColumnTheJsonAndWhyNotInTheExplanation) {
  ConsoleOutcome outcome = TwoDevices();
  DeviceFacts& said = outcome.devices[0].facts;
  said.missing = DeviceFacts::Missing::kNone;
  said.state = "stopped";
  said.stateReasons = {"media-jam", "toner-low"};
  said.supplies = {{"Black; K=1", "toner", "#000000", 75, 10, -1, false, false},
                   {"", "wasteToner", "", Supply::kUnknown, -1, 90, true, true},
                   {"", "", "", 4, 10, -1, false, true}};
  outcome.devices[1].facts.missing = DeviceFacts::Missing::kNotIpp;
  Explanation explanation;
  PrinterExplanation silent;
  silent.printerName = outcome.devices[1].name;
  explanation.printers = {silent};
  outcome.explanation = explanation;

  const std::vector<std::string> lines = Lines(FormatText(outcome, "UTF-8", kEnglish, true));
  EXPECT_EQ(Fields(lines[1])[2],
            "state=stopped(media-jam,toner-low); Black\\x3b K\\x3d1=75%; wasteToner=unknown "
            "nearly-full; supply=4% low");
  EXPECT_EQ(Fields(lines[2])[2], "not-reported");
  EXPECT_EQ(Fields(lines[5])[3], "supplies: the device did not answer in IPP");

  const auto json = JsonReader::Parse(FormatJson(outcome, kEnglish));
  const auto& first = json["devices"][0];
  EXPECT_EQ(first["facts"].String(), "reported");
  EXPECT_EQ(first["state"]["reasons"][1].String(), "toner-low");
  EXPECT_EQ(first["supplies"][0]["level"].Number(), 75);
  EXPECT_TRUE(first["supplies"][1]["level"].IsNull());
  EXPECT_TRUE(first["supplies"][1]["colour"].IsNull());
  EXPECT_TRUE(first["supplies"][2]["low"].Bool());
  EXPECT_EQ(json["devices"][1]["facts"].String(), "not-ipp");
  EXPECT_TRUE(json["devices"][1]["supplies"].IsNull());
}

TEST(FormatJsonTest, APrinterNotLookedAtHasNullVerdictAndProbe) {
  ConsoleOutcome outcome;
  Explanation explanation;
  explanation.spoolerResult = 0;
  PrinterExplanation unreached;
  unreached.printerName = "late";
  explanation.printers = {unreached};
  outcome.explanation = explanation;
  const auto json = JsonReader::Parse(FormatJson(outcome, kEnglish));
  EXPECT_EQ(json["explain"]["spooler"]["text"].String(), "1 printer");
  const auto& printer = json["explain"]["printers"][0];
  EXPECT_EQ(printer["name"].String(), "late");
  EXPECT_TRUE(printer["verdict"].IsNull());
  EXPECT_TRUE(printer["probe"].IsNull());

  outcome.explanation = Explanation{};
  const auto notAsked = JsonReader::Parse(FormatJson(outcome, kEnglish));
  EXPECT_TRUE(notAsked["explain"]["spooler"]["error"].IsNull());
  EXPECT_TRUE(notAsked["explain"]["printers"].Array().empty());
}

}  // namespace
}  // namespace pradex::cli
