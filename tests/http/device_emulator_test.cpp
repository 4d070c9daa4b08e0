// The device emulator's own contract: its command line, a device that trickles its answer, and
// the program's start and stop.
#include "tests/emulator/device_emulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pradex::emulator {
namespace {

using std::chrono::milliseconds;

TEST(DeviceSpecTest, ParsesEveryBehaviourAndRejectsMalformedText) {
  auto spec = ParseDeviceSpec("127.0.0.2:8080=200");
  ASSERT_TRUE(spec);
  EXPECT_EQ(spec->address, "127.0.0.2");
  EXPECT_EQ(spec->port, 8080);
  EXPECT_EQ(spec->behaviour, Behaviour::kAnswer);
  EXPECT_EQ(spec->status, 200);
  EXPECT_EQ(spec->delayMs, 0);

  spec = ParseDeviceSpec("127.0.0.3:0=delay:250");
  ASSERT_TRUE(spec);
  EXPECT_EQ(spec->port, 0);
  EXPECT_EQ(spec->delayMs, 250);
  EXPECT_EQ(spec->status, 200);
  spec = ParseDeviceSpec("127.0.0.3:1=delay:40:302");
  ASSERT_TRUE(spec);
  EXPECT_EQ(spec->delayMs, 40);
  EXPECT_EQ(spec->status, 302);

  const std::map<std::string, Behaviour> words = {
      {"hang", Behaviour::kHang},           {"close", Behaviour::kCloseAtOnce},
      {"reset", Behaviour::kReset},         {"garbage", Behaviour::kGarbage},
      {"blackhole", Behaviour::kBlackhole}, {"endless", Behaviour::kEndlessBody}};
  for (const auto& [word, behaviour] : words) {
    spec = ParseDeviceSpec("127.0.0.4:9=" + word);
    ASSERT_TRUE(spec) << word;
    EXPECT_EQ(spec->behaviour, behaviour);
    EXPECT_EQ(BehaviourText(*spec), word);
  }
  EXPECT_EQ(BehaviourText(*ParseDeviceSpec("127.0.0.3:1=delay:40:302")), "delay:40:302");
  spec = ParseDeviceSpec("127.0.0.3:1=trickle:100");
  ASSERT_TRUE(spec);
  EXPECT_EQ(spec->behaviour, Behaviour::kTrickle);
  EXPECT_EQ(spec->delayMs, 100);
  EXPECT_EQ(spec->status, 200);
  EXPECT_EQ(BehaviourText(*spec), "trickle:100");

  for (const char* bad : {"", "127.0.0.2:8080", "127.0.0.2=200", ":80=200", "localhost:80=200",
                          "127.0.0.2:70000=200", "127.0.0.2:80=", "127.0.0.2:80=sleep",
                          "127.0.0.2:80=99", "127.0.0.2:80=delay:", "127.0.0.2:80=delay:-5",
                          "127.0.0.2:80=delay:10:abc", "127.0.0.2:x=200", "127.0.0.2:80=trickle",
                          "127.0.0.2:80=trickle:", "127.0.0.2:80=trickle:-1"})
    EXPECT_FALSE(ParseDeviceSpec(bad)) << bad;
}

// The program, started as other test suites start it.
class EmulatorProcess {
 public:
  explicit EmulatorProcess(std::vector<std::string> args) {
    int in[2], out[2];
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    args.insert(args.begin(), PRADEX_DEVICE_EMULATOR);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdinFd = in[1];
    stdoutFd = out[0];
  }

  ~EmulatorProcess() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (stdinFd >= 0) close(stdinFd);
    close(stdoutFd);
  }

  // Lines up to and including "ready", or what came before a time-out.
  std::vector<std::string> ReadUntilReady() {
    std::vector<std::string> lines;
    std::string pending;
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(5000);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fd{stdoutFd, POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(stdoutFd, buffer, sizeof buffer);
      if (n <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(n));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        lines.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
        if (lines.back() == "ready") return lines;
      }
    }
    return lines;
  }

  void CloseStdin() {
    close(stdinFd);
    stdinFd = -1;
  }

  void Signal(int signal) { kill(pid, signal); }

  // The exit status, or -1 if the process is still running after `timeout`.
  int WaitForExit(milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return -1;
  }

 private:
  pid_t pid = -1;
  int stdinFd = -1;
  int stdoutFd = -1;
};

