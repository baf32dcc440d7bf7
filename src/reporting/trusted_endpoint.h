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

// The test for the post-status value the descriptor names, before it is
// stored for the package and before the report is posted to it, so that both
// agree. True when the whole value passes IsTrustedEndpoint and the URL proper
// (the text before the first ",", see SplitPostStatusUrl) is "http://" or
// "https://" (in any case) + a host that passes IsTrustedHost + optionally ":"
// and digits, ended by "/", "?", "#" or the URL's end, with no "@" and no "\\"
// before the first "/". So a user-info part, a backslash, or any character
// that is not a plain host character where the URL splitter looks for the
// host fails, whichever way a splitter would read it.
bool IsTrustedPostStatusUrl(const char* post_status_url);

}  // namespace kova
