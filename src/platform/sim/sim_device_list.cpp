#include "platform/sim/sim_device_list.h"

#include <algorithm>
#include <cstring>

namespace Tolvane {
namespace Sim {

CSimDeviceList::DeviceId CSimDeviceList::AddDevice() {
    CDevice device;
    device.id = m_nextId++;
    m_devices.emplace(device.id, device);
    return device.id;
}

CSimDeviceList::DeviceId CSimDeviceList::AddDevice(const std::string& driverKey,
                                                   const std::string& description,
                                                   const std::string& manufacturer,
                                                   const std::vector<std::string>& hardwareIds) {
    const DeviceId id = AddDevice();
    if (!driverKey.empty()) {
        SetPropertyText(id, SPDRP_DRIVER, driverKey);
    }
    if (!description.empty()) {
        SetPropertyText(id, SPDRP_DEVICEDESC, description);
    }
    if (!manufacturer.empty()) {
        SetPropertyText(id, SPDRP_MFG, manufacturer);
    }
    if (!hardwareIds.empty()) {
        SetPropertyMultiText(id, SPDRP_HARDWAREID, hardwareIds);
    }
    return id;
}

bool CSimDeviceList::RemoveDevice(DeviceId id) {
    return m_devices.erase(id) == 1;
}

bool CSimDeviceList::SetPresent(DeviceId id, bool present) {
    CDevice* device = Find(id);
    if (device == nullptr) {
        return false;
    }
    device->present = present;
    return true;
}

bool CSimDeviceList::SetPropertyBytes(DeviceId id, DWORD property, const Bytes& bytes,
                                      DWORD regType) {
    CDevice* device = Find(id);
    if (device == nullptr) {
        return false;
    }
    CProperty& value = device->properties[property];
    value.regType = regType;
    value.bytes = bytes;
    return true;
}

bool CSimDeviceList::SetPropertyText(DeviceId id, DWORD property, const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return SetPropertyBytes(id, property, bytes, REG_SZ);
}

bool CSimDeviceList::SetPropertyMultiText(DeviceId id, DWORD property,
                                          const std::vector<std::string>& texts) {
    Bytes bytes;
    for (const std::string& text : texts) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
    }
    bytes.push_back(0);
    return SetPropertyBytes(id, property, bytes, REG_MULTI_SZ);
}

bool CSimDeviceList::FailProperty(DeviceId id, DWORD property, DWORD error) {
    CDevice* device = Find(id);
    if (device == nullptr) {
        return false;
    }
    device->failures[property] = error;
    return true;
}

void CSimDeviceList::FailEnumFrom(DWORD index, DWORD error) {
    m_bFailEnum = true;
    m_dwEnumFailIndex = index;
    m_dwEnumFailError = error;
}

HDEVINFO CSimDeviceList::SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR /*enumerator*/,
                                              HWND /*parent*/, DWORD flags) {
    ++m_counts.getClassDevs;
    m_dwLastFlags = flags;
    m_bLastHadGuid = classGuid != nullptr;
    if (m_bFailGetClassDevs) {
        m_dwLastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    // Class filtering is not modelled: a set holds every device (present
    // ones only when asked), so the callers must always ask for all classes.
    std::vector<DeviceId> members;
    for (const auto& entry : m_devices) {
        if (entry.second.present || (flags & DIGCF_PRESENT) == 0) {
            members.push_back(entry.first);
        }
    }
    m_nextSet += 16;
    HDEVINFO set = reinterpret_cast<HDEVINFO>(m_nextSet);
    m_sets.emplace(set, std::move(members));
    return set;
}

BOOL CSimDeviceList::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    ++m_counts.enumDeviceInfo;
    auto it = m_sets.find(set);
    if (it == m_sets.end()) {
        ++m_nUseOfClosedSet;
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Fail(kErrorInvalidUserBuffer);
    }
    if (m_bFailEnum && index >= m_dwEnumFailIndex) {
        return Fail(m_dwEnumFailError);
    }
    if (index >= it->second.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    std::memset(&data->ClassGuid, 0, sizeof data->ClassGuid);
    data->DevInst = it->second[index];
    data->Reserved = reinterpret_cast<ULONG_PTR>(set);
    return TRUE;
}

BOOL CSimDeviceList::SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                       DWORD property, DWORD* regType, BYTE* buffer,
                                                       DWORD bufferSize, DWORD* requiredSize) {
    ++m_counts.getProperty;
    auto it = m_sets.find(set);
    if (it == m_sets.end()) {
        ++m_nUseOfClosedSet;
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) ||
        !std::binary_search(it->second.begin(), it->second.end(), data->DevInst)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (buffer == nullptr && bufferSize != 0) {
        return Fail(kErrorInvalidUserBuffer);
    }
    const CDevice* device = Find(data->DevInst);
    if (device == nullptr) {
        return Fail(kErrorNoSuchDevInst);
    }
    auto failure = device->failures.find(property);
    if (failure != device->failures.end()) {
        return Fail(failure->second);
    }
    auto value = device->properties.find(property);
    if (value == device->properties.end()) {
        return Fail(kErrorInvalidData);
    }
    const DWORD size = static_cast<DWORD>(value->second.bytes.size());
    if (requiredSize != nullptr) {
        *requiredSize = size;
    }
    if (regType != nullptr) {
        *regType = value->second.regType;
    }
    if (size > bufferSize) {
        // The buffer is left as it was: a caller that reads it anyway sees
        // the previous call's bytes, as it would on Windows.
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (size != 0) {
        std::memcpy(buffer, value->second.bytes.data(), size);
    }
    return TRUE;
}

BOOL CSimDeviceList::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    ++m_counts.destroyList;
    if (m_sets.erase(set) == 0) {
        ++m_nBadDestroys;
        return Fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

CSimDeviceList::CDevice* CSimDeviceList::Find(DeviceId id) {
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : &it->second;
}

const CSimDeviceList::CDevice* CSimDeviceList::Find(DeviceId id) const {
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : &it->second;
}

BOOL CSimDeviceList::Fail(DWORD error) {
    m_dwLastError = error;
    return FALSE;
}

}  // namespace Sim
}  // namespace Tolvane
