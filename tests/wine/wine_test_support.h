// What the test programs that run under Wine on a virtual X screen (run-on-xvfb) share.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace pradex::winetest {

// Paths of the build that the test programs are given (--pradex=, --pradex-rc=, --recorder=,
// --work=, --wsd-monitor=), as DOS paths.
struct TestPaths {
  std::string pradex;      // Pradex.exe
  std::string pradexRc;    // its resource script in the source tree
  std::string recorder;    // the program that stands in for a browser
  std::string work;        // a folder of the build tree for the tests' own files
  std::string wsdMonitor;  // the port monitor that stands in for Windows' WSD port monitor
};
const TestPaths& Paths();
// Reads the options above and leaves everything else alone.
void ParsePaths(int argc, char** argv);

// An absolute Unix path as Wine sees it (drive Z: is the root); anything else unchanged.
std::string DosPath(const std::string& path);

// Asks run-on-xvfb for a picture of the whole screen, saved as <name>.png in its screenshot
// folder, and waits until it is there. False when no runner takes screenshots.
bool TakeScreenshot(const std::string& name);

// Calls `condition` every 20 ms, handling this thread's messages in between, until it is true
// or `timeoutMs` has passed. Whether it became true.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);

// A window's text through WM_GETTEXT, which also reaches windows of other processes.
std::string WindowText(HWND window);

// A file's whole content; empty when it cannot be read.
std::string ReadFileText(const std::string& path);

}  // namespace pradex::winetest
