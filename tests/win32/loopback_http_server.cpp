#include "tests/win32/loopback_http_server.h"

#include <ws2tcpip.h>

#include <chrono>
#include <stdexcept>

namespace pradex::testing {
namespace {

struct WinsockUser {
  WinsockUser() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup");
  }
  ~WinsockUser() { WSACleanup(); }
};

void EnsureWinsock() {
  static WinsockUser user;
}

SOCKET ListenOnLoopback(std::uint16_t* port) {
  EnsureWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    throw std::runtime_error("bind/listen");
  }
  *port = ntohs(address.sin_port);
  return s;
}

std::string ReasonOf(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 302:
      return "Found";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(int status) : answerStatus(status) {
  listener = ListenOnLoopback(&listenPort);
  serverThread = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  closesocket(listener);  // ends the accept
  serverThread.join();
  DropConnections();
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(listenPort) + path;
}

std::vector<std::string> LoopbackHttpServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex);
  return requests;
}

bool LoopbackHttpServer::WaitForRequests(std::size_t count, int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                          [&] { return requests.size() >= count; });
}

void LoopbackHttpServer::DropConnections() {
  std::vector<SOCKET> held;
  {
    std::lock_guard<std::mutex> lock(mutex);
    held.swap(heldConnections);
  }
  for (const SOCKET s : held) closesocket(s);
}

void LoopbackHttpServer::Serve() {
  for (;;) {
    const SOCKET connection = accept(listener, nullptr, nullptr);
    if (connection == INVALID_SOCKET) return;  // listener closed
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const int received = recv(connection, buffer, sizeof(buffer), 0);
      if (received <= 0) break;
      head.append(buffer, static_cast<std::size_t>(received));
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back(head.substr(0, head.find("\r\n\r\n")));
      if (answerStatus == 0) heldConnections.push_back(connection);
    }
    changed.notify_all();
    if (answerStatus == 0) continue;  // silent: the connection stays open, unanswered
    const std::string body = "device page";
    const std::string answer =
        "HTTP/1.1 " + std::to_string(answerStatus) + " " + ReasonOf(answerStatus) +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
        (answerStatus == 302 ? "\r\nLocation: /elsewhere" : "") + "\r\nConnection: close\r\n\r\n" +
        body;
    send(connection, answer.data(), static_cast<int>(answer.size()), 0);
    shutdown(connection, SD_SEND);
    closesocket(connection);
  }
}

std::uint16_t ClosedLoopbackPort() {
  std::uint16_t port = 0;
  closesocket(ListenOnLoopback(&port));
  return port;
}

}  // namespace pradex::testing
