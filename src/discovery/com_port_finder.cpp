#include "discovery/com_port_finder.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "lib/nls.h"

namespace ZRK {

namespace {

const char kEnumPath[] = "SYSTEM\\CurrentControlSet\\Enum";
const char kDeviceParameters[] = "Device Parameters";
const char kPortName[] = "PortName";
const char kDriver[] = "Driver";
const REGSAM kFinderAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

// strtol as on the 32-bit target, whatever the width of long here: values
// beyond the 32-bit range saturate, so that the low 16 bits taken from them
// are the same everywhere.
std::int32_t ParseLong32(const char* psz, int nBase) {
    const long long n = std::strtoll(psz, nullptr, nBase);
    if (n > INT32_MAX) {
        return INT32_MAX;
    }
    if (n < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(n);
}

WORD Low16(std::int32_t n) {
    return static_cast<WORD>(static_cast<std::uint32_t>(n) & 0xFFFFu);
}

// The number written in at most 4 characters after the first occurrence of
// the pattern (base 16), 0 when the pattern does not occur.
WORD ParseIdAfter(const CTextString& strId, const char* pszPattern) {
    const int nPos = strId.Find(pszPattern);
    if (nPos < 0) {
        return 0;
    }
    const CTextString strDigits = strId.Mid(static_cast<std::uint32_t>(nPos) + 4, 4);
    return Low16(ParseLong32(strDigits.GetString(), 16));
}

// One device information set, destroyed on every way out of the device
// pass (the port lookup may throw).
class CDeviceSet {
public:
    CDeviceSet(CDeviceListApi& api, HDEVINFO hSet) : m_api(api), m_hSet(hSet) {}
    ~CDeviceSet() {
        if (IsValid()) {
            m_api.SetupDiDestroyDeviceInfoList(m_hSet);
        }
    }
    CDeviceSet(const CDeviceSet&) = delete;
    CDeviceSet& operator=(const CDeviceSet&) = delete;

    bool IsValid() const { return m_hSet != nullptr && m_hSet != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return m_hSet; }

private:
    CDeviceListApi& m_api;
    HDEVINFO m_hSet;
};

// The one buffer that every property read of a device pass goes into. It
// has a byte more than the size given to the call, and after each read the
// byte behind the data that was returned is set to zero: a property that
// fills the buffer without a terminating zero is then still read as a text
// of its own length, never past it.
class CPropertyReader {
public:
    CPropertyReader(CDeviceListApi& api, HDEVINFO hSet) : m_api(api), m_hSet(hSet) {}

    // True when the property was read; Text() then holds it up to its first
    // zero byte. A property longer than the buffer counts as unavailable.
    bool Read(SP_DEVINFO_DATA* pData, DWORD dwProperty) {
        DWORD dwReturned = CComPortFinder::kPropertyBufferSize;
        if (!m_api.SetupDiGetDeviceRegistryPropertyA(m_hSet, pData, dwProperty, nullptr, m_abBuffer,
                                                     CComPortFinder::kPropertyBufferSize,
                                                     &dwReturned)) {
            return false;
        }
        m_abBuffer[std::min(dwReturned, CComPortFinder::kPropertyBufferSize)] = 0;
        return true;
    }
    const char* Text() const { return reinterpret_cast<const char*>(m_abBuffer); }

private:
    CDeviceListApi& m_api;
    HDEVINFO m_hSet;
    BYTE m_abBuffer[CComPortFinder::kPropertyBufferSize + 1] = {};
};

}  // namespace

CSharedArray<CComPortInfo> CComPortFinder::Collect(const CSection& key) {
    m_aDriverKeys.RemoveAll();
    m_aPortNumbers.RemoveAll();
    m_nDepth = 0;
    Walk(CSection(key));

    CSharedArray<CComPortInfo> aResult;
    if (m_aDriverKeys.GetSize() != 0) {
        // A failed call gives INVALID_HANDLE_VALUE, which lists nothing and
        // is not a set to destroy.
        CDeviceSet set(m_devices, m_devices.SetupDiGetClassDevsA(nullptr, nullptr, nullptr,
                                                                 DIGCF_PRESENT | DIGCF_ALLCLASSES));
        CPropertyReader reader(m_devices, set.Get());
        const CComparator<CTextString>& textComparator = GetDefaultComparator<CTextString>();
        for (DWORD dwIndex = 0; set.IsValid(); ++dwIndex) {
            SP_DEVINFO_DATA data = {};
            data.cbSize = sizeof data;
            if (!m_devices.SetupDiEnumDeviceInfo(set.Get(), dwIndex, &data)) {
                break;
            }
            if (!reader.Read(&data, SPDRP_DRIVER)) {
                continue;
            }
            const CTextString strDriver(reader.Text());
            // An empty driver key names no device: joining on it would pair
            // a port of one driverless instance with some other device.
            if (strDriver.IsEmpty()) {
                continue;
            }
            const int i = IndexOf<CTextString>(&m_aDriverKeys, strDriver, textComparator, 0);
            if (i < 0) {
                continue;
            }
            CComPortInfo info;
            if (reader.Read(&data, SPDRP_DEVICEDESC)) {
                info.m_strDescription = reader.Text();
            }
            if (reader.Read(&data, SPDRP_MFG)) {
                info.m_strManufacturer = reader.Text();
            }
            // Only the first ID of the list counts: the text ends at its zero.
            if (reader.Read(&data, SPDRP_HARDWAREID)) {
                const CTextString strId = ToLowerLocale(reader.Text());
                info.m_wVendorId = ParseIdAfter(strId, "vid_");
                info.m_wProductId = ParseIdAfter(strId, "pid_");
            }
            info.m_wPort = m_aPortNumbers.At(static_cast<std::uint32_t>(i));
            aResult.Add(info);
        }
    }
    aResult.Sort(GetDefaultComparator<CComPortInfo>(), false, false);
    return aResult;
}

std::int32_t CComPortFinder::OnFoundKey(const CTextString& strName, const CSection& key,
                                        std::int32_t /*nDepth*/) {
    if (CompareLocale(strName, kDeviceParameters) != 0) {
        return Descend;
    }
    CAbstractAccessor* pAccessor = key.GetAccessor();
    if (pAccessor->GetValueType(key.GetSection(), kPortName) == kValueNone) {
        return Descend;
    }
    const CTextString strPortName = key.ReadText(kPortName, "");
    if (strPortName.Find("COM") != 0) {
        return SkipSiblings;
    }
    const std::int32_t n =
        strPortName.GetLength() <= 3 ? 0 : ParseLong32(strPortName.GetString() + 3, 10);
    m_aPortNumbers.Add(Low16(n));

    CTextString strInstance = key.GetSection();
    const int nSlash = strInstance.ReverseFind('\\');
    if (nSlash >= 0) {
        strInstance = strInstance.Left(static_cast<std::uint32_t>(nSlash));
    }
    m_aDriverKeys.Add(CSection(pAccessor, strInstance).ReadText(kDriver, ""));
    return SkipSiblings;
}

CSharedArray<CComPortInfo> EnumComPorts(const CDiscoveryApis& apis) {
    CComPortFinder finder(apis.devices);
    CRegistryAccessor accessor(apis.registry, HKEY_LOCAL_MACHINE, kFinderAccess);
    const CSection section(&accessor, kEnumPath);
    return finder.Collect(section);
}

CSharedArray<WORD> FindUsbComPorts(const CDiscoveryApis& apis, WORD wVendorId, WORD wProductId) {
    const CSharedArray<CComPortInfo> aRecords = EnumComPorts(apis);
    CSharedArray<WORD> aNumbers;
    for (std::uint32_t i = 0; i < aRecords.GetSize(); ++i) {
        const CComPortInfo& info = aRecords.At(i);
        if (info.m_wVendorId == wVendorId && info.m_wProductId == wProductId) {
            aNumbers.Add(info.m_wPort);
        }
    }
    aNumbers.Sort(GetDefaultComparator<WORD>(), false, false);
    return aNumbers;
}

CTextString MapStringLocale(const char* pszText, DWORD dwFlags) {
#ifdef _WIN32
    const std::uint32_t nLength = StrLen(pszText);
    const std::size_t nSize = 2 * static_cast<std::size_t>(nLength) + 2;
    std::vector<char> buffer(nSize + 1, '\0');
    const int r = LCMapStringA(GetUserDefaultLCID(), dwFlags, pszText != nullptr ? pszText : "", -1,
                               buffer.data(), static_cast<int>(nSize));
    if (r <= 0) {
        return CTextString();
    }
    return CTextString(buffer.data());
#else
    if (dwFlags != LCMAP_LOWERCASE) {
        return CTextString();
    }
    return LowerCaseLocale(pszText);
#endif
}

CTextString ToLowerLocale(const char* pszText) {
    return MapStringLocale(pszText, LCMAP_LOWERCASE);
}

}  // namespace ZRK
