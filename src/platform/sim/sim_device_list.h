// The virtual PC's device manager: the list of devices that SetupAPI would
// report, with their properties held as raw bytes so that a test can store
// exactly what a misbehaving driver might (a text without its terminating
// zero, a hardware-ID list longer than any caller's buffer).
//
// Behaves like SetupAPI where callers depend on it: a device information
// set is a snapshot of the devices at the moment it was made, a property
// read into a buffer that is too small fails with ERROR_INSUFFICIENT_BUFFER
// and reports the size it needs, a missing property fails with
// ERROR_INVALID_DATA, and a set that is destroyed twice is refused. On top
// of that it counts calls, keeps track of every set still open, and lets a
// test make single calls fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/device_list_api.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Sim {

class CSimDeviceList : public ZRK::CDeviceListApi {
public:
    using DeviceId = DWORD;
    using Bytes = std::vector<BYTE>;

    // Error codes that SetupAPI reports and the portable headers do not name.
    static constexpr DWORD kErrorInvalidData = 13;          // property not set
    static constexpr DWORD kErrorInvalidUserBuffer = 1784;  // wrong cbSize
    static constexpr DWORD kErrorNoSuchDevInst = 0xE000020Bu;

    struct CCallCounts {
        std::size_t getClassDevs = 0;
        std::size_t enumDeviceInfo = 0;
        std::size_t getProperty = 0;
        std::size_t destroyList = 0;
    };

    CSimDeviceList() = default;
    CSimDeviceList(const CSimDeviceList&) = delete;
    CSimDeviceList& operator=(const CSimDeviceList&) = delete;

    // --- The machine's side: plugging and unplugging -----------------------

    // A present device with no properties; returns its id (never 0).
    DeviceId AddDevice();
    // A present device with the usual properties of a serial interface. An
    // empty text leaves that property unset; the hardware IDs are stored as
    // one multi-string (each ID with its zero, then the closing zero).
    DeviceId AddDevice(const std::string& driverKey, const std::string& description,
                       const std::string& manufacturer,
                       const std::vector<std::string>& hardwareIds);
    // Takes the device out of the machine entirely; false for an unknown id.
    // Sets made before keep listing it, but its properties can no longer be
    // read from them (as with a device node that has gone).
    bool RemoveDevice(DeviceId id);
    // Unplugs (false) or replugs (true) a device: an unplugged device stays
    // known but is left out of sets made with DIGCF_PRESENT.
    bool SetPresent(DeviceId id, bool present);

    // Property bytes exactly as given (no zero is added).
    bool SetPropertyBytes(DeviceId id, DWORD property, const Bytes& bytes, DWORD regType);
    // A text with its terminating zero, as REG_SZ.
    bool SetPropertyText(DeviceId id, DWORD property, const std::string& text);
    // A REG_MULTI_SZ list: every text with its zero, then one closing zero.
    bool SetPropertyMultiText(DeviceId id, DWORD property, const std::vector<std::string>& texts);

    // --- Failure injection -------------------------------------------------

    // Every read of this property of this device fails with the error code.
    bool FailProperty(DeviceId id, DWORD property, DWORD error);
    // SetupDiGetClassDevsA returns INVALID_HANDLE_VALUE (and sets no set up).
    void FailGetClassDevs(bool fail) { m_bFailGetClassDevs = fail; }
    // SetupDiEnumDeviceInfo fails with the error for every index >= index.
    void FailEnumFrom(DWORD index, DWORD error);
    void HealEnum() { m_bFailEnum = false; }

    // --- What the program did ----------------------------------------------

    const CCallCounts& Counts() const { return m_counts; }
    void ResetCounts() { m_counts = CCallCounts(); }
    // Sets made and not yet destroyed.
    std::size_t OpenSetCount() const { return m_sets.size(); }
    // Destroy calls with a handle that was not open (destroyed twice, never
    // made, or INVALID_HANDLE_VALUE from a failed SetupDiGetClassDevsA).
    std::size_t BadDestroyCount() const { return m_nBadDestroys; }
    // Calls that used a set after it had been destroyed or never made.
    std::size_t UseOfClosedSetCount() const { return m_nUseOfClosedSet; }
    DWORD LastClassDevsFlags() const { return m_dwLastFlags; }
    bool LastClassDevsHadGuid() const { return m_bLastHadGuid; }
    // The error code of the last failed call (SetupAPI's thread error).
    DWORD GetLastError() const { return m_dwLastError; }

    // --- ZRK::CDeviceListApi -------------------------------------------------

    HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent,
                                  DWORD flags) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) override;
    BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                           DWORD* regType, BYTE* buffer, DWORD bufferSize,
                                           DWORD* requiredSize) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;

private:
    struct CProperty {
        DWORD regType = REG_SZ;
        Bytes bytes;
    };
    struct CDevice {
        DeviceId id = 0;
        bool present = true;
        std::map<DWORD, CProperty> properties;
        std::map<DWORD, DWORD> failures;
    };

    CDevice* Find(DeviceId id);
    const CDevice* Find(DeviceId id) const;
    BOOL Fail(DWORD error);

    // Ids only grow and new devices enumerate last, so id order is the
    // enumeration order; a set's members stay sorted for the same reason.
    std::map<DeviceId, CDevice> m_devices;
    DeviceId m_nextId = 1;
    std::map<HDEVINFO, std::vector<DeviceId>> m_sets;
    std::uintptr_t m_nextSet = 0x5E70000;
    CCallCounts m_counts;
    std::size_t m_nBadDestroys = 0;
    std::size_t m_nUseOfClosedSet = 0;
    DWORD m_dwLastFlags = 0;
    bool m_bLastHadGuid = false;
    bool m_bFailGetClassDevs = false;
    bool m_bFailEnum = false;
    DWORD m_dwEnumFailIndex = 0;
    DWORD m_dwEnumFailError = 0;
    DWORD m_dwLastError = 0;
};

}  // namespace Sim
}  // namespace Tolvane
