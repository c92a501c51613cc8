#include "platform/sim/virtual_adapter.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "modes/adapter_operations.h"

namespace Tolvane {
namespace Sim {

namespace {

constexpr std::uint8_t kReturnOpcode = 0xFF;
constexpr std::size_t kReturnCdbLength = 16;

const char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char kPortsClass[] = "{4d36e978-e325-11ce-bfc1-08002be10318}\\";
const char kUsbClass[] = "{36fc9e60-c465-11cf-8056-444553540000}\\";
const char kDiskClass[] = "{4d36e967-e325-11ce-bfc1-08002be10318}\\";
// The adapter's USB serial number, and the instance prefix Windows derives
// for its interfaces.
const char kUsbSerial[] = "TLV0040A";
const char kInterfacePrefix[] = "6&2b8f1d3a&0&";

std::string Dec4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04u", value % 10000);
    return text;
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

}  // namespace

CVirtualAdapter::CVirtualAdapter(const SimMachine& machine, AdapterConfig config,
                                 DriveHook driveHook)
    : m_machine(machine),
      m_config(std::move(config)),
      m_driveHook(std::move(driveHook)),
      m_self(std::make_shared<CVirtualAdapter*>(this)) {
    Register();
    switch (m_config.initialState) {
        case EAdapterState::kDetached:
            break;
        case EAdapterState::kMassStorage:
            m_target = m_config.initialTarget;
            m_writable = m_config.initialWritable;
            ShowDrive(true);
            EnterState(EAdapterState::kMassStorage);
            break;
        default:
            ComeBackNormal();
            break;
    }
}

CVirtualAdapter::~CVirtualAdapter() {
    Unplug();
    for (Interface& item : m_interfaces) {
        if (CSimSerialDevice* device = m_machine.serial.FindDevice(item.path)) {
            device->onReceive = nullptr;
        }
    }
}

// --- Plugging in ---------------------------------------------------------

void CVirtualAdapter::Register() {
    CSimRegistry& reg = m_machine.registry;
    CSimDeviceList& list = m_machine.devices;
    const std::string ids = "VID_" + Hex2(kAdapterVendorId >> 8) + Hex2(kAdapterVendorId) +
                            "&PID_" + Hex2(kAdapterProductId >> 8) + Hex2(kAdapterProductId);

    // The USB device itself: present whenever the adapter is on the bus; a
    // matching hardware ID but no port of its own.
    m_usbKey = std::string(kEnum) + "USB\\" + ids + "\\" + kUsbSerial;
    const std::string usbDriver = std::string(kUsbClass) + "0021";
    const std::vector<std::string> usbIds = {"USB\\" + ids + "&REV_0100", "USB\\" + ids};
    reg.SetString(HKEY_LOCAL_MACHINE, m_usbKey, "Driver", usbDriver);
    reg.SetMultiString(HKEY_LOCAL_MACHINE, m_usbKey, "HardwareID", usbIds);
    reg.SetString(HKEY_LOCAL_MACHINE, m_usbKey, "DeviceDesc", "USB Composite Device");
    reg.CreateKey(HKEY_LOCAL_MACHINE, m_usbKey + "\\Device Parameters");
    m_usbDeviceId =
        list.AddDevice(usbDriver, "USB Composite Device", "(Standard USB devices)", usbIds);
    list.SetPresent(m_usbDeviceId, false);

    // One CDC interface per port.
    for (std::size_t i = 0; i < m_config.portNumbers.size(); ++i) {
        Interface item;
        item.port = m_config.portNumbers[i];
        item.path = "\\\\.\\COM" + std::to_string(item.port);
        const std::string mi = "&MI_" + Hex2(static_cast<unsigned>(2 * i));
        const std::string instanceKey = std::string(kEnum) + "USB\\" + ids + mi + "\\" +
                                        kInterfacePrefix + Dec4(static_cast<unsigned>(2 * i));
        const std::string driverKey =
            kPortsClass + Dec4(m_config.firstPortDriverIndex + static_cast<unsigned>(i));
        const std::string portName = "COM" + std::to_string(item.port);
        const std::vector<std::string> hardwareIds = {"USB\\" + ids + "&REV_0100" + mi,
                                                      "USB\\" + ids + mi};
        reg.SetString(HKEY_LOCAL_MACHINE, instanceKey, "Driver", driverKey);
        reg.SetMultiString(HKEY_LOCAL_MACHINE, instanceKey, "HardwareID", hardwareIds);
        reg.SetString(HKEY_LOCAL_MACHINE, instanceKey, "DeviceDesc", "USB Serial Device");
        reg.SetString(HKEY_LOCAL_MACHINE, instanceKey, "FriendlyName",
                      "USB Serial Device (" + portName + ")");
        reg.SetString(HKEY_LOCAL_MACHINE, instanceKey + "\\Device Parameters", "PortName",
                      portName);
        item.deviceId =
            list.AddDevice(driverKey, "USB Serial Device", "(Standard USB serial)", hardwareIds);
        list.SetPresent(item.deviceId, false);

        CSimSerialDevice& device = m_machine.serial.AddDevice(item.path);
        device.SetPresent(false);
        if (m_config.portOpenError != 0) {
            device.FailCall(SerialCall::kCreateFile, m_config.portOpenError);
        }
        std::weak_ptr<CVirtualAdapter*> weak = m_self;
        device.onReceive = [weak, i](const CSimSerialDevice::Bytes& block) {
            if (auto self = weak.lock()) {
                (*self)->OnPortBytes(i, block);
            }
        };
        m_interfaces.push_back(item);
    }

    // The disk the adapter shows in its mass-storage state; no port.
    m_storageKey = std::string(kEnum) + "USBSTOR\\Disk&Ven_SIM&Prod_SCSI_ADAPTER&Rev_0100\\" +
                   kUsbSerial + "&0";
    const std::string diskDriver = std::string(kDiskClass) + "0002";
    const std::vector<std::string> diskIds = {"USBSTOR\\DiskSIM_____SCSI_ADAPTER____0100",
                                              "USBSTOR\\DiskSIM_____SCSI_ADAPTER____", "GenDisk"};
    reg.SetString(HKEY_LOCAL_MACHINE, m_storageKey, "Driver", diskDriver);
    reg.SetMultiString(HKEY_LOCAL_MACHINE, m_storageKey, "HardwareID", diskIds);
    reg.SetString(HKEY_LOCAL_MACHINE, m_storageKey, "DeviceDesc", "Disk drive");
    reg.CreateKey(HKEY_LOCAL_MACHINE, m_storageKey + "\\Device Parameters\\Partmgr");
    m_storageDeviceId = list.AddDevice(diskDriver, "Disk drive", "(Standard disk drives)", diskIds);
    list.SetPresent(m_storageDeviceId, false);
}

// --- What it hears -------------------------------------------------------

void CVirtualAdapter::OnPortBytes(std::size_t index, const Bytes& block) {
    if (index >= m_interfaces.size()) {
        return;
    }
    for (std::uint8_t byte : block) {
        Interface& item = m_interfaces[index];
        const AdapterRequest request = item.reader.Take(byte);
        if (request.kind == AdapterRequest::EKind::kSwitch) {
            TakeSwitch(request.target, request.writable);
        } else if (request.kind == AdapterRequest::EKind::kVersionQuery &&
                   !m_config.firmwareReply.empty()) {
            Reply(item.path);
        }
    }
}

void CVirtualAdapter::Reply(const std::string& path) {
    const Bytes reply(m_config.firmwareReply.begin(), m_config.firmwareReply.end());
    if (!Reachable(m_config.replyDelayMs)) {
        return;
    }
    std::weak_ptr<CVirtualAdapter*> weak = m_self;
    const std::uint64_t epoch = m_portEpoch;
    m_machine.clock.Schedule(m_config.replyDelayMs, [weak, epoch, path, reply] {
        auto self = weak.lock();
        if (!self || (*self)->m_portEpoch != epoch) {
            return;
        }
        if (CSimSerialDevice* device = (*self)->m_machine.serial.FindDevice(path)) {
            device->QueueReply(reply);
        }
    });
}

void CVirtualAdapter::TakeSwitch(int target, bool writable) {
    if (m_state != EAdapterState::kNormal || m_config.switchDelayMs == AdapterConfig::kNever) {
        return;
    }
    m_target = target;
    m_writable = writable;
    EnterState(EAdapterState::kSwitching);
    After(m_config.switchDelayMs, &CVirtualAdapter::LeaveForMassStorage);
}

void CVirtualAdapter::OnDriveCommand(const std::vector<std::uint8_t>& cdb) {
    if (m_state != EAdapterState::kMassStorage || cdb.size() != kReturnCdbLength ||
        cdb[0] != kReturnOpcode ||
        std::any_of(cdb.begin() + 1, cdb.end(), [](std::uint8_t b) { return b != 0; })) {
        return;
    }
    ShowDrive(false);
    if (m_config.returnDelayMs == AdapterConfig::kNever) {
        EnterState(EAdapterState::kDetached);
        return;
    }
    EnterState(EAdapterState::kReturning);
    After(m_config.returnDelayMs, &CVirtualAdapter::ComeBackNormal);
}

// --- Changes of state ----------------------------------------------------

void CVirtualAdapter::LeaveForMassStorage() {
    ShowPorts(false);
    ShowDrive(true);
    EnterState(EAdapterState::kMassStorage);
}

void CVirtualAdapter::ComeBackNormal() {
    ShowDrive(false);
    ShowPorts(true);
    EnterState(EAdapterState::kNormal);
}

void CVirtualAdapter::Unplug() {
    ShowPorts(false);
    ShowDrive(false);
    EnterState(EAdapterState::kDetached);
}

void CVirtualAdapter::PlugIn() {
    // A power cycle: whatever was open on the old ports is stale.
    Unplug();
    ComeBackNormal();
}

void CVirtualAdapter::ShowPorts(bool present) {
    for (Interface& item : m_interfaces) {
        item.reader.Reset();
        if (CSimSerialDevice* device = m_machine.serial.FindDevice(item.path)) {
            device->SetPresent(present);
        }
        m_machine.devices.SetPresent(item.deviceId, present);
    }
    if (!present) {
        ++m_portEpoch;
    }
    UpdateUsbNode();
}

void CVirtualAdapter::ShowDrive(bool present) {
    if (!present) {
        if (m_driveNumber >= 0) {
            m_machine.disks.Detach(m_driveNumber);
            m_driveNumber = -1;
        }
    } else if (m_driveNumber < 0) {
        const int n = m_machine.disks.FreeNumber();
        CSimDrive& drive = m_machine.disks.Attach(n, TargetContents(m_target));
        std::weak_ptr<CVirtualAdapter*> weak = m_self;
        drive.onCommand = [weak](const std::vector<std::uint8_t>& cdb) {
            if (auto self = weak.lock()) {
                (*self)->OnDriveCommand(cdb);
            }
        };
        m_driveNumber = n;
        if (m_driveHook) {
            m_driveHook(n, drive);
        }
    }
    m_machine.devices.SetPresent(m_storageDeviceId, m_driveNumber >= 0);
    UpdateUsbNode();
}

void CVirtualAdapter::UpdateUsbNode() {
    m_machine.devices.SetPresent(m_usbDeviceId, PortsOnBus() || m_driveNumber >= 0);
}

void CVirtualAdapter::EnterState(EAdapterState state) {
    m_state = state;
    ++m_epoch;
    m_changeAt = AdapterConfig::kNever;
}

bool CVirtualAdapter::Reachable(Millis delay) const {
    return delay != AdapterConfig::kNever && delay <= AdapterConfig::kNever - m_machine.clock.Now();
}

void CVirtualAdapter::After(Millis delay, void (CVirtualAdapter::*action)()) {
    if (!Reachable(delay)) {
        return;  // stays in its state for good
    }
    std::weak_ptr<CVirtualAdapter*> weak = m_self;
    const std::uint64_t epoch = m_epoch;
    m_changeAt = m_machine.clock.Now() + delay;
    m_machine.clock.Schedule(delay, [weak, epoch, action] {
        auto self = weak.lock();
        if (self && (*self)->m_epoch == epoch) {
            ((*self)->*action)();
        }
    });
}

// --- Looking at it -------------------------------------------------------

bool CVirtualAdapter::PortsOnBus() const {
    return m_state == EAdapterState::kNormal || m_state == EAdapterState::kSwitching;
}

CVirtualAdapter::Millis CVirtualAdapter::NextChangeAt() const {
    return m_changeAt;
}

const CVirtualAdapter::Bytes& CVirtualAdapter::BytesReceived(WORD port) const {
    static const Bytes kNone;
    const CSimSerialDevice* device = Port(port);
    return device == nullptr ? kNone : device->Received();
}

CSimSerialDevice* CVirtualAdapter::Port(WORD port) const {
    for (const Interface& item : m_interfaces) {
        if (item.port == port) {
            return m_machine.serial.FindDevice(item.path);
        }
    }
    return nullptr;
}

CVirtualAdapter::Bytes CVirtualAdapter::TargetContents(int target) {
    if (target < 0 || target >= kTargetCount) {
        return {};
    }
    Bytes bytes(kDiskBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] =
            static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(target) * 29 + (i >> 8));
    }
    char label[32];
    const int n = std::snprintf(label, sizeof label, "SIM SCSI TARGET %d", target);
    std::copy(label, label + n, bytes.begin());
    bytes[510] = 0x55;
    bytes[511] = 0xAA;
    return bytes;
}

}  // namespace Sim
}  // namespace Tolvane
