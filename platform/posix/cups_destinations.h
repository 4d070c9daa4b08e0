// The network printers a Linux print dialog offers without an installed queue: CUPS' own
// destination list, which adds the IPP printers that DNS-SD announces.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

namespace pradex {

struct CupsDestination {
  std::string name;          // as the print dialog shows it ("Tamrin_BrimLine_410")
  std::string makeAndModel;  // printer-make-and-model, "" when not announced
  std::string deviceUri;     // "ipp://Tamrin%20BrimLine%20410._ipp._tcp.local/"
};

// The discovered destinations of cupsEnumDests (installed queues left out), each name once, in
// the order they came. Browsing ends once the announcements have settled, at the latest after
// `timeout`. Empty when there is no DNS-SD daemon or no such printer.
//
// cupsEnumDests also asks the local cupsd and avahi-daemon, and either may stall it far beyond
// `timeout`. It therefore runs on a thread of its own: the call returns its list, or an empty
// one at `timeout` (and a moment) or as soon as `stop` is requested, and then leaves the thread
// behind, told to give up, to end by itself.
std::vector<CupsDestination> ListDiscoveredDestinations(std::chrono::milliseconds timeout,
                                                        std::stop_token stop);

}  // namespace pradex
