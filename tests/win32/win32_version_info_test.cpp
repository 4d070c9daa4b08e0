// Version resources: this test program carries file version 65535.2.0.7, its recorder none.
#include "platform/win32/win32_version_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace pradex {
namespace {

std::string ModulePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  return std::string(path, length);
}

std::string FileNameOf(const std::string& path) {
  return path.substr(path.find_last_of('\\') + 1);
}

TEST(Win32VersionInfoTest, ReadsTheFileVersionOfAFileByPathAndByBareName) {
  Win32VersionInfo info;
  for (const std::string& name : {ModulePath(), FileNameOf(ModulePath())}) {
    std::uint32_t ms = 0;
    std::uint32_t ls = 0;
    ASSERT_TRUE(info.GetFileVersion(name, ms, ls)) << name;
    EXPECT_EQ(ms, 0xFFFF0002u) << name;  // 65535.2: the high half is not sign-extended
    EXPECT_EQ(ls, 0x00000007u) << name;
  }
}

TEST(Win32VersionInfoTest, FilesWithoutVersionOrMissingFilesLeaveTheOutputsAlone) {
  Win32VersionInfo info;
  const std::string folder = ModulePath().substr(0, ModulePath().find_last_of('\\'));
  for (const std::string& name : {folder + "\\win32_recorder.exe", std::string("Pradex.exe"),
                                  folder + "\\no such file.exe"}) {
    std::uint32_t ms = 11;
    std::uint32_t ls = 22;
    EXPECT_FALSE(info.GetFileVersion(name, ms, ls)) << name;
    EXPECT_EQ(ms, 11u);
    EXPECT_EQ(ls, 22u);
  }
}

}  // namespace
}  // namespace pradex
