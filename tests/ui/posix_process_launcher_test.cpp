#if !defined(_WIN32)

#include "platform/posix/posix_process_launcher.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace pradex {
namespace {

namespace fs = std::filesystem;

class PosixProcessLauncherTest : public testing::Test {
 protected:
  PosixProcessLauncherTest() {
    std::string pattern = (fs::temp_directory_path() / "pradex-launch-XXXXXX").string();
    folder = mkdtemp(pattern.data());
  }
  ~PosixProcessLauncherTest() override { fs::remove_all(folder); }

  // Waits until `condition` holds or five seconds have passed.
  template <typename Condition>
  static bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  fs::path folder;
  PosixProcessLauncher launcher;
};

TEST_F(PosixProcessLauncherTest, PassesTheArgumentTextAsOneUninterpretedArgument) {
  const fs::path target = folder / "a b;c $(x) 'q'";
  ASSERT_TRUE(launcher.Start("touch", target.string()));
  EXPECT_TRUE(WaitFor([&] { return fs::exists(target); }));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(PosixProcessLauncherTest, LeavesNoZombieBehind) {
  pid_t pid = 0;
  ASSERT_TRUE(launcher.Spawn("true", "", &pid));
  ASSERT_GT(pid, 0);
  // A child that ended but was not reaped stays in /proc (state Z) until its parent waits.
  EXPECT_TRUE(WaitFor([&] { return !fs::exists("/proc/" + std::to_string(pid)); }));
}

TEST_F(PosixProcessLauncherTest, ACtrlCForThisProgramNeverReachesTheStartedBrowser) {
  // This process leads a process group of its own, as a program in a terminal does, and
  // ignores SIGINT for the moment; the stand-in for the browser must still get the default.
  ASSERT_EQ(setpgid(0, 0), 0);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGINT, &ignore, &previous), 0);
  pid_t pid = 0;
  ASSERT_TRUE(launcher.Spawn("sleep", "60", &pid));
  const fs::path proc = "/proc/" + std::to_string(pid);

  EXPECT_NE(getpgid(pid), getpgrp()) << "the browser shares this program's process group";
  kill(0, SIGINT);  // what Ctrl+C in the terminal sends: this program's whole group
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(fs::exists(proc)) << "the Ctrl+C for this program ended the browser";

  // Not because it ignores SIGINT: sent to it, the signal ends it.
  kill(pid, SIGINT);
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(proc); }));
  sigaction(SIGINT, &previous, nullptr);
}

TEST_F(PosixProcessLauncherTest, AnUnknownProgramIsNotStarted) {
  EXPECT_FALSE(launcher.Start("pradex-no-such-program", "x"));
  EXPECT_FALSE(launcher.Start((folder / "missing").string(), "x"));
  EXPECT_FALSE(launcher.Start("", "x"));
}

TEST_F(PosixProcessLauncherTest, AnEmptyArgumentTextPassesNoArgument) {
  // A script that records its argument count.
  const fs::path script = folder / "count";
  const fs::path out = folder / "out";
  std::ofstream(script) << "#!/bin/sh\necho $# > '" << out.string() << "'\n";
  fs::permissions(script, fs::perms::owner_all);
  ASSERT_TRUE(launcher.Start(script.string(), ""));
  ASSERT_TRUE(WaitFor([&] { return fs::exists(out) && fs::file_size(out) > 0; }));
  std::string count;
  std::ifstream(out) >> count;
  EXPECT_EQ(count, "0");
}

}  // namespace
}  // namespace pradex

#endif
