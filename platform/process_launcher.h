// Starting a program (ShellExecuteExA with the default verb and SW_SHOWNORMAL on Windows).
#pragma once

#include <string>

namespace pradex {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts `program` with `arguments` as its argument text, in a normal window.
  virtual bool Start(const std::string& program, const std::string& arguments) = 0;
};

}  // namespace pradex
