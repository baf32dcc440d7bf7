// What the update descriptor says: whether status reporting is on, where
// install-status reports go and where the country is looked up. Pure over a
// parsed markup tree and the user's language tag.
#pragma once

#include "product/process_state.h"
#include "descriptor/markup_reader.h"

namespace kova {

// Applies the descriptor whose first top-level node is `first_node` to the
// reporting flag, the post-status URL and the country-lookup URL of state.
//
// Nothing changes unless that node is an element named "kova-update". Its
// "information" children with version "1.0" and an xml:lang that is either
// the language tag or "en" are applied in document order, each over the one
// before; the first block in the user's own language ends the visit. Each
// applied block clears the reporting flag, sets it again with a post-status
// text other than "0", and copies the post-status and cntry-lookup texts it
// carries (at most 255 bytes each). Values a block lacks stay as they were.
void ApplyDescriptorTree(MarkupNode* first_node, const char* language_tag, ProcessState* state);


}  // namespace kova
