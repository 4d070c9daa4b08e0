#include "tests/emulator/device_emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

namespace pradex::emulator {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxRequestHead = 64 * 1024;

// No status line, no headers: what a device that is not a web server might send.
constexpr char kGarbage[] = "\x01\x02 this is not a web server \xff\xfe\r\n\r\n";

// A page that never finishes: its length is announced, and a piece of it comes now and then.
constexpr char kEndlessPiece[] = "<p>toner 42%</p>\n";
constexpr std::chrono::milliseconds kEndlessPause{50};

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_in MakeAddress(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1)
    throw std::system_error(EINVAL, std::generic_category(), "bad IPv4 address " + address);
  return sa;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length) != 0) ThrowErrno("getsockname");
  return ntohs(sa.sin_port);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 307:
      return "Temporary Redirect";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

struct Device {
  DeviceSpec spec;
  mutable int answered = 0;  // requests answered so far, for DeviceSpec::answers
  int fd = -1;
  int fillerFd = -1;  // a blackhole's own connection that keeps its queue full
};

struct Connection {
  int fd = -1;
  const Device* device = nullptr;
  std::string in;
  std::string out;
  std::size_t sent = 0;
  bool requestDone = false;
  std::optional<Clock::time_point> answerAt;
};

}  // namespace

struct DeviceEmulator::Impl {
  int wakeRead = -1;
  int wakeWrite = -1;
  std::thread thread;

  mutable std::mutex mutex;  // guards everything below up to the serving thread's own state
  mutable std::condition_variable changed;
  bool stopping = false;
  std::vector<std::unique_ptr<Device>> newDevices;
  std::vector<RecordedRequest> requests;
  std::size_t openConnections = 0;
  std::function<void(const RecordedRequest&)> observer;

  // Serving thread only.
  std::vector<std::unique_ptr<Device>> devices;
  std::list<Connection> connections;

  void Wake() {
    const char byte = 1;
    [[maybe_unused]] auto written = write(wakeWrite, &byte, 1);
  }

  void CountConnections(int delta) {
    {
      std::lock_guard lock(mutex);
      openConnections += delta;
    }
    changed.notify_all();
  }

