#include "ui/cli/cli_options.h"

#include "app/languages.h"

namespace pradex::cli {

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  for (const std::string& argument : arguments) {
    if (argument == "--json") {
      parsed.options.json = true;
    } else if (argument == "--explain") {
      parsed.options.explain = true;
    } else if (argument == "--supplies") {
      parsed.options.supplies = true;
    } else if (argument == "--help" || argument == "-h") {
      parsed.options.help = true;
    } else if (argument == "--version") {
      parsed.options.version = true;
    } else if (argument.starts_with("--language=")) {
      parsed.options.language = argument.substr(std::string_view("--language=").size());
    } else {
      // The first fault is the one reported; nothing runs after a usage error.
      if (parsed.error.empty()) {
        parsed.error = Phrase::Of(
            argument.starts_with("-") ? "usage.unknown-option" : "usage.unexpected-argument",
            {Phrase::Literal(argument)});
      }
    }
  }
  return parsed;
}

std::string UsageText() {
  return "usage: pradex-cli [--json] [--explain] [--supplies] [--language=CODE]\n"
         "       pradex-cli --help | --version\n";
}

std::string HelpText() {
  return UsageText() +
         "\n"
         "Looks through the printers of the CUPS server, probes the web page of every GlowMark\n"
         "and BrimLine device among them, and prints what the Pradex window shows at the end\n"
         "of one search: the status text on the first line, then one line per device that\n"
         "answered, its printer name, a tab and its device page URL, sorted by name (byte\n"
         "order). Control characters, invisible characters that change the direction of the\n"
         "text or break its line, and backslashes in names are written as C escapes.\n"
         "The texts are in Finnish unless another language is chosen. When the spooler's\n"
         "printer list could not be read, one line on standard error tells why.\n"
         "\n"
         "  --json     print one JSON object (UTF-8) instead:\n"
         "             {\"status\": TEXT, \"devices\": [{\"name\": NAME, \"url\": URL,\n"
         "              \"facts\": WHY, \"state\": STATE, \"supplies\": SUPPLIES}, ...],\n"
         "              \"interrupted\": BOOL, \"outcome\": OUTCOME}\n"
         "             where OUTCOME is \"completed\", \"spooler-unavailable\" or "
         "\"interrupted\";\n"
         "             WHY is \"reported\" or why the device's facts are missing (\"not-ipp\",\n"
         "             \"timed-out\", ...), STATE {\"value\": IPP_STATE, \"reasons\": [KEYWORD, "
         "...]}\n"
         "             or null, SUPPLIES [{\"name\", \"kind\", \"colour\", \"level\", \"low\"}, "
         "...]\n"
         "             or null (level: percent, or null when the device does not know it)\n"
         "  --supplies add a third column: what each device says about itself in IPP, as\n"
         "             \"state=STATE(REASON,...); NAME=LEVEL; ...\" with LEVEL \"75%\", "
         "\"unknown\"\n"
         "             or \"not-reported\", then \" low\" or \" nearly-full\" when the device "
         "says\n"
         "             so; \"not-reported\" for a device that says nothing. Each device is\n"
         "             asked once its page answered, at most 3 at a time, for at most 3 s\n"
         "  --explain  after the list, tell for every printer of the spooler why it was or\n"
         "             was not probed and how its probe ended (with --json: \"explain\"),\n"
         "             and for a listed device that reports no supplies, why (a fourth column)\n"
         "  --language=CODE\n"
         "             print the texts in another language (also PRADEX_LANGUAGE=CODE),\n"
         "             CODE one of:\n" +
         LanguageList("               ") +
         "  --help     show this text\n"
         "  --version  show the version\n"
         "\n"
         "Exit status: 0 when the search completed (also when it found nothing), 3 when\n"
         "the spooler's printer list could not be read (no CUPS server, or no usable answer),\n"
         "2 for a usage error, 1 when the output could not be written. Ctrl-C (SIGINT) or\n"
         "SIGTERM stops the search; what was found until then is printed and the exit status\n"
         "is 130 (SIGINT) or 143 (SIGTERM). A second Ctrl-C ends the program at once.\n"
         "\n"
         "Environment: CUPS_SERVER (and the CUPS client configuration) names the CUPS server;\n"
         "http_proxy and no_proxy apply to the probes; LANG and LC_* choose the encoding of\n"
         "the text (UTF-8 when the locale is plain ASCII).\n";
}

}  // namespace pradex::cli
