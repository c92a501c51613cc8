// The adapter's side of its serial protocol in the normal state, one reader
// per serial interface: the byte 'v' asks for the firmware text; 'x'
// followed by a target byte T switches to the mass-storage state for SCSI
// target (T & 0x7F) - 0x30, writable when bit 7 of T is set. A target byte
// for a target outside 0..6 is taken and ignored; every other byte means
// nothing. The virtual adapter and the pseudo-terminal adapter of the
// end-to-end tests both read the wire through it. Its byte values are the
// adapter's own, not the tool's: a wrong byte in the tool must show.
#pragma once

#include <cstdint>

namespace Tolvane {
namespace Sim {

struct AdapterRequest {
    enum class EKind { kNone, kVersionQuery, kSwitch };
    EKind kind = EKind::kNone;
    int target = -1;  // kSwitch: 0..6
    bool writable = false;
};

class CAdapterLineReader {
public:
    static constexpr int kTargetCount = 7;

    // One received byte; what it completes, if anything.
    AdapterRequest Take(std::uint8_t byte);
    // Forgets a half-received switch command (the interface left the bus).
    void Reset() { m_awaitingTarget = false; }

private:
    bool m_awaitingTarget = false;
};

}  // namespace Sim
}  // namespace Tolvane
