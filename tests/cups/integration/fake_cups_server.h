// A loopback server that answers CUPS-Get-Printers with fixed queues, each connection in the
// way a test asks for: at once, never, or one byte at a time.
#pragma once

#include <cups/ipp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pradex {

struct FakeQueue {
  std::string name;
  std::string makeAndModel;
  std::string deviceUri;
};

// The whole HTTP reply of a CUPS-Get-Printers request that lists `queues`.
inline std::string CupsGetPrintersReply(const std::vector<FakeQueue>& queues) {
  ipp_t* response = ippNew();
  ippSetVersion(response, 2, 0);
  ippSetStatusCode(response, IPP_STATUS_OK);
  ippSetRequestId(response, 1);
  ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_CHARSET, "attributes-charset", nullptr,
               "utf-8");
  ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_LANGUAGE, "attributes-natural-language",
               nullptr, "en");
  for (std::size_t i = 0; i < queues.size(); ++i) {
    if (i > 0) ippAddSeparator(response);
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr,
                 queues[i].name.c_str());
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-make-and-model", nullptr,
                 queues[i].makeAndModel.c_str());
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                 queues[i].deviceUri.c_str());
  }
  std::string body;
  ippSetState(response, IPP_STATE_IDLE);
  ippWriteIO(
      &body,
      [](void* context, ipp_uchar_t* buffer, size_t bytes) -> ssize_t {
        static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(buffer), bytes);
        return static_cast<ssize_t>(bytes);
      },
      1, nullptr, response);
  ippDelete(response);
  return "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

class FakeCupsServer {
 public:
  enum class Answer {
    kAtOnce,   // the whole reply as soon as the request header is in
    kNever,    // reads the request and stays silent
    kTrickle,  // the reply one byte per trickleGap, for as long as the client listens
  };

  // `answers[i]` is how connection i is served; the last entry serves all later ones.
  FakeCupsServer(std::vector<FakeQueue> queues, std::vector<Answer> answers,
                 std::chrono::milliseconds trickleGap = std::chrono::milliseconds(100))
      : reply(CupsGetPrintersReply(queues)), plan(std::move(answers)), gap(trickleGap) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener < 0 || plan.empty() ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    portNumber = ntohs(address.sin_port);
    acceptor = std::thread([this] { AcceptLoop(); });
  }

  ~FakeCupsServer() { Stop(); }

  FakeCupsServer(const FakeCupsServer&) = delete;
  FakeCupsServer& operator=(const FakeCupsServer&) = delete;

  int port() const { return portNumber; }
  int connections() const { return accepted.load(); }

  // Ends every connection and the server; the clients see the connection closed.
  void Stop() {
    if (stopped) return;
    stopped = true;
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
      for (const int fd : clients) shutdown(fd, SHUT_RDWR);
    }
    wake.notify_all();
    if (listener >= 0) shutdown(listener, SHUT_RDWR);
    if (acceptor.joinable()) acceptor.join();
    for (std::thread& served : servers) served.join();
    for (const int fd : clients) close(fd);
    if (listener >= 0) close(listener);
  }

 private:
  void AcceptLoop() {
    for (;;) {
      const int client = accept(listener, nullptr, nullptr);
      if (client < 0) return;
      std::lock_guard<std::mutex> lock(mutex);
      if (stopping) {
        close(client);
        return;
      }
      const std::size_t index = static_cast<std::size_t>(accepted.fetch_add(1));
      clients.push_back(client);
      const Answer answer = plan[std::min(index, plan.size() - 1)];
      servers.emplace_back([this, client, answer] { Serve(client, answer); });
    }
  }

  void Serve(int client, Answer answer) {
    std::string received;
    char buffer[4096];
    while (received.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) return;
      received.append(buffer, static_cast<std::size_t>(n));
    }
    if (answer == Answer::kAtOnce) {
      send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    } else if (answer == Answer::kTrickle) {
      for (std::size_t i = 0; i < reply.size(); ++i) {
        if (send(client, &reply[i], 1, MSG_NOSIGNAL) != 1) return;
        std::unique_lock<std::mutex> lock(mutex);
        if (wake.wait_for(lock, gap, [this] { return stopping; })) return;
      }
    }
    // Read on (the request body, if any) until the client is done or the server stops.
    while (recv(client, buffer, sizeof(buffer), 0) > 0) {
    }
  }

  const std::string reply;
  const std::vector<Answer> plan;
  const std::chrono::milliseconds gap;
  int listener = -1;
  int portNumber = 0;
  std::atomic<int> accepted{0};
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  bool stopped = false;  // touched by the test's thread only
  std::vector<int> clients;
  std::vector<std::thread> servers;
  std::thread acceptor;
};

}  // namespace pradex
