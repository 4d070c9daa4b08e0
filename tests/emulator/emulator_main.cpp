// pradex-device-emulator: the loopback device emulator as a process of its own.
//
//   pradex-device-emulator [--device ADDR:PORT=BEHAVIOUR]... [--closed ADDR]...
//                          [--config FILE] [--log FILE]
//
// Once every device listens it prints one line per device and closed port, then "ready":
//   device 127.0.0.2:8080 200
//   closed 127.0.0.9:40123
//   ready
// and runs until SIGTERM, SIGINT or SIGHUP, or until its standard input (when that is a pipe or
// a socket) is closed. It then exits with 0. Usage errors exit with 2, bind failures with 1.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "tests/emulator/device_emulator.h"

namespace {

using pradex::emulator::DeviceEmulator;
using pradex::emulator::DeviceSpec;

int Usage(const std::string& problem) {
  std::cerr
      << "pradex-device-emulator: " << problem << "\n"
      << "usage: pradex-device-emulator [--device ADDR:PORT=BEHAVIOUR]... [--closed ADDR]...\n"
      << "                              [--config FILE] [--log FILE]\n"
      << "BEHAVIOUR: CODE (200, 404, 500, 302, ...), delay:MS, delay:MS:CODE, hang, close,\n"
      << "           reset, garbage, blackhole, endless, trickle:MS. PORT 0 picks a free port.\n"
      << "A config file holds one ADDR:PORT=BEHAVIOUR or 'closed ADDR' per line; '#' "
         "comments.\n";
  return 2;
}

bool AddConfigLine(const std::string& raw, std::vector<DeviceSpec>& devices,
                   std::vector<std::string>& closed) {
  std::string line = raw.substr(0, raw.find('#'));
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return true;
  line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
  if (line.rfind("closed ", 0) == 0) {
    closed.push_back(line.substr(7));
    return true;
  }
  if (line.rfind("device ", 0) == 0) line = line.substr(7);
  auto spec = pradex::emulator::ParseDeviceSpec(line);
  if (!spec) return false;
  devices.push_back(*spec);
  return true;
}

// Watching stdin only makes sense when someone holds its other end.
bool StdinIsPipe() {
  struct stat st {};
  return fstat(STDIN_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<DeviceSpec> devices;
  std::vector<std::string> closed;
  std::string logPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--device" && hasValue) {
      auto spec = pradex::emulator::ParseDeviceSpec(argv[++i]);
      if (!spec) return Usage(std::string("bad device '") + argv[i] + "'");
      devices.push_back(*spec);
    } else if (arg == "--closed" && hasValue) {
      closed.push_back(argv[++i]);
    } else if (arg == "--log" && hasValue) {
      logPath = argv[++i];
    } else if (arg == "--config" && hasValue) {
      std::ifstream config(argv[++i]);
      if (!config) return Usage(std::string("cannot read ") + argv[i]);
      std::string line;
      while (std::getline(config, line))
        if (!AddConfigLine(line, devices, closed)) return Usage("bad config line '" + line + "'");
    } else if (arg == "--help" || arg == "-h") {
      Usage("help");
      return 0;
    } else {
      return Usage("unknown argument '" + arg + "'");
    }
  }

  // The serving thread inherits this mask, so the signals reach only the signalfd below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  if (signalFd < 0) {
    std::perror("signalfd");
    return 1;
  }

  std::ofstream log;
  std::mutex logMutex;
  if (!logPath.empty()) {
    log.open(logPath, std::ios::app);
    if (!log) return Usage("cannot write " + logPath);
  }

  try {
    DeviceEmulator emulator;
    const auto start = std::chrono::steady_clock::now();
    if (log.is_open()) {
      // One tab-separated line per request: ms since start, device, method, target, agent.
      emulator.SetRequestObserver([&](const pradex::emulator::RecordedRequest& request) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(request.time - start).count();
        std::lock_guard lock(logMutex);
        log << ms << '\t' << request.address << ':' << request.port << '\t' << request.method
            << '\t' << request.target << '\t' << request.userAgent << std::endl;
      });
    }
    for (DeviceSpec& spec : devices) {
      spec.port = emulator.AddDevice(spec);
      std::cout << "device " << spec.address << ':' << spec.port << ' '
                << pradex::emulator::BehaviourText(spec) << '\n';
    }
    for (const std::string& address : closed)
      std::cout << "closed " << address << ':' << DeviceEmulator::ClosedPort(address) << '\n';
    std::cout << "ready" << std::endl;

    std::vector<pollfd> fds{{signalFd, POLLIN, 0}};
    if (StdinIsPipe()) fds.push_back({STDIN_FILENO, POLLIN, 0});
    for (bool running = true; running;) {
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents & POLLIN) running = false;
      if (fds.size() > 1 && fds[1].revents) {
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) running = false;  // closed: whoever started us is gone
      }
    }
    emulator.SetRequestObserver(nullptr);
  } catch (const std::system_error& error) {
    std::cerr << "pradex-device-emulator: " << error.what() << std::endl;
    return 1;
  }
  close(signalFd);
  return 0;
}
