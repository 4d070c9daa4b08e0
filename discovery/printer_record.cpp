#include "discovery/printer_record.h"

#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "discovery/port_cache.h"

namespace pradex {

std::atomic<int> PrinterRecord::liveRecordCount{0};

namespace {

constexpr const char* kEmptyInformation = "Printer Information cannot be empty";

bool ContainsAny(const std::string& text, std::initializer_list<const char*> forms) {
  for (const char* form : forms) {
    if (text.find(form) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

PrinterRecord::PrinterRecord() {
  liveRecordCount.fetch_add(1);
}

PrinterRecord::PrinterRecord(const PrinterRecord& other)
    : modelName(other.modelName),
      printerName(other.printerName),
      portName(other.portName),
      url(other.url),
      deviceHost(other.deviceHost),
      devicePort(other.devicePort),
      deviceIppUri(other.deviceIppUri) {
  liveRecordCount.fetch_add(1);
}

PrinterRecord& PrinterRecord::operator=(const PrinterRecord& other) {
  modelName = other.modelName;
  printerName = other.printerName;
  portName = other.portName;
  url = other.url;
  deviceHost = other.deviceHost;
  devicePort = other.devicePort;
  deviceIppUri = other.deviceIppUri;
  return *this;
}

PrinterRecord::~PrinterRecord() {
  // Only the thread whose decrement reaches zero empties the cache, once per drop to zero, so
  // that the next resolution reads the port list afresh.
  if (liveRecordCount.fetch_sub(1) == 1) ClearPortCache();
}

void PrinterRecord::SetModelName(std::string text) {
  if (text.empty()) throw std::invalid_argument(kEmptyInformation);
  modelName = std::move(text);
}

void PrinterRecord::SetPrinterName(std::string text) {
  if (text.empty()) throw std::invalid_argument(kEmptyInformation);
  printerName = std::move(text);
}

void PrinterRecord::SetPortName(std::string text) {
  if (text.empty()) throw std::invalid_argument(kEmptyInformation);
  portName = std::move(text);
}

void PrinterRecord::SetUrl(std::string text) {
  url = std::move(text);
}

void PrinterRecord::SetDevice(std::string host, std::uint16_t port, std::string ippUri) {
  deviceHost = std::move(host);
  devicePort = port;
  deviceIppUri = std::move(ippUri);
}

// Each test knows a fixed set of spellings; anything else, whatever its case, is no match.
bool IsMakerModel(std::string modelName) {
  return ContainsAny(modelName, {"tamrin ", "TAMRIN ", "Tamrin ", "tAMRIN "});
}

bool IsBrimLineModel(std::string modelName) {
  return ContainsAny(modelName, {"Brimline", "BrimLine", "brimline", "BRIMLINE"});
}

bool IsGlowMarkModel(std::string modelName) {
  return ContainsAny(modelName, {"GlowMark", "Glowmark", "glowmark", "GLOWMARK"});
}

}  // namespace pradex
