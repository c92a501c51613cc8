// The virtual adapter: the USB SCSI adapter as the PC sees it, plugged into
// the virtual PC's registry, device list, COM devices and physical drives.
//
// In its normal state it shows one CDC serial interface per configured COM
// number (MI_00, MI_02, ... of VID_04D8&PID_E6B2). On any of them it reads
// the wire as adapter_protocol.h says: it answers the version query with its
// firmware text, and on a switch command it leaves the bus after the switch
// delay and comes back as one new physical drive that shows the command's
// SCSI target, read-only or writable. As a drive it leaves the
// bus on the 16-byte CDB FF 00 .. 00 and comes back with its COM ports after
// the return delay; other CDBs are taken and change nothing.
//
// Leaving the bus does what Windows does: the COM devices vanish (an open
// handle fails from then on, and reopening it later gives a new device), the
// device-list entries stop being present, and the registry's Enum entries
// stay where they are.
//
// Each SCSI target 0..6 has fixed contents (TargetContents). A target marked
// as without disk still switches: the adapter then shows a drive without a
// medium, that is with no contents, which opens and takes the return CDB
// like any other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/adapter_protocol.h"
#include "platform/sim/sim_device_list.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_serial.h"
#include "platform/sim/virtual_clock.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Sim {

enum class EAdapterState {
    kNormal,       // on the bus as its COM ports
    kSwitching,    // switch command taken, still on the bus as COM ports
    kMassStorage,  // on the bus as one physical drive
    kReturning,    // return command taken, off the bus, coming back as COM ports
    kDetached,     // off the bus and not coming back (unplugged, or a lost return)
};

struct AdapterConfig {
    using Millis = CVirtualClock::Millis;
    // A delay that never ends: the switch or the return does not happen.
    static constexpr Millis kNever = ~Millis{0};

    // One CDC interface per number, in interface order (MI_00, MI_02, ...).
    // Two is healthy; one or three are faults the finder must count right.
    std::vector<WORD> portNumbers{3, 4};
    // The bytes answered to 'v', sent as they are (a NUL, extra bytes,
    // garbage). Empty: no reply at all.
    std::string firmwareReply = "v0.40";
    // Time from the 'v' to the reply's arrival at the PC.
    Millis replyDelayMs = 1;
    // Time from the target byte to leaving the bus (kNever: stays normal).
    Millis switchDelayMs = 300;
    // Time from the return CDB to the COM ports' return (kNever: the adapter
    // leaves the bus and stays away).
    Millis returnDelayMs = 800;
    // Non-zero: every open of an adapter COM port fails with this error
    // (ERROR_ACCESS_DENIED: another program holds the port).
    DWORD portOpenError = 0;

    // How it is found at power-on: kNormal, kMassStorage (showing
    // initialTarget) or kDetached (not plugged in); other states count as
    // kNormal.
    EAdapterState initialState = EAdapterState::kNormal;
    int initialTarget = 0;
    bool initialWritable = false;

    // Numbers behind the driver keys "{Ports class}\NNNN" of the interfaces,
    // one per port from this number up; the PC's own ports use the ones below.
    unsigned firstPortDriverIndex = 3;
};

// The parts of the virtual PC the adapter plugs into.
struct SimMachine {
    CVirtualClock& clock;
    CSimSerial& serial;
    CSimDeviceList& devices;
    CSimRegistry& registry;
    CSimDisks& disks;
};

class CVirtualAdapter {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Millis = CVirtualClock::Millis;
    // Called each time the adapter's drive arrives, before anyone can open
    // it, so that the PC can apply its own rules (rights, faults).
    using DriveHook = std::function<void(int driveNumber, CSimDrive& drive)>;

    static constexpr int kTargetCount = CAdapterLineReader::kTargetCount;
    // Size of each target's fixed contents.
    static constexpr std::size_t kDiskBytes = 4096;

    // Writes the adapter's registry entries and device-list entries and puts
    // it on the bus in the configured initial state.
    CVirtualAdapter(const SimMachine& machine, AdapterConfig config, DriveHook driveHook = {});
    // Leaves the bus; pending events do nothing afterwards.
    ~CVirtualAdapter();
    CVirtualAdapter(const CVirtualAdapter&) = delete;
    CVirtualAdapter& operator=(const CVirtualAdapter&) = delete;

    const AdapterConfig& Config() const { return m_config; }
    EAdapterState State() const { return m_state; }
    // Whether the adapter is on the bus with its COM ports.
    bool PortsOnBus() const;
    // The drive number it shows in the mass-storage state, -1 otherwise.
    int DriveNumber() const { return m_driveNumber; }
    // The target and mode of the last switch taken (-1 before any).
    int Target() const { return m_target; }
    bool Writable() const { return m_writable; }
    // When the pending switch or return falls due, in clock time; kNever
    // when none is pending.
    Millis NextChangeAt() const;

    // Everything the COM device of that number received, across its opens;
    // empty for a number that is not the adapter's.
    const Bytes& BytesReceived(WORD port) const;
    // The COM device of that number ("\\.\COMn"), or null.
    CSimSerialDevice* Port(WORD port) const;

    // Pulling the cable: off the bus at once, pending changes cancelled.
    void Unplug();
    // Plugging it in (or power-cycling it): back at once in the normal state.
    void PlugIn();

    // The fixed contents of a target's disk; empty for a target outside
    // 0..6. The first bytes name the target ("SIM SCSI TARGET n").
    static Bytes TargetContents(int target);

private:
    struct Interface {
        WORD port = 0;
        std::string path;  // "\\.\COM3"
        CSimDeviceList::DeviceId deviceId = 0;
        CAdapterLineReader reader;
    };

    void Register();
    void OnPortBytes(std::size_t index, const Bytes& block);
    void Reply(const std::string& path);
    void OnDriveCommand(const std::vector<std::uint8_t>& cdb);
    void TakeSwitch(int target, bool writable);
    void LeaveForMassStorage();
    void ComeBackNormal();
    void ShowPorts(bool present);
    void ShowDrive(bool present);
    void UpdateUsbNode();
    void EnterState(EAdapterState state);
    // Whether a delay from now ends within the clock's range.
    bool Reachable(Millis delay) const;
    // Runs action after delay unless the state changes first.
    void After(Millis delay, void (CVirtualAdapter::*action)());

    SimMachine m_machine;
    AdapterConfig m_config;
    DriveHook m_driveHook;
    std::vector<Interface> m_interfaces;
    std::string m_usbKey;
    CSimDeviceList::DeviceId m_usbDeviceId = 0;
    std::string m_storageKey;
    CSimDeviceList::DeviceId m_storageDeviceId = 0;
    EAdapterState m_state = EAdapterState::kDetached;
    int m_driveNumber = -1;
    int m_target = -1;
    bool m_writable = false;
    // Bumped by every state change: a switch or return scheduled before it
    // then lapses.
    std::uint64_t m_epoch = 0;
    // Bumped each time the COM ports leave the bus: a reply on its way then
    // lapses, as the bytes in flight are lost with the device.
    std::uint64_t m_portEpoch = 0;
    Millis m_changeAt = AdapterConfig::kNever;
    // Events on the clock (which outlives the adapter) and the callbacks
    // left in devices hold it weakly.
    std::shared_ptr<CVirtualAdapter*> m_self;
};

}  // namespace Sim
}  // namespace Tolvane
