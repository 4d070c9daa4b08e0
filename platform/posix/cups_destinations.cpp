#include "platform/posix/cups_destinations.h"

#include <cups/cups.h>

#include <algorithm>

namespace pradex {

namespace {

int AddDestination(void* user, unsigned flags, cups_dest_t* dest) {
  auto& list = *static_cast<std::vector<CupsDestination>*>(user);
  if ((flags & CUPS_DEST_FLAGS_REMOVED) != 0 || !dest || !dest->name || dest->instance) return 1;
  const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
  if (!uri || !*uri) return 1;
  const auto same = [dest](const CupsDestination& known) { return known.name == dest->name; };
  if (std::any_of(list.begin(), list.end(), same)) return 1;
  const char* model = cupsGetOption("printer-make-and-model", dest->num_options, dest->options);
  list.push_back({dest->name, model ? model : "", uri});
  return 1;
}

}  // namespace

std::vector<CupsDestination> ListDiscoveredDestinations(std::chrono::milliseconds timeout,
                                                        int* cancel) {
  std::vector<CupsDestination> list;
  // Only what DNS-SD brought: the installed queues come from the spooler itself.
  cupsEnumDests(CUPS_DEST_FLAGS_NONE, static_cast<int>(timeout.count()), cancel,
                CUPS_PRINTER_DISCOVERED, CUPS_PRINTER_DISCOVERED, AddDestination, &list);
  return list;
}

}  // namespace pradex
