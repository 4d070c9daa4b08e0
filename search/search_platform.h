// What the search engine needs of the system.
#pragma once

#include "platform/device_io.h"
#include "platform/http_client.h"
#include "platform/message_poster.h"
#include "platform/modern_ports.h"
#include "platform/registry.h"
#include "platform/spooler.h"

namespace pradex {

struct SearchPlatform {
  Spooler& spooler;
  Registry& registry;  // monitor port keys, IEEE 1394 keys and the user's Internet settings
  DeviceIo& deviceIo;
  HttpClient& http;
  MessagePoster& poster;
  ModernPorts* modernPorts = nullptr;  // WSD and IPP ports, where the platform has them
};

}  // namespace pradex
