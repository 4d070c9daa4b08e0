// The real system on Linux, assembled once for a front end: CUPS as the spooler, the devices
// behind the queues' device URIs (DNS-SD, print servers, cups-browsed), libcurl for the probes,
// xdg-open for the browser and the string table in the locale's encoding.
#pragma once

#include <string>

#include "app/messages.h"
#include "app/static_version_info.h"
#include "platform/memory/memory_registry.h"
#include "platform/posix/cups_ipp_client.h"
#include "platform/posix/cups_spooler.h"
#include "platform/posix/curl_http_client.h"
#include "platform/posix/device_uri_resolver.h"
#include "platform/posix/locale_string_resources.h"
#include "platform/posix/posix_process_launcher.h"
#include "search/search_platform.h"

namespace pradex {

class LinuxPlatform {
 public:
  LinuxPlatform() : strings(utf8Strings) {}
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  // The search engine's view of the system; `poster` delivers to the front end's window.
  SearchPlatform Search(MessagePoster& poster) {
    return SearchPlatform{spooler, settings, http, poster, resolver};
  }

  MemoryRegistry settings;     // the user's settings live here, not in the system
  DeviceUriResolver resolver;  // the device behind each queue, and the print dialog's printers
  CupsSpooler spooler;
  CurlHttpClient http;
  CupsIppClient ipp;                    // what each listed device says about itself
  EmbeddedStringResources utf8Strings;  // UTF-8, for toolkits that take Unicode text
  LocaleStringResources strings;        // the locale's 8-bit encoding, for the console
  StaticVersionInfo versions;
  PosixProcessLauncher launcher;
};

}  // namespace pradex
