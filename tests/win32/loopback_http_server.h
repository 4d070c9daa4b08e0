// A tiny HTTP server on 127.0.0.1 for the WinInet tests: answers every request with a fixed
// status, or (status 0) accepts, reads the request and never answers until it is told to
// drop its connections or is destroyed.
#pragma once

#include <winsock2.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pradex::testing {

class LoopbackHttpServer {
 public:
  explicit LoopbackHttpServer(int status);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  std::uint16_t port() const { return listenPort; }
  std::string Url(const std::string& path) const;

  // Requests received so far, each its head up to the empty line.
  std::vector<std::string> Requests();
  // Waits until `count` requests have arrived; false after `milliseconds`.
  bool WaitForRequests(std::size_t count, int milliseconds);
  // Closes the connections that are being held open (status 0).
  void DropConnections();

 private:
  void Serve();

  int answerStatus;
  SOCKET listener = INVALID_SOCKET;
  std::uint16_t listenPort = 0;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> requests;
  std::vector<SOCKET> heldConnections;
  bool stopping = false;
  std::thread serverThread;
};

// A loopback port on which nothing listens (bound once, then closed).
std::uint16_t ClosedLoopbackPort();

}  // namespace pradex::testing
