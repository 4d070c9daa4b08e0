// Child processes for tests: a program run with an environment of the test's own making, its
// output and exit read back, a scratch folder, and programs found as a shell would find them.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace pradex::testsupport {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

inline long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<Milliseconds>(Clock::now() - start).count();
}

// A fresh folder below the system's temporary folder (kept short: a cupsd socket path must fit
// into sockaddr_un), removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pradex-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Sub(const std::string& name) const {
    const std::filesystem::path sub = path / name;
    std::filesystem::create_directories(sub);
    return sub.string();
  }
  std::string File(const std::string& name) const { return (path / name).string(); }

 private:
  std::filesystem::path path;
};

struct ProcessResult {
  int exitCode = -1;  // when it exited
  int endSignal = 0;  // when a signal ended it
  std::string out;
  std::string err;
  long long elapsedMs = 0;  // from start to exit
};

// A child process with its standard output and error read into strings; standard input is
// /dev/null. Standard error is a pipe, or with `errorToTerminal` a pseudo-terminal, which with
// `controllingTerminal` is also the child's /dev/tty (in a session of its own). Killed if it is
// still running when the object goes.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& workingDir = "", bool errorToTerminal = false,
               bool controllingTerminal = false) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (errorToTerminal) {
      // errPipe[0] the terminal's master side (read here), errPipe[1] the child's side.
      if (openpty(&errPipe[0], &errPipe[1], nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
      fcntl(errPipe[0], F_SETFD, FD_CLOEXEC);
      fcntl(errPipe[1], F_SETFD, FD_CLOEXEC);
    } else if (pipe2(errPipe, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> environment;
    for (const std::string& entry : env) environment.push_back(const_cast<char*>(entry.c_str()));
    environment.push_back(nullptr);

    start = Clock::now();
    pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec.
      const int null = open("/dev/null", O_RDONLY);
      if (null >= 0) dup2(null, STDIN_FILENO);
      dup2(outPipe[1], STDOUT_FILENO);
      dup2(errPipe[1], STDERR_FILENO);
      if (errorToTerminal && controllingTerminal &&
          (setsid() < 0 || ioctl(STDERR_FILENO, TIOCSCTTY, 0) != 0))
        _exit(125);
      if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) _exit(126);
      execve(args[0], args.data(), environment.data());
      _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    outFd = outPipe[0];
    errFd = errPipe[0];
  }

  ~ChildProcess() {
    if (pid > 0 && !reaped) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (outFd >= 0) close(outFd);
    if (errFd >= 0) close(errFd);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int signalNumber) { kill(pid, signalNumber); }

  // Reads its output until it has exited; kills it after `timeout`.
  ProcessResult Wait(Milliseconds timeout) {
    ProcessResult result;
    const auto deadline = Clock::now() + timeout;
    bool killed = false;
    while (outFd >= 0 || errFd >= 0) {
      pollfd fds[2];
      nfds_t count = 0;
      if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
      if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
      const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 && !killed) {
        kill(pid, SIGKILL);
        killed = true;
      }
      if (poll(fds, count, left > 0 ? static_cast<int>(left) : 100) < 0) continue;
      for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        int& fd = fds[i].fd == outFd ? outFd : errFd;
        std::string& text = fds[i].fd == outFd ? result.out : result.err;
        if (n > 0) {
          text.append(buffer, static_cast<std::size_t>(n));
        } else {
          close(fd);
          fd = -1;
        }
      }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    reaped = true;
    result.elapsedMs = MillisecondsSince(start);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.endSignal = WTERMSIG(status);
    return result;
  }

 private:
  pid_t pid = -1;
  int outFd = -1;
  int errFd = -1;
  bool reaped = false;
  Clock::time_point start;
};

inline ProcessResult RunProcess(const std::vector<std::string>& argv,
                                const std::vector<std::string>& env,
                                const std::string& workingDir = "",
                                Milliseconds timeout = Milliseconds(60000),
                                bool errorToTerminal = false) {
  ChildProcess child(argv, env, workingDir, errorToTerminal);
  return child.Wait(timeout);
}

// The environment entries of this process that a sanitizer build needs in its children.
inline std::vector<std::string> SanitizerEnvironment() {
  std::vector<std::string> entries;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) entries.push_back(std::string(name) + "=" + value);
  }
  return entries;
}

inline std::string SystemPath() {
  const char* path = std::getenv("PATH");
  return std::string("PATH=") + (path ? path : "/usr/sbin:/usr/bin:/sbin:/bin");
}

// The program `name` as the shell would find it on PATH, or "".
inline std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/sbin:/usr/bin:/sbin:/bin";
  folders += ":/usr/sbin:/sbin";  // lpadmin lives in sbin, which a user's PATH may leave out
  std::size_t start = 0;
  for (std::size_t colon; start <= folders.size(); start = colon + 1) {
    colon = folders.find(':', start);
    if (colon == std::string::npos) colon = folders.size();
    const std::string candidate = folders.substr(start, colon - start) + "/" + name;
    if (colon > start && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

}  // namespace pradex::testsupport