// A plain GET over a socket; returns the status line.
std::string Get(const std::string& address, std::uint16_t port, const std::string& path) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    const std::string request =
        "GET " + path + " HTTP/1.1\r\nHost: " + address + "\r\nUser-Agent: InetSearch\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[1024];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
      answer.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return answer.substr(0, answer.find("\r\n"));
}

// The first byte comes at once and each next one a pause later: with a pause of an hour one
// byte is there to read, with none the whole answer (here the given reply) and then the close.
TEST(DeviceEmulatorTest, ATricklingDeviceSendsItsAnswerOneByteAtATime) {
  DeviceEmulator emulator;
  DeviceSpec slow;
  slow.address = "127.0.0.6";
  slow.behaviour = Behaviour::kTrickle;
  slow.delayMs = 3600 * 1000;
  DeviceSpec quick = slow;
  quick.delayMs = 0;
  quick.reply = "HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n";
  const std::uint16_t slowPort = emulator.AddDevice(slow);
  EXPECT_EQ(Get("127.0.0.6", emulator.AddDevice(quick), "/"), "HTTP/1.1 401 Unauthorized");

  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const timeval hangGuard{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &hangGuard, sizeof hangGuard);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(slowPort);
  inet_pton(AF_INET, "127.0.0.6", &sa.sin_addr);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  const std::string request = "GET " + std::string(kSuppliesPath) + " HTTP/1.1\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  char buffer[64];
  EXPECT_EQ(recv(fd, buffer, sizeof buffer, 0), 1);
  EXPECT_EQ(buffer[0], 'H');
  close(fd);
}

TEST(DeviceEmulatorProgramTest, AnnouncesItsDevicesServesLogsAndStopsOnSigterm) {
  const auto log = std::filesystem::temp_directory_path() /
                   ("pradex-emulator-" + std::to_string(getpid()) + ".log");
  std::filesystem::remove(log);
  EmulatorProcess process({"--device", "127.0.0.2:0=200", "--device", "127.0.0.3:0=delay:20:500",
                           "--closed", "127.0.0.4", "--log", log.string()});
  const auto lines = process.ReadUntilReady();
  ASSERT_EQ(lines.size(), 4u);
  unsigned okPort = 0, errorPort = 0, closedPort = 0;
  ASSERT_EQ(std::sscanf(lines[0].c_str(), "device 127.0.0.2:%u 200", &okPort), 1) << lines[0];
  ASSERT_EQ(std::sscanf(lines[1].c_str(), "device 127.0.0.3:%u delay:20:500", &errorPort), 1)
      << lines[1];
  ASSERT_EQ(std::sscanf(lines[2].c_str(), "closed 127.0.0.4:%u", &closedPort), 1) << lines[2];

  EXPECT_EQ(Get("127.0.0.2", okPort, std::string(kSuppliesPath)), "HTTP/1.1 200 OK");
  EXPECT_EQ(Get("127.0.0.3", errorPort, std::string(kDispatcherPath)),
            "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(Get("127.0.0.4", closedPort, "/"), "");

  process.Signal(SIGTERM);
  EXPECT_EQ(process.WaitForExit(milliseconds(3000)), 0);

  std::ifstream in(log);
  std::vector<std::string> logged;
  for (std::string line; std::getline(in, line);) logged.push_back(line);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_NE(logged[0].find("\t127.0.0.2:" + std::to_string(okPort) +
                           "\tGET\t/?type=supplies\tInetSearch"),
            std::string::npos)
      << logged[0];
  EXPECT_NE(logged[1].find("\t127.0.0.3:"), std::string::npos) << logged[1];
  std::filesystem::remove(log);
}

TEST(DeviceEmulatorProgramTest, StopsWhenItsStandardInputClosesAndRejectsBadArguments) {
  EmulatorProcess process({"--device", "127.0.0.5:0=hang"});
  ASSERT_EQ(process.ReadUntilReady().size(), 2u);
  process.CloseStdin();
  EXPECT_EQ(process.WaitForExit(milliseconds(3000)), 0);

  EmulatorProcess bad({"--device", "127.0.0.5:0=nonsense"});
  EXPECT_EQ(bad.WaitForExit(milliseconds(3000)), 2);
}

}  // namespace
}  // namespace pradex::emulator
