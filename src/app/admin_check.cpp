#include "app/admin_check.h"

#include "discovery/key_handle.h"
#include "discovery/registry_accessor.h"

namespace Tolvane {

bool CheckAdministratorRights(ZRK::CRegistryApi& registry) {
    // Full access to this key takes administrator rights; the accessor
    // falls back to creating the key with the same rights, which fails the
    // same way. The handle outlives the first accessor.
    ZRK::CKeyHandle control;
    {
        ZRK::CRegistryAccessor machine(registry, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
        control = machine.GetSectionKey("SYSTEM\\CurrentControlSet\\Control");
    }
    ZRK::CRegistryAccessor accessor(registry, control, KEY_ALL_ACCESS);
    const ZRK::CSection arbiter(&accessor, "COM Name Arbiter");
    if (arbiter.ReadBytes("ComDB").GetSize() != 0) {
        return true;
    }
    // The rights are proven by the access, not by the content: a PC on which
    // no COM port was ever installed has no database, and may not even have
    // its key; the check creates neither.
    if (!accessor.GetCurrentSectionKey().IsEmpty()) {
        return true;
    }
    return !control.IsEmpty() && accessor.GetLastOpenResult() == ERROR_FILE_NOT_FOUND;
}

}  // namespace Tolvane
