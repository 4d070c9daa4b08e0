// The real system on Linux, assembled once for a front end: CUPS as the spooler, the TCP/IP
// monitor keys derived from device URIs over an in-memory registry, libcurl for the probes,
// xdg-open for the browser and the string table in the locale's encoding.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/messages.h"
#include "app/static_version_info.h"
#include "platform/device_io.h"
#include "platform/memory/memory_registry.h"
#include "platform/posix/cups_spooler.h"
#include "platform/posix/curl_http_client.h"
#include "platform/posix/device_uri_resolver.h"
#include "platform/posix/locale_string_resources.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/uri_monitor_registry.h"
#include "search/search_platform.h"

namespace pradex {

// Linux has no SCSI pass-through to IEEE 1394 printers: every device open fails, so such ports
// stay unresolved like any port whose device does not answer.
class NoDeviceIo : public DeviceIo {
 public:
  DeviceHandle Open(const std::string&) override { return kInvalidDevice; }
  bool ScsiPassThrough(DeviceHandle, ScsiPassThroughDirect&, std::uint32_t*) override {
    return false;
  }
  void Close(DeviceHandle) override {}
};

class LinuxPlatform {
 public:
  // The longest wait for DNS-SD announcements of printers without a queue. cupsEnumDests ends
  // as soon as they settle: 0.2-0.3 s in our lab, which is why the print dialog's printers are
  // searched by default.
  static constexpr std::chrono::milliseconds kDiscoveryTime{1000};

  LinuxPlatform()
      : registry(store, &resolver),
        resolvingSpooler(
            spooler, resolver,
            [](int* cancel) { return ListDiscoveredDestinations(kDiscoveryTime, cancel); }),
        strings(utf8Strings) {}
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  // The search engine's view of the system; `poster` delivers to the front end's window.
  SearchPlatform Search(MessagePoster& poster) {
    return SearchPlatform{resolvingSpooler, registry, deviceIo, http, poster};
  }

  MemoryRegistry store;         // the user's settings live here, not in the system
  DeviceUriResolver resolver;   // the devices behind DNS-SD, cups-browsed and server queues
  UriMonitorRegistry registry;  // store + the monitor keys of the CUPS device URIs
  CupsSpooler spooler;
  ResolvingSpooler resolvingSpooler;  // spooler + the resolver's lookups once per search
  NoDeviceIo deviceIo;
  CurlHttpClient http;
  EmbeddedStringResources utf8Strings;  // UTF-8, for toolkits that take Unicode text
  LocaleStringResources strings;        // the locale's 8-bit encoding, for the console
  StaticVersionInfo versions;
  PosixProcessLauncher launcher;
};

}  // namespace pradex
