// Asking a device in IPP with libcups: one connection per request through a CupsExchange (its
// deadline and stop cut the connection, no password is ever asked for), the request written and
// the answer read by hand rather than by cupsDoRequest, so that no more of it is read than
// kIppMaxAnswerBytes, and libcups never reconnects or retries on its own.
//
// An ipps URI is asked over TLS. The device's certificate is not checked: libcups (with GnuTLS)
// checks none unless asked to, and a printer's certificate is almost always self-signed.
#pragma once

#include <span>

#include "platform/ipp_client.h"

namespace pradex {

class CupsIppClient final : public IppClient {
 public:
  IppAnswer GetPrinterAttributes(const std::string& uri,
                                 std::span<const std::string_view> requested,
                                 std::chrono::steady_clock::time_point deadline,
                                 std::stop_token stop) override;
};

// The body of an HTTP answer read as an IPP answer: kAnswered with its printer attributes (within
// the bounds of ipp_client.h), kIppError with its status, or kNotIpp for bytes that are none.
IppAnswer DecodeIppAnswer(std::span<const unsigned char> body);

}  // namespace pradex
