// The system as the Windows program uses it: one object of each Win32 adapter.
#pragma once

#include "discovery/monitor_port_resolver.h"
#include "platform/win32/shell_process_launcher.h"
#include "platform/win32/win32_device_io.h"
#include "platform/win32/win32_message_poster.h"
#include "platform/win32/win32_modern_ports.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_spooler.h"
#include "platform/win32/win32_string_resources.h"
#include "platform/win32/win32_version_info.h"
#include "platform/win32/wininet_http_client.h"
#include "search/search_platform.h"
#include "ui/browser_launch.h"

namespace pradex::win32 {

struct Win32Platform {
  Win32Spooler spooler;
  Win32Registry registry;
  Win32DeviceIo deviceIo;
  WinInetHttpClient http;
  // WSD and IPP ports: the APMON monitor's answers and the WSD device nodes.
  SpoolerXcvChannel xcv;
  Win32ModernPorts modernPorts{xcv};
  // The address behind each port: the TCP/IP monitors, IEEE 1394 devices, WSD and IPP ports.
  MonitorPortResolver ports{DiscoveryPlatform{spooler, registry, deviceIo, &modernPorts}};
  // The one poster of the program: the search engine's notifications and the window's own end
  // markers go through it into the window's queue.
  Win32MessagePoster poster;
  ShellProcessLauncher launcher;
  Win32VersionInfo versions;
  // The program's own string table.
  Win32StringResources strings;
  // The command registered for http links, started through the shell.
  RegisteredBrowserLauncher browser{registry, launcher};

  SearchPlatform Search() {
    return SearchPlatform{spooler, registry, http, poster, ports};
  }
};

}  // namespace pradex::win32
