#include "platform/sim/adapter_protocol.h"

namespace Tolvane {
namespace Sim {

namespace {

constexpr std::uint8_t kVersionQuery = 0x76;   // 'v'
constexpr std::uint8_t kSwitchCommand = 0x78;  // 'x'
constexpr std::uint8_t kTargetBase = 0x30;     // '0'
constexpr std::uint8_t kWritableBit = 0x80;

}  // namespace

AdapterRequest CAdapterLineReader::Take(std::uint8_t byte) {
    AdapterRequest request;
    if (m_awaitingTarget) {
        m_awaitingTarget = false;
        const int target = (byte & ~kWritableBit) - kTargetBase;
        if (target >= 0 && target < kTargetCount) {
            request.kind = AdapterRequest::EKind::kSwitch;
            request.target = target;
            request.writable = (byte & kWritableBit) != 0;
        }
    } else if (byte == kSwitchCommand) {
        m_awaitingTarget = true;
    } else if (byte == kVersionQuery) {
        request.kind = AdapterRequest::EKind::kVersionQuery;
    }
    return request;
}

}  // namespace Sim
}  // namespace Tolvane
