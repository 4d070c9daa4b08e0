// Starting a program through the shell; a recorder program stands in for the browser.
#include "platform/win32/shell_process_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace pradex {
namespace {

std::string ModuleFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\'));
}

std::string TempFolder() {
  char path[MAX_PATH];
  GetTempPathA(sizeof(path), path);
  return path;
}

class ShellProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    browserFolder = TempFolder() + "Pradex Test Browser " + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(browserFolder.c_str(), nullptr);
    browser = browserFolder + "\\browser.exe";
    ASSERT_TRUE(
        CopyFileA((ModuleFolder() + "\\win32_recorder.exe").c_str(), browser.c_str(), FALSE))
        << GetLastError();
    output = browserFolder + "\\command-line.txt";
    SetEnvironmentVariableA("PRADEX_RECORDER_OUTPUT", output.c_str());
  }

  void TearDown() override {
    SetEnvironmentVariableA("PRADEX_RECORDER_OUTPUT", nullptr);
    DeleteFileA(output.c_str());
    DeleteFileA(browser.c_str());
    RemoveDirectoryA(browserFolder.c_str());
  }

  // The recorder's two lines: how to show the window, and its command line.
  bool WaitForRecord(std::string& show, std::string& commandLine) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream file(output, std::ios::binary);
      if (file) {
        std::getline(file, show);
        std::stringstream rest;
        rest << file.rdbuf();
        commandLine = rest.str();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::string browserFolder;
  std::string browser;
  std::string output;
  ShellProcessLauncher launcher;
};

TEST_F(ShellProcessLauncherTest, StartsTheProgramWithTheArgumentTextInANormalWindow) {
  const std::string arguments = "-nohome http://127.0.0.1:8080/?type=supplies";
  ASSERT_TRUE(launcher.Start(browser, arguments));  // the path holds spaces, unquoted

  std::string show;
  std::string commandLine;
  ASSERT_TRUE(WaitForRecord(show, commandLine));
  EXPECT_EQ(show, std::to_string(SW_SHOWNORMAL));
  // The argument text follows the program, unchanged.
  ASSERT_GE(commandLine.size(), arguments.size());
  EXPECT_EQ(commandLine.substr(commandLine.size() - arguments.size()), arguments) << commandLine;
  EXPECT_NE(commandLine.find("browser.exe"), std::string::npos) << commandLine;
}

TEST_F(ShellProcessLauncherTest, ArgumentTextWithLeadingSpaceIsPassedOn) {
  const std::string arguments = " -url http://127.0.0.1:8080/tamrin/device/this.LCDispatcher";
  ASSERT_TRUE(launcher.Start(browser, arguments));
  std::string show;
  std::string commandLine;
  ASSERT_TRUE(WaitForRecord(show, commandLine));
  EXPECT_NE(commandLine.find("-url http://127.0.0.1:8080/tamrin/device/this.LCDispatcher"),
            std::string::npos)
      << commandLine;
}

TEST_F(ShellProcessLauncherTest, MissingProgramFails) {
  EXPECT_FALSE(launcher.Start(browserFolder + "\\missing.exe", "http://127.0.0.1:1/"));
  EXPECT_EQ(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace pradex
