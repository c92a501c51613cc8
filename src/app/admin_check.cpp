#include "app/admin_check.h"

#include "discovery/key_handle.h"
#include "discovery/registry_accessor.h"

namespace Tolvane {

namespace {

// The registry as the check's second accessor sees it, remembering how its
// last key open ended: only the reason tells a database key that does not
// exist from one that the user may not open.
class COpenResultRecorder final : public ZRK::CRegistryApi {
public:
    explicit COpenResultRecorder(ZRK::CRegistryApi& registry) : m_registry(registry) {}

    // ERROR_INVALID_HANDLE until an open is made.
    LONG LastOpenResult() const { return m_lLastOpen; }

    LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                       HKEY* result) override {
        m_lLastOpen = m_registry.RegOpenKeyExA(key, subKey, options, access, result);
        return m_lLastOpen;
    }
    LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                         REGSAM access, void* security, HKEY* result, DWORD* disposition) override {
        return m_registry.RegCreateKeyExA(key, subKey, reserved, className, options, access,
                                          security, result, disposition);
    }
    LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) override {
        return m_registry.RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
    }
    LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                       LPSTR className, DWORD* classSize, FILETIME* lastWrite) override {
        return m_registry.RegEnumKeyExA(key, index, name, nameSize, reserved, className, classSize,
                                        lastWrite);
    }
    LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataSize) override {
        return m_registry.RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize);
    }
    LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD dataSize) override {
        return m_registry.RegSetValueExA(key, valueName, reserved, type, data, dataSize);
    }
    LONG RegDeleteValueA(HKEY key, LPCSTR valueName) override {
        return m_registry.RegDeleteValueA(key, valueName);
    }
    LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) override {
        return m_registry.RegDeleteKeyA(key, subKey);
    }
    LONG RegFlushKey(HKEY key) override { return m_registry.RegFlushKey(key); }
    LONG RegCloseKey(HKEY key) override { return m_registry.RegCloseKey(key); }
    DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) override {
        return m_registry.ExpandEnvironmentStringsA(source, destination, size);
    }
    void SetLastError(DWORD code) override { m_registry.SetLastError(code); }
    DWORD GetLastError() override { return m_registry.GetLastError(); }

private:
    ZRK::CRegistryApi& m_registry;
    LONG m_lLastOpen = ERROR_INVALID_HANDLE;
};

}  // namespace

bool CheckAdministratorRights(ZRK::CRegistryApi& registry) {
    // Full access to this key takes administrator rights; the accessor
    // falls back to creating the key with the same rights, which fails the
    // same way. The handle outlives the first accessor.
    ZRK::CKeyHandle control;
    {
        ZRK::CRegistryAccessor machine(registry, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
        control = machine.GetSectionKey("SYSTEM\\CurrentControlSet\\Control");
    }
    COpenResultRecorder recorder(registry);
    ZRK::CRegistryAccessor accessor(recorder, control, KEY_ALL_ACCESS);
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
    return !control.IsEmpty() && recorder.LastOpenResult() == ERROR_FILE_NOT_FOUND;
}

}  // namespace Tolvane
