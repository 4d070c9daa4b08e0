// The command line: which arguments are taken, which are usage errors.
#include "ui/cli/cli_options.h"

#include <gtest/gtest.h>

namespace pradex::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliOptionsTest, TakesItsOptionsInAnyOrderAndCombination) {
  EXPECT_TRUE(ParseCommandLine({}).error.empty());
  const ParsedCommandLine both = ParseCommandLine(Args{"--explain", "--json", "--json"});
  EXPECT_TRUE(both.error.empty());
  EXPECT_TRUE(both.options.json);
  EXPECT_TRUE(both.options.explain);
  EXPECT_FALSE(both.options.help);
  EXPECT_TRUE(ParseCommandLine(Args{"-h"}).options.help);
  EXPECT_TRUE(ParseCommandLine(Args{"--help"}).options.help);
}

TEST(CliOptionsTest, AnythingElseIsAUsageErrorNamingTheFirstFault) {
  for (const Args& args : {Args{"--jsonx"}, Args{"-j"}, Args{"--"}, Args{"list"}, Args{""},
                           Args{"--json=1"}, Args{"--JSON"}}) {
    EXPECT_FALSE(ParseCommandLine(args).error.empty()) << args[0];
  }
  const ParsedCommandLine parsed = ParseCommandLine(Args{"--json", "--nope", "extra"});
  EXPECT_NE(parsed.error.find("'--nope'"), std::string::npos) << parsed.error;
  EXPECT_NE(ParseCommandLine(Args{"extra"}).error.find("argument 'extra'"), std::string::npos);
}

TEST(CliOptionsTest, HelpStatesTheExitStatusesItUses) {
  const std::string help = HelpText();
  EXPECT_EQ(help.rfind(UsageText(), 0), 0u);
  EXPECT_NE(help.find(std::to_string(kExitSignalBase + 2)), std::string::npos);   // SIGINT
  EXPECT_NE(help.find(std::to_string(kExitSignalBase + 15)), std::string::npos);  // SIGTERM
  EXPECT_NE(help.find(std::to_string(kExitUsage) + " for a usage error"), std::string::npos);
  for (const char* option : {"--json", "--explain", "--help"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace pradex::cli
