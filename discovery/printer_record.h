// One probed printer: model (driver) name, printer name, port name and device URL, and the
// model-name rules that decide which printers are probed.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace pradex {

class PrinterRecord {
 public:
  PrinterRecord();
  PrinterRecord(const PrinterRecord& other);
  PrinterRecord& operator=(const PrinterRecord& other);
  ~PrinterRecord();

  // Throw std::invalid_argument("Printer Information cannot be empty") for an empty text and
  // leave the field as it was.
  void SetModelName(std::string text);
  void SetPrinterName(std::string text);
  void SetPortName(std::string text);
  void SetUrl(std::string text);

  std::string GetModelName() const { return modelName; }
  std::string GetPrinterName() const { return printerName; }
  std::string GetPortName() const { return portName; }
  std::string GetUrl() const { return url; }

  // Where the device itself answers, as its port's address was found: the URL host, a port
  // other than 80 that its pages are served on (0: none), and its own IPP URI when its queue
  // names one (""). For asking the device what it says about itself; never throws.
  void SetDevice(std::string host, std::uint16_t port, std::string ippUri);
  std::string GetDeviceHost() const { return deviceHost; }
  std::uint16_t GetDevicePort() const { return devicePort; }
  std::string GetDeviceIppUri() const { return deviceIppUri; }

  // The number of records that exist right now, process-wide.
  static int LiveRecordCount() { return liveRecordCount.load(); }

 private:
  std::string modelName;
  std::string printerName;
  std::string portName;
  std::string url;
  std::string deviceHost;
  std::uint16_t devicePort = 0;
  std::string deviceIppUri;

  static std::atomic<int> liveRecordCount;
};

bool IsMakerModel(std::string modelName);
bool IsBrimLineModel(std::string modelName);
bool IsGlowMarkModel(std::string modelName);

}  // namespace pradex
