// The administrator check of the dialog's start: full access to the key of
// the system's COM-port database, proven by reading the database itself.
#pragma once

#include "platform/registry_api.h"

namespace Tolvane {

// True when HKLM "SYSTEM\CurrentControlSet\Control" opens with
// KEY_ALL_ACCESS and its "COM Name Arbiter" value "ComDB" reads as at least
// one byte. Nothing is written; every key opened is closed again.
bool CheckAdministratorRights(ZRK::CRegistryApi& registry);

}  // namespace Tolvane
