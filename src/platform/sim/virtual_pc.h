// The virtual PC: a Windows machine as far as the tool can tell, with the
// virtual adapter plugged in. It runs the demo mode (in real time) and the
// end-to-end tests (in virtual time, where a Sleep only moves the clock).
//
// What it holds:
// - a registry with the COM-port database (Control\COM Name Arbiter\ComDB)
//   and an Enum tree: the built-in COM1 (ACPI\PNP0501), a printer port, a
//   stale entry on COM7 left by an earlier plug-in of the adapter in another
//   socket (in the registry with its port name, never present), and the
//   adapter's own entries;
// - the present-device list, joined to the registry by driver key;
// - the COM devices and the physical drives: PhysicalDrive0 is the system
//   disk, which refuses the adapter's return opcode 0xFF; PhysicalDrive1 an
//   optional data disk that takes any CDB; the adapter's drive comes next;
// - the clock, and the adapter (see virtual_adapter.h).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modes/operation_host.h"
#include "platform/sim/sim_device_list.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_serial.h"
#include "platform/sim/virtual_adapter.h"
#include "platform/sim/virtual_clock.h"

namespace Tolvane {
namespace Sim {

struct VirtualPcConfig {
    AdapterConfig adapter;
    // Sleep really waits (the demo); otherwise it only moves the clock.
    bool realTime = false;
    // PhysicalDrive1, a second fixed disk that takes every CDB without
    // complaint (as some USB bridges do).
    bool dataDisk = true;
    // false: the machine's registry keys deny what only administrators may
    // do, so "SYSTEM\CurrentControlSet\Control" does not open with
    // KEY_ALL_ACCESS. Reading (the finder) still works.
    bool administrator = true;
    // false: no physical drive opens (ERROR_ACCESS_DENIED).
    bool driveAccess = true;
    // A drive number whose pass-through call blocks for the request's own
    // time-out (60 s of clock time) and then fails; -1 for none. It holds for
    // the adapter's drive too when it arrives at that number.
    int stallingDrive = -1;
};

class CVirtualPC : public COperationHost {
public:
    using Millis = CVirtualClock::Millis;
    using Bytes = std::vector<std::uint8_t>;

    static constexpr WORD kBuiltInPort = 1;
    static constexpr WORD kStalePort = 7;
    static constexpr int kSystemDrive = 0;
    static constexpr int kDataDrive = 1;
    static constexpr std::size_t kComDbBytes = 32;  // one bit per COM number 1..256

    explicit CVirtualPC(VirtualPcConfig config = {});
    ~CVirtualPC() override;
    CVirtualPC(const CVirtualPC&) = delete;
    CVirtualPC& operator=(const CVirtualPC&) = delete;

    // --- COperationHost ----------------------------------------------------
    // The tool's own finder over this machine's registry and device list.
    ZRK::CSharedArray<WORD> FindUsbComPorts(WORD vendorId, WORD productId) override;
    CSimSerial& Serial() override { return m_serial; }
    CSimDisks& RawDisk() override { return m_disks; }
    // Virtual time: moves the clock. Real time: waits, then moves the clock
    // by at least the same amount and up to the real time passed since the
    // PC was made, so that what fell due meanwhile has happened.
    void Sleep(DWORD milliseconds) override;
    // The tool's administrator check on this machine's registry.
    bool HasAdministratorRights() override;

    // Real time only: lets the clock catch up with the real time passed (for
    // a front-end that idles between operations). Does nothing in virtual
    // time.
    void CatchUp();

    // --- The parts -----------------------------------------------------------
    const VirtualPcConfig& Config() const { return m_config; }
    CVirtualClock& Clock() { return m_clock; }
    CSimRegistry& Registry() { return m_registry; }
    CSimDeviceList& Devices() { return m_devices; }
    CVirtualAdapter& Adapter() { return *m_adapter; }
    const CVirtualAdapter& Adapter() const { return *m_adapter; }

    // --- What happened ---------------------------------------------------------
    EAdapterState AdapterState() const { return m_adapter->State(); }
    const Bytes& BytesReceived(WORD port) const { return m_adapter->BytesReceived(port); }

    // One line per kind of handle left open or released wrongly, with the
    // registry keys by name; empty when everything was released properly.
    std::string LeakReport() const;
    bool AllReleased() const { return LeakReport().empty(); }

    // A short status line for the demo (ASCII, so the same bytes in UTF-8
    // and code page 932): clock time and what the adapter is doing.
    std::string Describe(ELanguage language) const;

protected:
    // The real wait and the real time, for the real-time mode.
    virtual void RealSleep(DWORD milliseconds);
    virtual Millis RealElapsedMs() const;

private:
    void BuildRegistry();
    void BuildDeviceList();
    void BuildDrives();
    void ApplyDriveRules(int number, CSimDrive& drive) const;
    void AdvanceTo(Millis target);

    VirtualPcConfig m_config;
    CVirtualClock m_clock;
    CSimRegistry m_registry;
    CSimDeviceList m_devices;
    CSimSerial m_serial;
    CSimDisks m_disks;
    std::unique_ptr<CVirtualAdapter> m_adapter;  // last: it plugs into the others
    std::chrono::steady_clock::time_point m_realStart;
};

}  // namespace Sim
}  // namespace Tolvane
