// What the search engine needs of the system.
#pragma once

#include "platform/http_client.h"
#include "platform/message_poster.h"
#include "platform/port_resolver.h"
#include "platform/registry.h"
#include "platform/spooler.h"

namespace pradex {

struct SearchPlatform {
  Spooler& spooler;
  Registry& registry;  // the user's Internet settings (the proxy bypass list)
  HttpClient& http;
  MessagePoster& poster;
  PortResolver& ports;  // the address behind each printer's port
};

}  // namespace pradex
