// The client facts gathered from Windows (client_facts_win32.cpp): the OS
// description and architecture, the previous runtime version and the visitor
// id, made by the portable rules of client_facts.h.
#pragma once

#include <cstdint>

#include "settings/client_facts.h"

namespace kova {

// The cached OS facts: computed on the first GetOsDescription of the process.
struct OsFacts {
  char os_name[kOsFactTextSize];
  int32_t service_pack;
  char architecture[kOsFactTextSize];
  bool ready;
};
OsFacts& ProcessOsFacts();
// Queries the system for the OS facts (no cache): version, service pack,
// native architecture.
void GatherOsFacts(OsFacts* facts);

// Writes the OS description and the architecture name, 20 bytes each, from
// the process's cached facts (gathered first when needed). Always true.
bool GetOsDescription(char* os_description, char* architecture);

// The greatest runtime version installed besides the own one, from the
// subkeys of HKLM SOFTWARE\KovaSoft\Kova Runtime Environment; into
// version[kRuntimeVersionNameSize]. False, with version untouched, when
// there is none or the key cannot be read.
bool FindPreviousRuntimeVersion(char* version);

// Fills id[size] with the stored visitor id when it is usable, otherwise
// with a new one that is then stored (without terminator) in the Policy key.
void GetVisitorId(char* id, uint32_t size);

}  // namespace kova
