// The command line: which arguments are taken, which are usage errors.
#include "ui/cli/cli_options.h"

#include <gtest/gtest.h>

#include "app/languages.h"
#include "tests/support/english_texts.h"

namespace pradex::cli {
namespace {

using Args = std::vector<std::string>;
using testsupport::English;

TEST(CliOptionsTest, TakesItsOptionsInAnyOrderAndCombination) {
  EXPECT_TRUE(ParseCommandLine({}).error.empty());
  const ParsedCommandLine both = ParseCommandLine(Args{"--explain", "--json", "--json"});
  EXPECT_TRUE(both.error.empty());
  EXPECT_TRUE(both.options.json);
  EXPECT_TRUE(both.options.explain);
  EXPECT_FALSE(both.options.help);
  EXPECT_TRUE(ParseCommandLine(Args{"-h"}).options.help);
  EXPECT_TRUE(ParseCommandLine(Args{"--help"}).options.help);
  EXPECT_TRUE(ParseCommandLine(Args{"--version"}).options.version);
  const ParsedCommandLine language = ParseCommandLine(Args{"--language=sv", "--json"});
  EXPECT_TRUE(language.error.empty());
  EXPECT_EQ(language.options.language, std::optional<std::string>("sv"));
  EXPECT_EQ(ParseCommandLine({}).options.language, std::nullopt);
}

TEST(CliOptionsTest, AnythingElseIsAUsageErrorNamingTheFirstFault) {
  for (const Args& args : {Args{"--jsonx"}, Args{"-j"}, Args{"--"}, Args{"list"}, Args{""},
                           Args{"--json=1"}, Args{"--JSON"}}) {
    EXPECT_FALSE(ParseCommandLine(args).error.empty()) << args[0];
  }
  const ParsedCommandLine parsed = ParseCommandLine(Args{"--json", "--nope", "extra"});
  EXPECT_EQ(English(parsed.error), "unknown option '--nope'");
  EXPECT_EQ(English(ParseCommandLine(Args{"extra"}).error), "unexpected argument 'extra'");
}

TEST(CliOptionsTest, HelpStatesTheExitStatusesItUses) {
  const std::string help = HelpText();
  EXPECT_EQ(help.rfind(UsageText(), 0), 0u);
  EXPECT_NE(help.find(std::to_string(kExitSignalBase + 2)), std::string::npos);   // SIGINT
  EXPECT_NE(help.find(std::to_string(kExitSignalBase + 15)), std::string::npos);  // SIGTERM
  EXPECT_NE(help.find(std::to_string(kExitUsage) + " for a usage error"), std::string::npos);
  EXPECT_NE(help.find(std::to_string(kExitSpoolerUnavailable) + " when"), std::string::npos);
  for (const char* outcome : {"\"completed\"", "\"spooler-unavailable\"", "\"interrupted\""})
    EXPECT_NE(help.find(outcome), std::string::npos) << outcome;
  for (const char* option : {"--json", "--explain", "--help", "--version", "--language=CODE"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  EXPECT_NE(help.find("Finnish unless"), std::string::npos) << "the default language is told";
  EXPECT_NE(help.find(LanguageList("               ")), std::string::npos) << "codes listed";
}

}  // namespace
}  // namespace pradex::cli
