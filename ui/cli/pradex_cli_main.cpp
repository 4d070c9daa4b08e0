// pradex-cli: one Pradex search on the console. See HelpText() in cli_options.cpp.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/languages.h"
#include "app/static_version_info.h"
#include "app/texts.h"
#include "platform/posix/locale_string_resources.h"
#include "ui/cli/cli_options.h"
#include "ui/cli/console_search.h"
#include "ui/cli/output.h"
#include "ui/linux/linux_platform.h"

namespace {

// The signal that asked for a stop, or 0. The handler only stores it; the main loop sees it
// and stops the search through the window logic.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

extern "C" void OnStopSignal(int signalNumber) {
  gStopSignal.store(signalNumber);
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // One signal stops the search; a second one gets the default action and ends the process at
  // once, for a user who does not want to wait even for that.
  // SA_RESTART: a signal while the result is being written must not cut the output short.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader that went away is a failed write (exit 1), not a killed process.
  signal(SIGPIPE, SIG_IGN);
}

bool Write(std::FILE* stream, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

// UTF-8 text for standard error, in the locale's encoding as the listing is.
void Tell(const std::string& utf8) {
  const std::string codeset = pradex::cli::OutputCodeset(pradex::LocaleCodeset());
  std::string text;
  Write(stderr, pradex::ConvertUtf8ToCodeset(utf8, codeset, text) ? text : utf8);
}

// A usage error: its line in the chosen language, the usage in English.
int UsageError(unsigned block, const std::string& error) {
  Tell("pradex-cli: " + error + "\n" + pradex::cli::UsageText() +
       pradex::Text(block, "usage.try-help", {"pradex-cli"}) + "\n");
  return pradex::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pradex;
  using namespace pradex::cli;

  std::setlocale(LC_ALL, "");
  const ParsedCommandLine parsed =
      ParseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  const LanguageChoice language =
      ChooseLanguage(parsed.options.language, std::getenv(kLanguageVariable));
  if (!parsed.error.empty()) return UsageError(language.block, Say(language.block, parsed.error));
  if (parsed.options.help || parsed.options.version) {
    const std::string text = parsed.options.help ? HelpText() : VersionLine() + "\n";
    return Write(stdout, text) && std::fflush(stdout) == 0 ? kExitCompleted : kExitOutputFailed;
  }
  if (!language.error.empty()) return UsageError(language.block, language.error);
  if (!language.warning.empty()) Tell("pradex-cli: " + language.warning + "\n");
  InstallStopHandlers();

  LinuxPlatform platform;
  // JSON is UTF-8 by definition; the listing follows the locale (see OutputCodeset).
  const std::string codeset = parsed.options.json ? "UTF-8" : OutputCodeset(LocaleCodeset());
  LanguageStringResources chosen(platform.utf8Strings, language.block);
  LocaleStringResources strings(chosen, codeset);

  ConsoleSearch search(
      ConsoleMachine{platform.spooler, platform.settings, platform.http, platform.resolver,
                     AsksDevices(parsed.options) ? &platform.ipp : nullptr},
      strings, parsed.options.explain);
  // Progress goes to a terminal only: a pipe or a file gets the result alone.
  const bool showProgress = isatty(STDERR_FILENO) == 1;
  if (showProgress) {
    search.SetProgressReporter([&language](const SearchProgress& progress) {
      Tell("\r\x1b[K" + ProgressText(progress, language.block));
    });
  }
  ConsoleOutcome outcome = search.Run([] { return gStopSignal.load() != 0; });
  if (showProgress) Write(stderr, "\r\x1b[K");

  const std::string text =
      parsed.options.json ? FormatJson(outcome, language.block)
                          : FormatText(outcome, codeset, language.block, parsed.options.supplies);
  const bool written = Write(stdout, text) && std::fflush(stdout) == 0;
  Tell(SpoolerProblemLine(outcome, language.block));
  const int status = ExitStatus(outcome, written, gStopSignal.load());
  if (!outcome.engineSettled || platform.resolver.CallsLeftBehind() > 0) {
    // The engine's worker is inside a call that cannot be cut short, or a DNS-SD daemon that
    // hangs still holds a call the search gave up on. Everything has been printed; ending the
    // process here, without destructors, frees it all without waiting for that call.
    std::_Exit(status);
  }
  return status;
}
