// The five characters XML writes as entities, for the report writer that
// escapes them and the descriptor reader that decodes them: one table, so the
// two always agree.
#pragma once

namespace kova {

// Each row: the character, then its entity, ended by a NUL; an empty row ends
// the table. No entity starts another, so a reader may try them in any order.
constexpr const char* kXmlEntities = "&&amp;\0<&lt;\0>&gt;\0\"&quot;\0'&apos;\0";

}  // namespace kova
