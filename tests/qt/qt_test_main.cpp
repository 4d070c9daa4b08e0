// The Qt tests need one QApplication for the whole run, made after the environment is ready:
// no proxy, a private runtime folder, a platform plugin without a display, and no way to the
// machine's own CUPS.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <string>

#include "tests/support/proxy_environment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // listing needs no display

  pradex::testsupport::ClearProxyEnvironment();
  std::string runtimeTemplate =
      (std::filesystem::temp_directory_path() / "pradex-qt-test-XXXXXX").string();
  const char* runtimeDir = mkdtemp(runtimeTemplate.data());  // made with mode 0700
  if (runtimeDir != nullptr) setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
  if (getenv("QT_QPA_PLATFORM") == nullptr && getenv("DISPLAY") == nullptr &&
      getenv("WAYLAND_DISPLAY") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  // Tests that need a spooler start a private cupsd and point CUPS_SERVER at it; every other
  // test finds no server at all.
  if (getenv("CUPS_SERVER") == nullptr && runtimeDir != nullptr) {
    setenv("CUPS_SERVER", (std::string(runtimeDir) + "/no-cupsd.sock").c_str(), 1);
  }

  int result = 0;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  if (runtimeDir != nullptr) {
    std::error_code ignored;
    std::filesystem::remove_all(runtimeDir, ignored);
  }
  return result;
}
