#include "platform/posix/cups_ipp_client.h"

#include <cups/cups.h>
#include <cups/http.h>
#include <cups/ipp.h>
#include <strings.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/cups_exchange.h"

namespace pradex {

namespace {

using Status = IppAnswer::Status;
using Ending = CupsExchange::Ending;

// IPP status codes from here on are errors; below it, success, information and redirection.
constexpr int kFirstIppError = 0x0400;

Status EndingStatus(Ending ending) {
  return CupsExchange::Meaning(ending, Status::kTimedOut, Status::kStopped, Status::kUnreachable);
}

IppAnswer Answer(Status status, int ippStatus = 0) {
  IppAnswer answer;
  answer.status = status;
  answer.ippStatus = ippStatus;
  return answer;
}

// At most kIppMaxTextBytes of `size` bytes; text is cut between UTF-8 characters.
std::string Cut(const char* data, std::size_t size, bool utf8) {
  if (size > kIppMaxTextBytes) {
    size = kIppMaxTextBytes;
    while (utf8 && size > 0 && (static_cast<unsigned char>(data[size]) & 0xc0) == 0x80) --size;
  }
  return std::string(data, size);
}

IppValue ValueOf(ipp_attribute_t* attribute, int index) {
  IppValue value;
  switch (ippGetValueTag(attribute)) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_ENUM:
      value.kind = IppValue::Kind::kInteger;
      value.integer = ippGetInteger(attribute, index);
      break;
    case IPP_TAG_BOOLEAN:
      value.kind = IppValue::Kind::kBoolean;
      value.integer = ippGetBoolean(attribute, index) ? 1 : 0;
      break;
    case IPP_TAG_TEXT:
    case IPP_TAG_NAME:
    case IPP_TAG_TEXTLANG:
    case IPP_TAG_NAMELANG:
    case IPP_TAG_KEYWORD:
    case IPP_TAG_URI:
    case IPP_TAG_URISCHEME:
    case IPP_TAG_CHARSET:
    case IPP_TAG_LANGUAGE:
    case IPP_TAG_MIMETYPE:
      if (const char* text = ippGetString(attribute, index, nullptr)) {
        value.kind = IppValue::Kind::kText;
        value.text = Cut(text, std::strlen(text), true);
      }
      break;
    case IPP_TAG_STRING: {
      int length = 0;
      const void* data = ippGetOctetString(attribute, index, &length);
      if (data && length >= 0) {
        value.kind = IppValue::Kind::kOctets;
        value.text = Cut(static_cast<const char*>(data), static_cast<std::size_t>(length), false);
      }
      break;
    }
    default:
      break;
  }
  return value;
}

ssize_t ReadFromMemory(void* context, ipp_uchar_t* buffer, size_t bytes) {
  auto& rest = *static_cast<std::span<const unsigned char>*>(context);
  const std::size_t count = std::min(bytes, rest.size());
  if (count > 0) std::memcpy(buffer, rest.data(), count);
  rest = rest.subspan(count);
  return static_cast<ssize_t>(count);
}

ssize_t AppendToString(void* context, ipp_uchar_t* buffer, size_t bytes) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(buffer), bytes);
  return static_cast<ssize_t>(bytes);
}

// The bytes of a Get-Printer-Attributes request; "" when libcups could not make them.
std::string Request(const std::string& uri, std::span<const std::string_view> requested) {
  IppPointer request(ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES));
  if (!request) return "";
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  const std::vector<std::string> names(requested.begin(), requested.end());
  std::vector<const char*> pointers;
  for (const std::string& name : names) pointers.push_back(name.c_str());
  if (!pointers.empty())
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(pointers.size()), nullptr, pointers.data());
  std::string bytes;
  ipp_state_t state = IPP_STATE_IDLE;
  do {
    state = ippWriteIO(&bytes, AppendToString, 1, nullptr, request.get());
  } while (state != IPP_STATE_DATA && state != IPP_STATE_ERROR);
  return state == IPP_STATE_DATA ? bytes : "";
}

// The length the answer's header announces; nullopt when it announces none.
std::optional<unsigned long long> AnnouncedLength(http_t* http) {
  const char* field = httpGetField(http, HTTP_FIELD_CONTENT_LENGTH);
  if (!field || !*field) return std::nullopt;
  unsigned long long length = 0;
  const char* end = field + std::strlen(field);
  const auto [last, error] = std::from_chars(field, end, length);
  // A length beyond what an unsigned long long holds is too large as well.
  if (error == std::errc::result_out_of_range) return kIppMaxAnswerBytes + 1;
  if (error != std::errc() || last != end) return std::nullopt;
  return length;
}

}  // namespace

