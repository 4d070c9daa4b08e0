// A loopback stand-in for the printers' embedded web servers, for tests and benchmarks.
//
// Each device listens on its own 127.0.0.x address and port and serves the two device pages
// ("/?type=supplies" and "/tamrin/device/this.LCDispatcher"; every other path answers 404) with
// a behaviour of its own: a status, a delayed status or one a byte at a time, silence, an
// abrupt close or reset, bytes that are not HTTP, or a listening socket that never accepts. Every
// request head it reads is recorded (device, method, target, User-Agent, time). One thread serves
// all devices with poll.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pradex::emulator {

inline constexpr std::string_view kSuppliesPath = "/?type=supplies";
inline constexpr std::string_view kDispatcherPath = "/tamrin/device/this.LCDispatcher";

enum class Behaviour {
  kAnswer,       // `status` (after `delayMs`) for the device paths, 404 for other paths
  kHang,         // accepts and reads the request, never answers, keeps the connection open
  kCloseAtOnce,  // closes every connection as soon as it is accepted
  kReset,        // resets the connection (RST) once the request head has arrived
  kGarbage,      // answers bytes that are not HTTP (after `delayMs`), then closes
  kBlackhole,    // listens but never accepts; its queue is full, so connecting hangs
  kEndlessBody,  // `status` and its headers (after `delayMs`), then a body that never ends
  kTrickle,      // the answer of kAnswer, one byte at once and then one per `delayMs`, then closes
};

struct DeviceSpec {
  std::string address = "127.0.0.2";
  std::uint16_t port = 0;  // 0: any free port
  Behaviour behaviour = Behaviour::kAnswer;
  int status = 200;
  int delayMs = 0;
  std::string location;  // Location of a 3xx answer; empty: "/moved" on the device itself
  // kAnswer and kTrickle: when not empty, these bytes answer every request in place of the device's
  // page (another kind of server, such as one that asks for credentials).
  std::string reply;
  // kAnswer: how many requests are answered; later ones are read and never answered, as by a
  // server that stalls after its first answers. Negative: every one.
  int answers = -1;
};

// "ADDR:PORT=BEHAVIOUR" with BEHAVIOUR one of: a status code ("200", "404", "302", ...),
// "delay:MS" (200 after MS ms), "delay:MS:CODE", "hang", "close", "reset", "garbage",
// "blackhole", "endless", "trickle:MS" (200, a byte every MS ms). PORT 0 picks a free port.
// nullopt when the text is malformed.
std::optional<DeviceSpec> ParseDeviceSpec(std::string_view text);

// The behaviour part of a spec, as ParseDeviceSpec writes it ("200", "delay:50:200", "hang").
std::string BehaviourText(const DeviceSpec& spec);

struct RecordedRequest {
  std::string address;  // the device that received it
  std::uint16_t port = 0;
  std::string method;
  std::string target;  // as sent: origin form, or absolute form through a proxy
  std::string path;    // the target without scheme and authority
  std::string userAgent;
  std::chrono::steady_clock::time_point time;  // when the request head was complete
};

class DeviceEmulator {
 public:
  DeviceEmulator();   // starts the serving thread
  ~DeviceEmulator();  // stops it and closes every socket
  DeviceEmulator(const DeviceEmulator&) = delete;
  DeviceEmulator& operator=(const DeviceEmulator&) = delete;

  // Binds and listens (connections are accepted once this returns); returns the port.
  // Throws std::system_error when the address cannot be bound.
  std::uint16_t AddDevice(const DeviceSpec& spec);

  std::vector<RecordedRequest> Requests() const;
  std::size_t RequestCount() const;
  // True once at least `count` requests have been recorded, false after `timeout`.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  void ClearRequests();

  // Connections accepted and not yet closed by either side.
  std::size_t OpenConnections() const;
  // True once at most `count` connections are open, false after `timeout`.
  bool WaitForOpenConnectionsAtMost(std::size_t count, std::chrono::milliseconds timeout) const;
  // True once at least `count` connections are open, false after `timeout`.
  bool WaitForOpenConnectionsAtLeast(std::size_t count, std::chrono::milliseconds timeout) const;

  // Called on the serving thread for each recorded request (set before traffic starts).
  void SetRequestObserver(std::function<void(const RecordedRequest&)> observer);

  // A port on `address` where nothing listens: bound once, then closed.
  static std::uint16_t ClosedPort(const std::string& address = "127.0.0.1");

  // "http://ADDR:PORT" + path.
  static std::string Url(const std::string& address, std::uint16_t port, std::string_view path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace pradex::emulator
