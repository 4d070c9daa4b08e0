// The Qt program's own command line, what is left of it once Qt has taken its options.
#include "ui/qt/window_options.h"

#include <gtest/gtest.h>

#include "app/languages.h"

namespace pradex {
namespace {

using Args = std::vector<std::string>;

TEST(WindowOptions, TakesHelpVersionAndALanguageAndRefusesAnythingElse) {
  EXPECT_TRUE(ParseWindowCommandLine({}).error.empty());
  EXPECT_TRUE(ParseWindowCommandLine(Args{"--help"}).help);
  EXPECT_TRUE(ParseWindowCommandLine(Args{"-h"}).help);
  EXPECT_TRUE(ParseWindowCommandLine(Args{"--version"}).version);
  EXPECT_EQ(ParseWindowCommandLine(Args{"--language=ja"}).language,
            std::optional<std::string>("ja"));
  for (const Args& args : {Args{"--json"}, Args{"--language"}, Args{"x"}, Args{"-platform"}}) {
    EXPECT_FALSE(ParseWindowCommandLine(args).error.empty()) << args[0];
  }
  // --help and --version are answered before a display is looked for; nothing else is.
  EXPECT_TRUE(AsksForHelpOrVersion(Args{"--language=en", "--version"}));
  EXPECT_FALSE(AsksForHelpOrVersion(Args{"--language=en"}));
}

TEST(WindowOptions, HelpTellsTheDefaultLanguageAndListsTheCodes) {
  const std::string help = WindowHelpText();
  EXPECT_EQ(help.rfind(WindowUsageText(), 0), 0u);
  EXPECT_NE(help.find("Finnish unless"), std::string::npos);
  EXPECT_NE(help.find("PRADEX_LANGUAGE"), std::string::npos);
  for (const LanguageBlock& language : LanguageBlocks()) {
    EXPECT_NE(help.find(std::string(language.code) + " " + std::string(language.name)),
              std::string::npos)
        << language.code;
  }
}

}  // namespace
}  // namespace pradex