IppAnswer DecodeIppAnswer(std::span<const unsigned char> body) {
  IppPointer response(ippNew());
  if (!response) return Answer(Status::kNotIpp);
  std::span<const unsigned char> rest = body;
  ipp_state_t state = IPP_STATE_IDLE;
  for (;;) {
    const std::size_t before = rest.size();
    state = ippReadIO(&rest, ReadFromMemory, 1, nullptr, response.get());
    if (state == IPP_STATE_DATA || state == IPP_STATE_ERROR || rest.size() == before) break;
  }
  int minor = 0;
  const int major = ippGetVersion(response.get(), &minor);
  if (state != IPP_STATE_DATA || major < 1 || major > 2) return Answer(Status::kNotIpp);
  const int status = ippGetStatusCode(response.get());
  if (status >= kFirstIppError) return Answer(Status::kIppError, status);

  IppAnswer answer = Answer(Status::kAnswered, status);
  for (ipp_attribute_t* attribute = ippFirstAttribute(response.get());
       attribute && answer.attributes.size() < kIppMaxAttributes;
       attribute = ippNextAttribute(response.get())) {
    const char* name = ippGetName(attribute);
    if (ippGetGroupTag(attribute) != IPP_TAG_PRINTER || !name || !*name) continue;
    IppAttribute& read = answer.attributes.emplace_back();
    read.name = Cut(name, std::strlen(name), true);
    const int count = std::min(ippGetCount(attribute), static_cast<int>(kIppMaxValues));
    for (int i = 0; i < count; ++i) read.values.push_back(ValueOf(attribute, i));
  }
  return answer;
}

IppAnswer CupsIppClient::GetPrinterAttributes(const std::string& uri,
                                              std::span<const std::string_view> requested,
                                              std::chrono::steady_clock::time_point deadline,
                                              std::stop_token stop) {
  char scheme[32];
  char userInfo[256];
  char host[256];
  char resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof(scheme), userInfo,
                      sizeof(userInfo), host, sizeof(host), &port, resource,
                      sizeof(resource)) < HTTP_URI_STATUS_OK)
    return Answer(Status::kUnreachable);
  const bool encrypted = strcasecmp(scheme, "ipps") == 0;
  if (!encrypted && strcasecmp(scheme, "ipp") != 0) return Answer(Status::kUnreachable);
  const std::string request = Request(uri, requested);
  if (request.empty()) return Answer(Status::kUnreachable);

  CupsExchange exchange(deadline, std::move(stop));
  http_t* http = exchange.Connect(
      host, port, encrypted ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED);
  if (!http) return Answer(EndingStatus(exchange.Ended()));
  const auto cut = [&exchange](Status otherwise) {
    const Ending ended = exchange.Ended();
    return Answer(ended != Ending::kOpen ? EndingStatus(ended) : otherwise);
  };

  // No "Expect: 100-continue", no authentication, no second try: one request, one answer.
  httpClearFields(http);
  httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
  httpSetLength(http, request.size());
  if (httpPost(http, resource) != 0 ||
      httpWrite2(http, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
    return cut(Status::kNotIpp);
  // httpUpdate also says "continue" when the connection waits for no answer: not a loop to stay in.
  http_status_t status = HTTP_STATUS_CONTINUE;
  do {
    status = httpUpdate(http);
  } while (status == HTTP_STATUS_CONTINUE && httpGetState(http) != HTTP_STATE_WAITING &&
           exchange.Ended() == Ending::kOpen);
  if (status != HTTP_STATUS_OK) return cut(Status::kNotIpp);

  const std::optional<unsigned long long> announced = AnnouncedLength(http);
  if (announced && *announced > kIppMaxAnswerBytes) return Answer(Status::kTooLarge);
  std::vector<unsigned char> body;
  char buffer[16 * 1024];
  for (ssize_t count; (count = httpRead2(http, buffer, sizeof(buffer))) > 0;) {
    if (body.size() + static_cast<std::size_t>(count) > kIppMaxAnswerBytes)
      return Answer(Status::kTooLarge);
    body.insert(body.end(), buffer, buffer + count);
  }
  // A cut ends the body as its end would: only an announced length tells a whole one.
  if (!announced || *announced != body.size()) {
    if (const Ending ended = exchange.Ended(); ended != Ending::kOpen)
      return Answer(EndingStatus(ended));
  }
  return DecodeIppAnswer(body);
}

}  // namespace pradex
