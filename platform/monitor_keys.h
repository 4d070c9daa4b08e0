// Where the TCP/IP port monitors keep the address of each port, below HKEY_LOCAL_MACHINE: the
// maker's own monitor first, then the system's.
#pragma once

namespace pradex {

inline constexpr const char* kMakerMonitorPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tamrin Standard TCP/IP Port\\Ports";
inline constexpr const char* kSystemMonitorPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

}  // namespace pradex
