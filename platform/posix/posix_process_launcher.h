// Starting a program on POSIX systems: posix_spawnp, no shell.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/process_launcher.h"

namespace pradex {

class PosixProcessLauncher : public ProcessLauncher {
 public:
  // Starts `program` (looked up in PATH when it names no directory) with the argument text as
  // its one argument, unsplit and uninterpreted; an empty argument text passes no argument. The
  // program runs on its own, in a process group of its own, and is reaped when it ends. False
  // when it could not be started.
  bool Start(const std::string& program, const std::string& arguments) override;

  // The same, also giving the started process's id.
  bool Spawn(const std::string& program, const std::string& arguments, pid_t* pid);
};

}  // namespace pradex
