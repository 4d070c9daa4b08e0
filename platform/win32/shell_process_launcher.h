// Starting a program through the shell (ShellExecuteExA, default verb, normal window).
#pragma once

#include "platform/process_launcher.h"

namespace pradex {

class ShellProcessLauncher : public ProcessLauncher {
 public:
  bool Start(const std::string& program, const std::string& arguments) override;
};

}  // namespace pradex
