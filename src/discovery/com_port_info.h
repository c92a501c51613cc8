// One COM port of a present device: its number, the device's description
// and manufacturer, and the USB vendor and product IDs of its hardware ID.
#pragma once

#include <cstdint>

#include "lib/collections.h"
#include "lib/text_string.h"
#include "platform/win_types.h"

namespace ZRK {

class CComPortInfo : public CComparable<CComPortInfo> {
public:
    CComPortInfo() = default;
    // Copies share the two texts.
    CComPortInfo(const CComPortInfo&) = default;
    CComPortInfo& operator=(const CComPortInfo&) = default;
    ~CComPortInfo() override = default;

    // Orders by port number: this port minus the other's (-65535..65535).
    std::int32_t Compare(const CComPortInfo& other) const override;

    WORD m_wPort = 0;
    CTextString m_strDescription;
    CTextString m_strManufacturer;
    WORD m_wVendorId = 0;
    WORD m_wProductId = 0;
};

}  // namespace ZRK
