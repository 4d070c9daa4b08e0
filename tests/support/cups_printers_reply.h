// The answer of a CUPS server to CUPS-Get-Printers, for tests whose emulated server lists
// queues no ordinary set-up has.
#pragma once

#include <cups/ipp.h>

#include <string>
#include <vector>

namespace pradex::testsupport {

struct Queue {
  std::string name;
  std::string makeAndModel;
  std::string deviceUri;
};

// The whole HTTP reply of a CUPS-Get-Printers request that lists `queues`.
inline std::string CupsGetPrintersReply(const std::vector<Queue>& queues) {
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

}  // namespace pradex::testsupport
