// Stands in for a browser: writes the command line it was started with, and how its window
// was to be shown, to the file named by PRADEX_RECORDER_OUTPUT.
#include <windows.h>

#include <cstdio>

int main() {
  char output[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("PRADEX_RECORDER_OUTPUT", output, sizeof(output));
  if (length == 0 || length >= sizeof(output)) return 2;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

  // Written under another name first, so that a reader never sees half a file.
  char partial[MAX_PATH + 8];
  std::snprintf(partial, sizeof(partial), "%s.part", output);
  FILE* file = std::fopen(partial, "wb");
  if (!file) return 3;
  std::fprintf(file, "%d\n%s", show, GetCommandLineA());
  std::fclose(file);
  return MoveFileA(partial, output) ? 0 : 4;
}
