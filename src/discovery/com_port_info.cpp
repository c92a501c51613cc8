#include "discovery/com_port_info.h"

namespace ZRK {

std::int32_t CComPortInfo::Compare(const CComPortInfo& other) const {
    return static_cast<std::int32_t>(m_wPort) - static_cast<std::int32_t>(other.m_wPort);
}

}  // namespace ZRK
