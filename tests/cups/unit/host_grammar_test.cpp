// One host grammar for both steps of a search on Linux: the address the device-URI parser
// finds behind a port is exactly what the URL-host check lets into a device URL.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/posix/device_uri.h"
#include "search/url_host.h"

namespace pradex {
namespace {

enum class Host { kRefused, kName, kIpv4, kIpv6, kZoneId };

TEST(HostGrammar, DeviceUriParserAndUrlHostCheckAgree) {
  const struct {
    const char* host;
    Host expected;
  } cases[] = {
      {"printer-7.local", Host::kName},
      {"brim_line.lan.", Host::kName},
      {"10.0.0.1.example", Host::kName},
      {"0x7f.example", Host::kName},
      {"127.0.2.25", Host::kIpv4},
      {"0.0.0.0", Host::kIpv4},
      {"[::1]", Host::kIpv6},
      {"[::ffff:127.0.0.1]", Host::kIpv6},
      {"[1:2:3:4:5:6:7::]", Host::kIpv6},
      {"[1:2:3:4:5:6:7:8]", Host::kIpv6},
      // A zone id is an address the parser finds, but no browser opens it as a link.
      {"[fe80::1%25eth0]", Host::kZoneId},
      // Numeric forms other than dotted decimal, which resolvers read as addresses.
      {"127.1", Host::kRefused},
      {"2130706433", Host::kRefused},
      {"0177.0.2.26", Host::kRefused},
      {"0x7f.0.2.25", Host::kRefused},
      {"0x0", Host::kRefused},
      {"127.0.0.1.", Host::kRefused},
      {"printer.0x1f", Host::kRefused},
      // Characters a host name cannot hold, and empty labels.
      {"a!b", Host::kRefused},
      {"a$b", Host::kRefused},
      {"a&b", Host::kRefused},
      {"a(b)", Host::kRefused},
      {"a*b", Host::kRefused},
      {"a+b", Host::kRefused},
      {"a,b", Host::kRefused},
      {"a;b", Host::kRefused},
      {"a=b", Host::kRefused},
      {"a%41b", Host::kRefused},
      {"a..b", Host::kRefused},
      {".a", Host::kRefused},
      // Bracketed text that is no IPv6 address.
      {"[:]", Host::kRefused},
      {"[::::]", Host::kRefused},
      {"[1::2::3]", Host::kRefused},
      {"[1:2:3:4:5:6:7:8:9]", Host::kRefused},
      {"[12345::1]", Host::kRefused},
      {"[::1.2.3]", Host::kRefused},
  };
  for (const auto& c : cases) {
    const std::string host = c.host;
    SCOPED_TRACE("host: " + host);
    const bool listed = c.expected != Host::kRefused && c.expected != Host::kZoneId;
    EXPECT_EQ(IsSafeUrlHost(host), listed);
    EXPECT_EQ(IsSafeUrlHost(host + ":8080"), listed);

    const std::optional<UriHost> parsed = ParseDeviceUriHost("socket://" + host + ":9100");
    if (c.expected == Host::kRefused) {
      EXPECT_FALSE(parsed.has_value()) << "parsed as " << parsed->host;
      continue;
    }
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->host, host) << "an accepted host is used as written";
    EXPECT_EQ(parsed->ipv4Literal, c.expected == Host::kIpv4);
  }
}

}  // namespace
}  // namespace pradex
