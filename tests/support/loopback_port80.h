// Whether a test may listen on port 80 of loopback addresses. Such tests run under
// tests/support/in-netns, in a network namespace of their own; where that cannot be made, they
// skip with the reason rather than fail on, or collide with, the machine's own port 80.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace pradex::testsupport {

// Why port 80 of `address` cannot be listened on here; nullopt when it can.
inline std::optional<std::string> Port80Unavailable(const std::string& address) {
  std::string why;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(80);
  if (fd < 0 || inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
    why = "cannot listen on " + address + ":80: " + std::strerror(errno);
  if (fd >= 0) close(fd);
  if (why.empty()) return std::nullopt;
  if (const char* missing = std::getenv("PRADEX_NETNS_MISSING")) return why + "; " + missing;
  if (!std::getenv("PRADEX_IN_NETNS")) return why + "; run it through tests/support/in-netns";
  return why;
}

}  // namespace pradex::testsupport
