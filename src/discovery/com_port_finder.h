// Which COM port numbers belong to present USB serial devices of a given
// vendor and product ID.
//
// Two sources are joined by the device's driver key: the registry device
// tree (every device instance whose "Device Parameters" key holds a
// "PortName" of COMn gives the pair n / its "Driver" value, present or not)
// and the list of present devices (whose SPDRP_DRIVER property is that
// driver key). Nothing is cached: every call walks the tree and lists the
// devices again, so a device plugged in or out between two calls is seen.
#pragma once

#include <cstdint>

#include "discovery/com_port_info.h"
#include "discovery/registry_accessor.h"
#include "discovery/registry_tree_walker.h"
#include "lib/collections.h"
#include "lib/exceptions.h"
#include "lib/sync.h"
#include "lib/text_string.h"
#include "platform/device_list_api.h"
#include "platform/registry_api.h"
#include "platform/win_types.h"

namespace ZRK {

// The two platform services the finder reads from.
struct CDiscoveryApis {
    CRegistryApi& registry;
    CDeviceListApi& devices;
};

// Registry walker that gathers (port number, driver key) pairs, then turns
// those whose device is present into port records.
class CComPortFinder : public CRegistryTreeWalker {
public:
    // Property reads go into one buffer of this many bytes; a property that
    // does not fit is taken as unavailable.
    static constexpr DWORD kPropertyBufferSize = 200;

    explicit CComPortFinder(CDeviceListApi& devices) : m_devices(devices) {}

    // Walks the device tree below key and returns one record per present
    // device that owns a COM port, in ascending port order (records with the
    // same port in no particular order). Both lists are emptied first. The
    // device list is not asked at all when the tree held no port.
    CSharedArray<CComPortInfo> Collect(const CSection& key);

    // Recognises "Device Parameters" keys (exact letter case) that hold a
    // "PortName": COMn records n (low 16 bits; "COM" alone and a name
    // without digits give 0) with the owning instance's "Driver" value.
    // Any port name ends the walk of that instance's remaining sub-keys; a
    // "Device Parameters" key without "PortName" is walked into.
    std::int32_t OnFoundKey(const CTextString& strName, const CSection& key,
                            std::int32_t nDepth) override;

    // The pairs of the last walk, in the order found; entry i of both lists
    // comes from the same "Device Parameters" key.
    const CSharedArray<WORD>& GetPortNumbers() const noexcept { return m_aPortNumbers; }
    const CSharedArray<CTextString>& GetDriverKeys() const noexcept { return m_aDriverKeys; }

protected:
    CSharedArray<WORD> m_aPortNumbers;
    CSharedArray<CTextString> m_aDriverKeys;

private:
    CDeviceListApi& m_devices;
};

// Every present device that owns a COM port, in ascending port order.
CSharedArray<CComPortInfo> EnumComPorts(const CDiscoveryApis& apis);

// The COM port numbers of the present devices whose first hardware ID
// carries these USB IDs, ascending; a number appears once per device, so
// two devices on one port give it twice. Empty when none is present or the
// device tree cannot be read.
CSharedArray<WORD> FindUsbComPorts(const CDiscoveryApis& apis, WORD wVendorId, WORD wProductId);

// First index at or after nStart whose element the comparator finds equal
// to key, or -1. The collection is locked for the search; a null
// collection throws CNullPointerException.
template <typename T>
int IndexOf(const CReadCollection<T>* pCollection, const T& key, const CComparator<T>& comparator,
            std::uint32_t nStart = 0) {
    if (pCollection == nullptr) {
        throw CNullPointerException(0);
    }
    CLockGuard guard(const_cast<CReadCollection<T>*>(pCollection));
    for (std::uint32_t i = nStart; i < pCollection->GetSize(); ++i) {
        if (comparator.IsEqual(pCollection->At(i), key)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The text mapped by the user's locale with LCMapStringA flags; the empty
// text when the mapping fails. Off Windows only LCMAP_LOWERCASE is
// available; any other flags fail.
CTextString MapStringLocale(const char* pszText, DWORD dwFlags);
// Lower-case copy under the user's locale; empty on failure.
CTextString ToLowerLocale(const char* pszText);

}  // namespace ZRK
