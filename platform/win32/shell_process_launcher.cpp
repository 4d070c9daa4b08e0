#include "platform/win32/shell_process_launcher.h"

#include <windows.h>

#include <shellapi.h>

namespace pradex {

bool ShellProcessLauncher::Start(const std::string& program, const std::string& arguments) {
  // A zero-filled record from the process heap: no mask, no window, the default verb and no
  // working folder.
  const HANDLE heap = GetProcessHeap();
  auto* info =
      static_cast<SHELLEXECUTEINFOA*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(SHELLEXECUTEINFOA)));
  if (!info) return false;
  info->cbSize = sizeof(SHELLEXECUTEINFOA);
  info->lpFile = program.c_str();
  info->lpParameters = arguments.c_str();
  info->nShow = SW_SHOWNORMAL;
  const BOOL started = ShellExecuteExA(info);
  HeapFree(heap, 0, info);
  return started != FALSE;
}

}  // namespace pradex
