// The update descriptor fetch: one HTTP GET of the descriptor URL, and the
// interpretation of its body into the process state.
#pragma once

#include <cstddef>

#include "product/process_state.h"

namespace kova {

constexpr size_t kDescriptorUrlSize = 1024;
constexpr size_t kDescriptorResponseSize = 10240;  // one read; at most 10239 bytes interpreted

// Empties state's post-status and country-lookup URLs, then GETs the
// descriptor named by the vendor key's InstallerXmlURL (the built-in URL when
// there is none, or it is empty or too long). True when the server
// answered 200, whether or not a body could be read, and applies a non-empty
// body with state's language tag to its reporting flag and URLs; false when
// no request could be made or sent, or the status was anything else.
bool FetchUpdateDescriptor(ProcessState* state);

// Parses a response body and applies it with state's language tag to state.
void ApplyUpdateDescriptor(const char* text, ProcessState* state);

}  // namespace kova
