// The desktop program as a logout or a terminal ends it: SIGTERM or SIGINT closes the window
// the way Close does, and the program ends by itself (its search stopped, its engine released,
// a sanitizer build's leak check run) with the status a shell reports for that signal, rather
// than being cut off by the signal.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/cli/e2e/cli_e2e_support.h"

extern char** environ;

namespace pradex::qttest {
namespace {

using namespace std::chrono_literals;

// This process's environment with CUPS_SERVER and QT_QPA_PLATFORM set as given.
std::vector<std::string> ProgramEnvironment(const std::string& cupsServer) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (text.starts_with("CUPS_SERVER=") || text.starts_with("QT_QPA_PLATFORM=")) continue;
    entries.push_back(text);
  }
  entries.push_back("CUPS_SERVER=" + cupsServer);
  entries.push_back("QT_QPA_PLATFORM=offscreen");
  return entries;
}

TEST(ProgramSignalTest, SigtermOrSigintClosesTheWindowAndTheProgramEndsByItself) {
  for (const auto& [signalNumber, exitCode] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
    SCOPED_TRACE("signal " + std::to_string(signalNumber));
    test::ScratchDir scratch;
    const std::string socketPath = scratch.File("cups.sock");
    // A CUPS server of the test's own: once the program asks it for the printers, its window
    // is up and its first search is running.
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);

    test::ChildProcess program({PRADEX_QT_PROGRAM}, ProgramEnvironment(socketPath));
    pollfd waiting{listener, POLLIN, 0};
    ASSERT_EQ(poll(&waiting, 1, 30000), 1) << "the program never asked for its printers";
    const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    program.Signal(signalNumber);
    // No answer ever comes: the question fails at once instead of at its time limit.
    close(connection);
    const test::ProcessResult result = program.Wait(60s);
    close(listener);

    EXPECT_EQ(result.endSignal, 0) << "the signal ended the program";
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
  }
}

}  // namespace
}  // namespace pradex::qttest
