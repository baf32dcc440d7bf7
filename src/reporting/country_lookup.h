// The client's country, as the vendor's country-lookup service sees it: an
// HTTP HEAD whose response carries the two letters in the header COUNTRY.
#pragma once

#include <cstddef>

#include "reporting/network_dialogs.h"

namespace kova {

constexpr size_t kCountryCodeSize = 3;  // two characters and the terminator
constexpr char kUnknownCountry[] = "YY";

// Sets country[kCountryCodeSize] to "YY" first, then, for a non-empty URL
// that passes both trust tests, asks the service. The COUNTRY header's value,
// in the case it came in, replaces it when the answer was a 200 whose header
// is exactly two ASCII letters (the value reaches the package through HKLM).
// dialogs: whether a proxy's 407 or a send error may ask the user.
void LookupCountry(const char* url, char* country, NetworkDialogs dialogs);

}  // namespace kova
