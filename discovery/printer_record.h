// One probed printer: model (driver) name, printer name, port name and device URL, and the
// model-name rules that decide which printers are probed.
#pragma once

#include <atomic>
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

  // The number of records that exist right now, process-wide.
  static int LiveRecordCount() { return liveRecordCount.load(); }

 private:
  std::string modelName;
  std::string printerName;
  std::string portName;
  std::string url;

  static std::atomic<int> liveRecordCount;
};

bool IsMakerModel(std::string modelName);
bool IsBrimLineModel(std::string modelName);
bool IsGlowMarkModel(std::string modelName);

}  // namespace pradex
