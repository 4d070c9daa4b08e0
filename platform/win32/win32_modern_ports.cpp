#include "platform/win32/win32_modern_ports.h"

#include <windows.h>

#include <setupapi.h>
#include <winspool.h>

#include <cstddef>
#include <cstring>
#include <cwctype>
#include <optional>

#include "platform/win32/apmon_defs.h"
#include "platform/win_codes.h"

namespace pradex {

namespace {

using win32::PKEY_PNPX_GlobalIdentity;
using win32::PKEY_PNPX_IpAddress;
using win32::PKEY_PNPX_PresentationUrl;
using win32::PKEY_PNPX_XAddrs;

// Port names come from the spooler's ANSI list.
std::wstring FromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// URLs and identities are ASCII when usable; UTF-8 keeps anything else from passing for it.
std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}

// UTF-16 text in `bytes` from `offset`, up to its first zero or the end.
std::wstring WideText(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  std::wstring text;
  for (std::size_t i = offset; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == L'\0') break;
    text.push_back(unit);
  }
  return text;
}

std::wstring IdentityKey(std::wstring identity) {
  for (wchar_t& c : identity) c = static_cast<wchar_t>(std::towlower(c));
  constexpr std::wstring_view kPrefix = L"urn:uuid:";
  if (identity.compare(0, kPrefix.size(), kPrefix) == 0) identity.erase(0, kPrefix.size());
  return identity;
}

// A string or string-list property of a device node, each string on its own; nullopt when the
// node does not carry it or it is of another type.
std::optional<std::vector<std::wstring>> ReadStrings(HDEVINFO set, SP_DEVINFO_DATA& node,
                                                     const DEVPROPKEY& key) {
  DEVPROPTYPE type = 0;
  DWORD required = 0;
  SetupDiGetDevicePropertyW(set, &node, &key, &type, nullptr, 0, &required, 0);
  if (required == 0 || (type != DEVPROP_TYPE_STRING && type != DEVPROP_TYPE_STRING_LIST))
    return std::nullopt;
  std::vector<wchar_t> buffer(required / sizeof(wchar_t) + 1, L'\0');
  if (!SetupDiGetDevicePropertyW(set, &node, &key, &type, reinterpret_cast<PBYTE>(buffer.data()),
                                 static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &required, 0))
    return std::nullopt;
  std::vector<std::wstring> strings;
  const std::size_t units = required / sizeof(wchar_t);
  for (std::size_t start = 0; start < units;) {
    const std::wstring item(buffer.data() + start);
    if (item.empty() && type == DEVPROP_TYPE_STRING_LIST) break;
    strings.push_back(item);
    if (type == DEVPROP_TYPE_STRING) break;
    start += item.size() + 1;
  }
  return strings;
}

std::vector<std::string> ToUtf8(const std::optional<std::vector<std::wstring>>& strings) {
  std::vector<std::string> narrow;
  if (strings) {
    for (const std::wstring& text : *strings)
      if (!text.empty()) narrow.push_back(ToUtf8(text));
  }
  return narrow;
}

}  // namespace

long SpoolerXcvChannel::Ask(const std::wstring& portName, const wchar_t* command,
                            std::vector<std::uint8_t>& output) {
  std::wstring name = L",XcvPort " + portName;
  // Reading a port's data needs no administration right; asking for it would be refused to
  // a normal user.
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_READ};
  HANDLE xcv = nullptr;
  if (!OpenPrinterW(name.data(), &xcv, &defaults)) {
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<long>(error) : kErrorInvalidHandle;
  }
  long result = kErrorSuccess;
  std::vector<std::uint8_t> buffer(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD needed = 0;
    DWORD status = ERROR_SUCCESS;
    if (!XcvDataW(xcv, command, nullptr, 0, buffer.data(), static_cast<DWORD>(buffer.size()),
                  &needed, &status)) {
      result = static_cast<long>(GetLastError());
      if (result == kErrorSuccess) result = kErrorInvalidParameter;
    } else {
      result = static_cast<long>(status);
    }
    if (result == kErrorInsufficientBuffer && needed > buffer.size()) {
      buffer.assign(needed, 0);
      continue;
    }
    if (result == kErrorSuccess) {
      buffer.resize(needed < buffer.size() ? needed : buffer.size());
      output = std::move(buffer);
    }
    break;
  }
  ClosePrinter(xcv);
  return result;
}

long Win32ModernPorts::GetApPortInfo(const std::string& portName, ApPortInfo& info) {
  std::vector<std::uint8_t> bytes;
  const long result = xcv.Ask(FromAnsi(portName), win32::kXcvGetApPortInfo, bytes);
  if (result != kErrorSuccess) return result;
  constexpr std::size_t kUrlOffset = offsetof(APPORT_DATA_1, DeviceOrServiceUrl);
  if (bytes.size() < kUrlOffset) return kErrorInvalidParameter;
  DWORD protocol = 0;
  std::memcpy(&protocol, bytes.data() + offsetof(APPORT_DATA_1, Protocol), sizeof(protocol));
  info.protocol = protocol;
  info.deviceOrServiceUrl = ToUtf8(WideText(bytes, kUrlOffset));
  return kErrorSuccess;
}

long Win32ModernPorts::GetWsdDeviceId(const std::string& portName, std::string& deviceId) {
  std::vector<std::uint8_t> bytes;
  const long result = xcv.Ask(FromAnsi(portName), win32::kXcvDeviceId, bytes);
  if (result != kErrorSuccess) return result;
  deviceId = ToUtf8(WideText(bytes, 0));
  return kErrorSuccess;
}

bool Win32ModernPorts::FindPnpxDevice(const std::string& deviceId, PnpxDevice& device) {
  const std::wstring wanted = IdentityKey(FromAnsi(deviceId));
  if (wanted.empty()) return false;
  // Not only present nodes: a printer that is switched off keeps its node and its address.
  const HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  SP_DEVINFO_DATA node{};
  node.cbSize = sizeof(node);
  for (DWORD index = 0; !found && SetupDiEnumDeviceInfo(set, index, &node); ++index) {
    const auto identity = ReadStrings(set, node, PKEY_PNPX_GlobalIdentity);
    if (!identity || identity->empty() || IdentityKey(identity->front()) != wanted) continue;
    const std::vector<std::string> presentation =
        ToUtf8(ReadStrings(set, node, PKEY_PNPX_PresentationUrl));
    device.presentationUrl = presentation.empty() ? std::string() : presentation.front();
    device.ipAddresses = ToUtf8(ReadStrings(set, node, PKEY_PNPX_IpAddress));
    device.xAddrs = ToUtf8(ReadStrings(set, node, PKEY_PNPX_XAddrs));
    found = true;
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace pradex
