// The address behind a port that neither TCP/IP port monitor keeps: a port named by its
// printer's URL, or a WSD or IPP port of the APMON port monitor.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/modern_ports.h"

namespace pradex {

// The host of an http, https, ipp or ipps URL (scheme in any case), ready to follow "http://".
// A loopback host keeps a port other than its scheme's default (a device server on this
// machine); every other host loses it, since the device page is on the HTTP port. Credentials
// are dropped. nullopt for other schemes, for hosts outside the one URL host grammar, and when
// an '@' follows a '?' or '#' ahead of the path: user info may hold them unescaped, so the
// host cannot be told.
std::optional<std::string> UrlAddress(std::string_view url);

// Whether a URL host (no port) is this computer itself: 127.0.0.0/8, ::1 (with or without a
// zone id, also IPv4-mapped) or "localhost".
bool IsLoopbackUrlHost(std::string_view host);

// The address of a WSD device from its node's PnP-X properties, the first of: the host of its
// PresentationUrl, its first IPv4 address, its first IPv6 address, the host of its first
// XAddrs URL; each only when usable: not loopback, not link-local, without a zone id. When
// none is, the PresentationUrl's host, else the first XAddrs URL's host, whatever they are
// (never an unusable address of the list); else nullopt.
std::optional<std::string> WsdDeviceAddress(const PnpxDevice& device);

// Resolves `portName` in this order, each step only when the one before gave nothing:
//   1. the port name itself as a URL (UrlAddress);
//   2. the APMON monitor's port information: the host of its DeviceOrServiceUrl;
//   3. for WSD ports (so told by the monitor, or named "WSD-..."), the monitor's DeviceID,
//      then the device node of that identity: its WsdDeviceAddress.
// True and `address`; or false and `problem`, why no address was found, worded for people
// ("" when nothing more can be said than that the port was not resolved).
bool ResolveModernPort(ModernPorts& ports, const std::string& portName, std::string& address,
                       std::string& problem);

}  // namespace pradex
