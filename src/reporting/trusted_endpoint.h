// Which URLs the country lookup and the install-status report may talk to.
// The URLs come from the update descriptor, so both tests keep a descriptor
// from sending the client's data to anyone but the vendor. Pure functions.
#pragma once

namespace kova {

// The text test over the whole URL, case-sensitive, byte for byte: true when
// the URL holds a vendor web-host prefix anywhere, or when the text up to the
// first "/" after its first "." ends in "." + a vendor domain + "/", or in
// "." + a vendor domain + ":" + exactly four characters + "/".
bool IsTrustedEndpoint(const char* url);

// The test on the parts the URL splitter yields, i.e. the host the exchange
// really connects to: true when there is no user name and no password (null
// or empty), and the host is one of the vendor web hosts or ends in "." + a
// vendor domain, byte for byte, and holds only letters, digits, "-" and ".".
// A user-info part or a host that only a text test confuses with the vendor's
// fails here.
bool IsTrustedHost(const char* host, const char* user_name, const char* password);

}  // namespace kova
