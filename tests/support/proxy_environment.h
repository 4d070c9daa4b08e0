// The proxy variables of whoever runs the tests must not reroute loopback requests.
#pragma once

#include <stdlib.h>

namespace pradex::testsupport {

inline void ClearProxyEnvironment() {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                           "ALL_PROXY", "no_proxy", "NO_PROXY"})
    unsetenv(name);
}

}  // namespace pradex::testsupport
