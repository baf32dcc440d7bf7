// The vendor's web endpoints, all in one place: the built-in descriptor URL,
// the hosts and domains the trusted-endpoint test accepts, and the metrics
// service the install-status report writes to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// Fetched when the vendor key names no InstallerXmlURL. A text, not an array:
// the product pads a named array of 32 bytes or more to a 32-byte boundary.
constexpr const char* kDefaultDescriptorUrl =
    "http://update.kova.com/update/1.6.0/1.6.0_07-b06.xml";

// A URL holding one of these anywhere passes the first trust gate; the host
// part of each (between "http://" and the last "/") is also a trusted host.
constexpr size_t kVendorWebHostPrefixCount = 3;
constexpr const char* const kVendorWebHostPrefixes[kVendorWebHostPrefixCount] = {
    "http://kova.com/",
    "http://www.kova.com/",
    "http://www.kovasoft.com/",
};

// Hosts below these domains (never the bare domain) are trusted.
constexpr const char kPrimaryVendorDomain[] = "kovasoft.com";
constexpr const char kSecondVendorDomain[] = "kova.com";

// The production metrics service of the install-status report, and its
// token, written with "%x".
constexpr const char kMetricsPrefix[] = "https://metrics.kovasoft.com";
constexpr uint32_t kMetricsToken = 0x6b6f7661u;

}  // namespace kova
