#include "ui/qt/window_options.h"

#include "app/languages.h"

namespace pradex {

namespace {

constexpr std::string_view kLanguageOption = "--language=";

}  // namespace

WindowOptions ParseWindowCommandLine(const std::vector<std::string>& arguments) {
  WindowOptions options;
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument.starts_with(kLanguageOption)) {
      options.language = argument.substr(kLanguageOption.size());
    } else if (options.error.empty()) {
      options.error = Phrase::Of(
          argument.starts_with("-") ? "usage.unknown-option" : "usage.unexpected-argument",
          {Phrase::Literal(argument)});
    }
  }
  return options;
}

bool AsksForHelpOrVersion(const std::vector<std::string>& arguments) {
  const WindowOptions options = ParseWindowCommandLine(arguments);
  return options.help || options.version;
}

std::string WindowUsageText() {
  return "usage: pradex [--language=CODE]\n"
         "       pradex --help | --version\n";
}

std::string WindowHelpText() {
  return WindowUsageText() +
         "\n"
         "Opens the Pradex window: it looks through the printers of the CUPS server, asks every\n"
         "GlowMark and BrimLine device among them for its web page and lists each device that\n"
         "answers; click a name, or press Enter on it, to open the page in the browser.\n"
         "\n"
         "The interface is in Finnish unless another language is chosen.\n"
         "\n"
         "  --language=CODE  show the texts in another language (also PRADEX_LANGUAGE=CODE),\n"
         "                   CODE one of:\n" +
         LanguageList("                     ") +
         "  --help           show this text\n"
         "  --version        show the version\n"
         "\n"
         "Qt's own options (-platform, -style, ...) are accepted as well.\n";
}

}  // namespace pradex
