#include "tests/wine/wine_test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace pradex::winetest {

namespace {

TestPaths paths;

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

const TestPaths& Paths() {
  return paths;
}

void ParsePaths(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&](const char* option) -> const char* {
      const std::string prefix = std::string(option) + "=";
      return argument.rfind(prefix, 0) == 0 ? argv[i] + prefix.size() : nullptr;
    };
    if (const char* pradex = value("--pradex")) paths.pradex = DosPath(pradex);
    if (const char* script = value("--pradex-rc")) paths.pradexRc = DosPath(script);
    if (const char* recorder = value("--recorder")) paths.recorder = DosPath(recorder);
    if (const char* work = value("--work")) paths.work = DosPath(work);
    if (const char* monitor = value("--wsd-monitor")) paths.wsdMonitor = DosPath(monitor);
  }
}

std::string DosPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string dos = "Z:" + path;
  for (char& c : dos) {
    if (c == '/') c = '\\';
  }
  return dos;
}

bool TakeScreenshot(const std::string& name) {
  const char* folder = std::getenv("PRADEX_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0') return false;
  const std::string base = DosPath(folder) + "\\" + name;
  DeleteFileA((base + ".png").c_str());
  {
    std::ofstream request(base + ".request");
    if (!request) return false;
  }
  return WaitFor([&] { return FileExists(base + ".png"); }, 20000);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(20);
  }
}

std::string WindowText(HWND window) {
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied = SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(buffer.size()),
                                      reinterpret_cast<LPARAM>(buffer.data()));
  return std::string(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

std::string ReadFileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace pradex::winetest
