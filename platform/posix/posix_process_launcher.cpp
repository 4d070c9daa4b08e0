#include "platform/posix/posix_process_launcher.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace pradex {

namespace {

// Waits for the child in the background so that it leaves no zombie behind; the launcher
// itself never waits for the program it started.
void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // Without a thread the child is reaped when this process ends.
  }
}

// Attributes of a child that must not inherit the caller's signal set-up or its terminal's
// process group (a Ctrl+C meant for this program should not close the browser).
class SpawnAttributes {
 public:
  SpawnAttributes() {
    initialised = posix_spawnattr_init(&attributes) == 0;
    if (!initialised) return;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ok = posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
         posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
         posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
         posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                   POSIX_SPAWN_SETPGROUP) == 0;
  }
  ~SpawnAttributes() {
    if (initialised) posix_spawnattr_destroy(&attributes);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  bool initialised = false;
  bool ok = false;
  posix_spawnattr_t attributes;
};

}  // namespace

bool PosixProcessLauncher::Start(const std::string& program, const std::string& arguments) {
  pid_t pid = 0;
  return Spawn(program, arguments, &pid);
}

bool PosixProcessLauncher::Spawn(const std::string& program, const std::string& arguments,
                                 pid_t* pid) {
  if (program.empty()) return false;
  SpawnAttributes spawn;
  if (!spawn.ok) return false;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  if (!arguments.empty()) argv.push_back(const_cast<char*>(arguments.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, program.c_str(), nullptr, &spawn.attributes, argv.data(), environ) !=
      0) {
    return false;
  }
  ReapInBackground(child);
  if (pid) *pid = child;
  return true;
}

}  // namespace pradex
