// A private cupsd for a test (scripts/cupsd-private): its own configuration, socket and queues,
// stopped with the object, and also when the test process dies without stopping it.
#pragma once

#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace pradex::testsupport {

// A private cupsd in `dir`, started by `script` (scripts/cupsd-private, or a script that passes
// its arguments on to it and adds queues); throws when it does not start.
class PrivateCupsd {
 public:
  PrivateCupsd(const std::string& script, const std::string& dir) : script(script), dir(dir) {
    std::vector<std::string> env{SystemPath()};
    for (std::string& entry : SanitizerEnvironment()) env.push_back(entry);
    const ProcessResult started =
        RunProcess({script, "start", dir, "--owner", std::to_string(getpid())}, env);
    const auto at = started.out.find("CUPS_SERVER=");
    if (started.exitCode != 0 || at == std::string::npos)
      throw std::runtime_error("cupsd did not start: " + started.err);
    server = started.out.substr(at + 12, started.out.find('\n', at) - at - 12);
  }
  ~PrivateCupsd() { RunProcess({script, "stop", dir}, {SystemPath()}); }
  PrivateCupsd(const PrivateCupsd&) = delete;
  PrivateCupsd& operator=(const PrivateCupsd&) = delete;

  const std::string& Server() const { return server; }

  // A queue with `ppd` for its make and model; the error text of lpadmin, or "".
  std::string AddQueue(const std::string& name, const std::string& deviceUri,
                       const std::string& ppd) {
    const ProcessResult added =
        RunProcess({FindProgram("lpadmin"), "-p", name, "-E", "-v", deviceUri, "-P", ppd},
                   {SystemPath(), "CUPS_SERVER=" + server});
    return added.exitCode == 0 ? "" : "lpadmin " + name + ": " + added.err;
  }

 private:
  std::string script;
  std::string dir;
  std::string server;
};

}  // namespace pradex::testsupport
