// The administrator check of the dialog's start: full access to the key of
// the system's COM-port database, which takes administrator rights.
#pragma once

#include "platform/registry_api.h"

namespace Tolvane {

// Opens HKLM "SYSTEM\CurrentControlSet\Control" with KEY_ALL_ACCESS (or
// creates it with those rights when it cannot be opened) and reads its
// "COM Name Arbiter" value "ComDB" through a second accessor on that key.
// True when the database has data, when its key opened with full access
// although the value is missing or empty, or when its key does not exist
// (a PC on which no COM port was ever installed) and the Control key itself
// is held with full access. Access denied on either key, or any other
// failure to open them, gives false. Nothing is written; every key opened
// is closed again.
bool CheckAdministratorRights(ZRK::CRegistryApi& registry);

}  // namespace Tolvane
