// The print spooler on Linux: the queues of a CUPS server.
#pragma once

#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "platform/spooler.h"
#include "platform/win_codes.h"

namespace pradex {

// A server other than the one libcups' configuration names.
struct CupsServer {
  std::string host;  // a host name, an address or the path of a local socket
  int port = 0;      // ignored for a local socket
};

struct CupsSpoolerOptions {
  // nullopt: the server libcups' own configuration names, as for every CUPS client (the
  // CUPS_SERVER environment variable, client.conf, else the local socket; IPP_PORT or 631),
  // read afresh on every call.
  std::optional<CupsServer> server;
  // Giving up on connecting, and on a wait for the server's answer. A server that does not
  // answer ends a call after at most connectTimeoutMs + 1 s + ioTimeoutSeconds (libcups waits
  // up to 1 s for a "100 Continue" before it sends the request body).
  int connectTimeoutMs = 3000;
  double ioTimeoutSeconds = 5.0;
  // The whole exchange, from connecting to the answer's last byte: a server that trickles its
  // answer, byte by byte within the I/O time-out, is given up at this point (kErrorTimeout).
  int exchangeDeadlineMs = 10000;
};

// EnumPrinters lists the CUPS queues (printer classes left out) in the server's order:
//   printerName = the queue name, driverName = printer-make-and-model,
//   portName = device-uri without credentials, serverName = nullopt (the queues are local).
// EnumPorts lists the distinct device URIs of those queues, without credentials, in queue
// order; the core's port look-up by exact name therefore finds every queue's port. It takes
// them from the answer of the latest successful EnumPrinters call of this spooler, so that a
// search asks the server once; before any (or after a failed one) it asks the server itself.
//
// Each request is one CupsExchange: a connection of its own, one CUPS-Get-Printers request, and
// the connection closed; calls may come from any thread. A call sets the calling thread's libcups
// password callback to one that gives no password, so that a server asking for credentials is
// refused instead of a prompt on the terminal. The form with a stop token is cut at once when
// the stop is requested. Results:
//   0                       the list; empty when the server has no queues
//   kRpcServerUnavailable   no server: no socket, connection refused, unknown host, or the
//                           connection broke off
//   kErrorTimeout           connecting or answering took longer than the time-outs, or the
//                           exchange as a whole longer than its deadline
//   kErrorAccessDenied      the server wants credentials (the call never prompts for them)
//   kErrorGenFailure        any other refusal by the server
//   kErrorOutOfMemory       memory ran out
//   kErrorNotSupported      EnumPorts for a named (remote) server
//   kErrorCancelled         cut by the stop
class CupsSpooler : public Spooler {
 public:
  // Result codes, Win32 values, so that callers see what EnumPrintersA would report in the
  // same situation; those a report explains stand in win_codes.h.
  static constexpr long kErrorGenFailure = pradex::kErrorGenFailure;  // the server refused
  static constexpr long kErrorNotSupported = 50;                      // a remote spooler was named
  static constexpr long kErrorTimeout = pradex::kErrorTimeout;        // no answer in time
  static constexpr long kRpcServerUnavailable = pradex::kRpcServerUnavailable;  // no server
  static constexpr long kErrorCancelled = pradex::kErrorCancelled;              // cut by stop

  CupsSpooler() = default;
  explicit CupsSpooler(CupsSpoolerOptions options) : options(std::move(options)) {}
  CupsSpooler(const CupsSpooler&) = delete;
  CupsSpooler& operator=(const CupsSpooler&) = delete;

  long EnumPrinters(std::vector<PrinterInfo>& printers) override;
  long EnumPrinters(std::vector<PrinterInfo>& printers, std::stop_token stop) override;
  long EnumPorts(const std::optional<std::string>& serverName,
                 std::vector<std::string>& ports) override;

 private:
  CupsSpoolerOptions options;
  std::mutex answerMutex;
  std::optional<std::vector<std::string>> latestPorts;  // of the latest printer list
};

}  // namespace pradex