  void CloseConnection(std::list<Connection>::iterator it, bool reset = false) {
    if (reset) {
      linger hard{1, 0};
      setsockopt(it->fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    close(it->fd);
    connections.erase(it);
    CountConnections(-1);
  }

  void Accept(Device& device) {
    for (;;) {
      int fd = accept4(device.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;  // EAGAIN or a connection that went away before it was accepted
      if (device.spec.behaviour == Behaviour::kCloseAtOnce) {
        close(fd);
        continue;
      }
      if (device.spec.behaviour == Behaviour::kTrickle) {
        // Each byte on its own, as it is sent, rather than held back until the last is acked.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      }
      Connection connection;
      connection.fd = fd;
      connection.device = &device;
      connections.push_back(std::move(connection));
      CountConnections(+1);
    }
  }

  RecordedRequest ParseHead(const Connection& connection, std::string_view head) {
    RecordedRequest request;
    request.address = connection.device->spec.address;
    request.port = connection.device->spec.port;
    request.time = Clock::now();
    const auto lineEnd = head.find("\r\n");
    std::string_view line = head.substr(0, lineEnd);
    const auto firstSpace = line.find(' ');
    request.method = std::string(line.substr(0, firstSpace));
    if (firstSpace != std::string_view::npos) {
      std::string_view rest = line.substr(firstSpace + 1);
      request.target = std::string(rest.substr(0, rest.find(' ')));
    }
    std::string_view path = request.target;
    if (StartsWithNoCase(path, "http://")) {
      path.remove_prefix(7);
      const auto slash = path.find('/');
      path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
    }
    request.path = std::string(path);
    std::string_view headers = lineEnd == std::string_view::npos ? "" : head.substr(lineEnd + 2);
    while (!headers.empty()) {
      const auto end = headers.find("\r\n");
      std::string_view header = headers.substr(0, end);
      if (StartsWithNoCase(header, "user-agent:")) request.userAgent = Trim(header.substr(11));
      if (end == std::string_view::npos) break;
      headers.remove_prefix(end + 2);
    }
    return request;
  }

  std::string Answer(const DeviceSpec& spec, const RecordedRequest& request) {
    if (!spec.reply.empty()) return spec.reply;
    int status = spec.status;
    if (request.path != kSuppliesPath && request.path != kDispatcherPath) status = 404;
    const std::string body =
        "<html><body>" + std::to_string(status) + " " + ReasonPhrase(status) + "</body></html>\n";
    std::string response =
        "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
        "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n";
    if (status >= 300 && status < 400) {
      const std::string location =
          spec.location.empty() ? Url(spec.address, request.port, "/moved") : spec.location;
      response += "Location: " + location + "\r\n";
    }
    return response + "\r\n" + body;
  }

  // Returns false when the connection was closed.
  bool Read(std::list<Connection>::iterator it) {
    char buffer[4096];
    for (;;) {
      const ssize_t n = recv(it->fd, buffer, sizeof buffer, 0);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        CloseConnection(it);
        return false;
      }
      if (n < 0) break;
      if (!it->requestDone) it->in.append(buffer, static_cast<std::size_t>(n));
    }
    if (it->requestDone) return true;
    const auto end = it->in.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (it->in.size() > kMaxRequestHead) {
        CloseConnection(it);
        return false;
      }
      return true;
    }
    it->requestDone = true;
    RecordedRequest request = ParseHead(*it, std::string_view(it->in).substr(0, end));
    std::function<void(const RecordedRequest&)> notify;
    {
      std::lock_guard lock(mutex);
      requests.push_back(request);
      notify = observer;
    }
    changed.notify_all();
    if (notify) notify(request);

    const DeviceSpec& spec = it->device->spec;
    switch (spec.behaviour) {
      case Behaviour::kAnswer:
        if (spec.answers >= 0 && it->device->answered >= spec.answers) break;
        ++it->device->answered;
        it->out = Answer(spec, request);
        it->answerAt = Clock::now() + std::chrono::milliseconds(spec.delayMs);
        break;
      case Behaviour::kTrickle:
        it->out = Answer(spec, request);
        it->answerAt = Clock::now();
        break;
      case Behaviour::kGarbage:
        it->out = std::string(kGarbage, sizeof kGarbage - 1);
        it->answerAt = Clock::now() + std::chrono::milliseconds(spec.delayMs);
        break;
      case Behaviour::kEndlessBody:
        it->out = "HTTP/1.1 " + std::to_string(spec.status) + " " + ReasonPhrase(spec.status) +
                  "\r\nContent-Type: text/html\r\nContent-Length: 1000000000\r\n\r\n" +
                  kEndlessPiece;
        it->answerAt = Clock::now() + std::chrono::milliseconds(spec.delayMs);
        break;
      case Behaviour::kReset:
        CloseConnection(it, /*reset=*/true);
        return false;
      case Behaviour::kHang:
      case Behaviour::kCloseAtOnce:
      case Behaviour::kBlackhole:
        break;
    }
    return true;
  }

  // Returns false when the connection was closed.
  bool Write(std::list<Connection>::iterator it) {
    const DeviceSpec& spec = it->device->spec;
    const bool trickle = spec.behaviour == Behaviour::kTrickle;
    while (it->sent < it->out.size()) {
      const std::size_t size = trickle ? 1 : it->out.size() - it->sent;
      const ssize_t n = send(it->fd, it->out.data() + it->sent, size, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
        CloseConnection(it);
        return false;
      }
      it->sent += static_cast<std::size_t>(n);
      if (trickle && it->sent < it->out.size()) {
        it->answerAt = Clock::now() + std::chrono::milliseconds(spec.delayMs);
        return true;
      }
    }
    if (spec.behaviour == Behaviour::kEndlessBody) {
      it->out = kEndlessPiece;
      it->sent = 0;
      it->answerAt = Clock::now() + kEndlessPause;
      return true;
    }
    CloseConnection(it);  // "Connection: close"
    return false;
  }

  void Serve() {
    std::vector<pollfd> fds;
    for (;;) {
      {
        std::lock_guard lock(mutex);
        if (stopping) break;
        for (auto& device : newDevices) devices.push_back(std::move(device));
        newDevices.clear();
      }
      const Clock::time_point now = Clock::now();
      int timeoutMs = -1;
      fds.clear();
      fds.push_back({wakeRead, POLLIN, 0});
      std::vector<Device*> listening;
      for (auto& device : devices) {
        if (device->spec.behaviour == Behaviour::kBlackhole) continue;
        fds.push_back({device->fd, POLLIN, 0});
        listening.push_back(device.get());
      }
      for (auto& connection : connections) {
        short events = POLLIN;
        if (connection.answerAt) {
          if (*connection.answerAt <= now) {
            events |= POLLOUT;
          } else {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(*connection.answerAt - now);
            const int ms = static_cast<int>(wait.count());
            timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
          }
        }
        fds.push_back({connection.fd, events, 0});
      }
      if (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) break;

      if (fds[0].revents & POLLIN) {
        char drain[64];
        while (read(wakeRead, drain, sizeof drain) > 0) {
        }
      }
      std::size_t index = 1;
      for (Device* device : listening) {
        if (fds[index++].revents & POLLIN) Accept(*device);
      }
      // Connections accepted just now are at the end of the list and have no poll entry yet.
      const std::size_t polled = fds.size() - index;
      auto it = connections.begin();
      const Clock::time_point after = Clock::now();
      for (std::size_t i = 0; i < polled && it != connections.end(); ++i, ++index) {
        auto current = it++;
        const short revents = fds[index].revents;
        if (revents & (POLLIN | POLLHUP | POLLERR)) {
          if (!Read(current)) continue;
        }
        if (current->answerAt && *current->answerAt <= after) Write(current);
      }
    }
  }
};

DeviceEmulator::DeviceEmulator() : impl(std::make_unique<Impl>()) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) ThrowErrno("pipe2");
  impl->wakeRead = pipeFds[0];
  impl->wakeWrite = pipeFds[1];
  impl->thread = std::thread([impl = impl.get()] { impl->Serve(); });
}

DeviceEmulator::~DeviceEmulator() {
  {
    std::lock_guard lock(impl->mutex);
    impl->stopping = true;
  }
  impl->Wake();
  impl->thread.join();
  for (auto& connection : impl->connections) close(connection.fd);
  for (auto* list : {&impl->devices, &impl->newDevices}) {
    for (auto& device : *list) {
      close(device->fd);
      if (device->fillerFd >= 0) close(device->fillerFd);
    }
  }
  close(impl->wakeRead);
  close(impl->wakeWrite);
}

std::uint16_t DeviceEmulator::AddDevice(const DeviceSpec& spec) {
  auto device = std::make_unique<Device>();
  device->spec = spec;
  const sockaddr_in address = MakeAddress(spec.address, spec.port);
  const bool blackhole = spec.behaviour == Behaviour::kBlackhole;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blackhole ? 0 : SOCK_NONBLOCK), 0);
  if (fd < 0) ThrowErrno("socket");
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, blackhole ? 0 : SOMAXCONN) != 0) {
    const int error = errno;
    close(fd);
    throw std::system_error(error, std::generic_category(),
                            "cannot listen on " + spec.address + ":" + std::to_string(spec.port));
  }
  device->fd = fd;
  device->spec.port = LocalPort(fd);
  if (blackhole) {
    // With a backlog of 0 the accept queue holds one connection: fill it ourselves, and the
    // kernel drops every later SYN, so a client's connect runs into its time-out.
    int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in self = MakeAddress(spec.address, device->spec.port);
    if (filler < 0 || connect(filler, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0) {
      const int error = errno;
      if (filler >= 0) close(filler);
      close(fd);
      throw std::system_error(error, std::generic_category(), "blackhole filler");
    }
    device->fillerFd = filler;
  }
  const std::uint16_t port = device->spec.port;
  {
    std::lock_guard lock(impl->mutex);
    impl->newDevices.push_back(std::move(device));
  }
  impl->Wake();
  return port;
}

std::vector<RecordedRequest> DeviceEmulator::Requests() const {
  std::lock_guard lock(impl->mutex);
  return impl->requests;
}

std::size_t DeviceEmulator::RequestCount() const {
  std::lock_guard lock(impl->mutex);
  return impl->requests.size();
}

bool DeviceEmulator::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl->mutex);
  return impl->changed.wait_for(lock, timeout, [&] { return impl->requests.size() >= count; });
}

void DeviceEmulator::ClearRequests() {
  std::lock_guard lock(impl->mutex);
  impl->requests.clear();
}

std::size_t DeviceEmulator::OpenConnections() const {
  std::lock_guard lock(impl->mutex);
  return impl->openConnections;
}

bool DeviceEmulator::WaitForOpenConnectionsAtMost(std::size_t count,
                                                  std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl->mutex);
  return impl->changed.wait_for(lock, timeout, [&] { return impl->openConnections <= count; });
}

bool DeviceEmulator::WaitForOpenConnectionsAtLeast(std::size_t count,
                                                   std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl->mutex);
  return impl->changed.wait_for(lock, timeout, [&] { return impl->openConnections >= count; });
}

void DeviceEmulator::SetRequestObserver(std::function<void(const RecordedRequest&)> observer) {
  std::lock_guard lock(impl->mutex);
  impl->observer = std::move(observer);
}

std::uint16_t DeviceEmulator::ClosedPort(const std::string& address) {
  const sockaddr_in sa = MakeAddress(address, 0);
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) ThrowErrno("socket");
  if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    const int error = errno;
    close(fd);
    throw std::system_error(error, std::generic_category(), "bind " + address);
  }
  const std::uint16_t port = LocalPort(fd);
  close(fd);
  return port;
}

std::string DeviceEmulator::Url(const std::string& address, std::uint16_t port,
                                std::string_view path) {
  return "http://" + address + ":" + std::to_string(port) + std::string(path);
}

}  // namespace pradex::emulator
