#include "platform/sim/virtual_pc.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

#include "app/admin_check.h"
#include "discovery/com_port_finder.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Sim {

namespace {

const char kControl[] = "SYSTEM\\CurrentControlSet\\Control";
const char kArbiter[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char kPortsClass[] = "{4d36e978-e325-11ce-bfc1-08002be10318}\\";
const char kSystemClass[] = "{4d36e97d-e325-11ce-bfc1-08002be10318}\\";

// Driver-key numbers of the machine's own ports; the adapter's follow.
constexpr unsigned kBuiltInPortDriver = 0;
constexpr unsigned kPrinterPortDriver = 1;
constexpr unsigned kStalePortDriver = 2;

constexpr std::size_t kFixedDiskBytes = 4096;

std::string PortsDriver(unsigned n) {
    char text[8];
    std::snprintf(text, sizeof text, "%04u", n % 10000);
    return kPortsClass + std::string(text);
}

CVirtualPC::Bytes FixedDisk(const char* label, unsigned seed) {
    CVirtualPC::Bytes bytes(kFixedDiskBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 13 + seed + (i >> 9));
    }
    for (std::size_t i = 0; label[i] != '\0' && i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(label[i]);
    }
    bytes[510] = 0x55;
    bytes[511] = 0xAA;
    return bytes;
}

std::string Format(const char* format, const std::string& a = {}, const std::string& b = {},
                   const std::string& c = {}) {
    char text[256];
    std::snprintf(text, sizeof text, format, a.c_str(), b.c_str(), c.c_str());
    return text;
}

std::string Milliseconds(CVirtualPC::Millis ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%03llu", static_cast<unsigned long long>(ms / 1000),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

}  // namespace

CVirtualPC::CVirtualPC(VirtualPcConfig config)
    : m_config(std::move(config)),
      m_serial(m_clock),
      m_disks(m_clock),
      m_realStart(std::chrono::steady_clock::now()) {
    BuildRegistry();
    BuildDeviceList();
    BuildDrives();
    m_adapter = std::make_unique<CVirtualAdapter>(
        SimMachine{m_clock, m_serial, m_devices, m_registry, m_disks}, m_config.adapter,
        [this](int number, CSimDrive& drive) { ApplyDriveRules(number, drive); });
}

CVirtualPC::~CVirtualPC() = default;

// --- Building the machine ------------------------------------------------

void CVirtualPC::BuildRegistry() {
    const HKEY hklm = HKEY_LOCAL_MACHINE;

    // The COM-port database: one bit per COM number in use.
    std::vector<BYTE> comDb(kComDbBytes, 0);
    std::vector<WORD> used = {kBuiltInPort, kStalePort};
    used.insert(used.end(), m_config.adapter.portNumbers.begin(),
                m_config.adapter.portNumbers.end());
    for (WORD port : used) {
        if (port >= 1 && port <= kComDbBytes * 8) {
            comDb[(port - 1) / 8] |= static_cast<BYTE>(1u << ((port - 1) % 8));
        }
    }
    m_registry.SetBinary(hklm, kArbiter, "ComDB", comDb);
    m_registry.CreateKey(hklm, std::string(kControl) + "\\Class");

    // The motherboard's serial port.
    const std::string com1 = std::string(kEnum) + "ACPI\\PNP0501\\1";
    m_registry.SetString(hklm, com1, "Driver", PortsDriver(kBuiltInPortDriver));
    m_registry.SetMultiString(hklm, com1, "HardwareID", {"ACPI\\PNP0501", "*PNP0501"});
    m_registry.SetString(hklm, com1, "FriendlyName", "Communications Port (COM1)");
    m_registry.SetString(hklm, com1 + "\\Device Parameters", "PortName", "COM1");

    // Its printer port: a port name, but not a COM one.
    const std::string lpt1 = std::string(kEnum) + "ACPI\\PNP0400\\1";
    m_registry.SetString(hklm, lpt1, "Driver", PortsDriver(kPrinterPortDriver));
    m_registry.SetMultiString(hklm, lpt1, "HardwareID", {"ACPI\\PNP0400", "*PNP0400"});
    m_registry.SetString(hklm, lpt1 + "\\Device Parameters", "PortName", "LPT1");

    // A device of no port at all, with a parameters key below it.
    const std::string bridge = std::string(kEnum) + "PCI\\VEN_FFFE&DEV_0001\\3&11583659&0&08";
    m_registry.SetString(hklm, bridge, "Driver", kSystemClass + std::string("0012"));
    m_registry.SetMultiString(hklm, bridge, "HardwareID", {"PCI\\VEN_FFFE&DEV_0001"});
    m_registry.SetDword(hklm, bridge + "\\Device Parameters\\Interrupt Management", "Flags", 1);
    m_registry.CreateKey(hklm, std::string(kEnum) + "ROOT\\LEGACY_BEEP\\0000");

    // The adapter as it was installed once in another USB socket: the port
    // name stays in the registry, the device never comes back there.
    const std::string stale =
        std::string(kEnum) + "USB\\VID_04D8&PID_E6B2&MI_00\\6&11aa22bb&0&0000";
    m_registry.SetString(hklm, stale, "Driver", PortsDriver(kStalePortDriver));
    m_registry.SetMultiString(
        hklm, stale, "HardwareID",
        {"USB\\VID_04D8&PID_E6B2&REV_0100&MI_00", "USB\\VID_04D8&PID_E6B2&MI_00"});
    m_registry.SetString(hklm, stale + "\\Device Parameters", "PortName",
                         "COM" + std::to_string(kStalePort));

    if (!m_config.administrator) {
        // What a standard user may not do anywhere below the machine's root.
        m_registry.DenyAccess(hklm, "", CSimRegistry::kAdminOnlyRights, true);
    }
}

void CVirtualPC::BuildDeviceList() {
    m_devices.AddDevice(kSystemClass + std::string("0012"), "PCI bridge",
                        "(Standard system devices)", {"PCI\\VEN_FFFE&DEV_0001"});
    m_devices.AddDevice(PortsDriver(kBuiltInPortDriver), "Communications Port",
                        "(Standard port types)", {"ACPI\\PNP0501", "*PNP0501"});
    m_devices.AddDevice(PortsDriver(kPrinterPortDriver), "Printer Port", "(Standard port types)",
                        {"ACPI\\PNP0400", "*PNP0400"});
    const auto stale = m_devices.AddDevice(
        PortsDriver(kStalePortDriver), "USB Serial Device", "(Standard USB serial)",
        {"USB\\VID_04D8&PID_E6B2&REV_0100&MI_00", "USB\\VID_04D8&PID_E6B2&MI_00"});
    m_devices.SetPresent(stale, false);
}

void CVirtualPC::BuildDrives() {
    CSimDrive& system = m_disks.Attach(kSystemDrive, FixedDisk("SIM SYSTEM DISK", 3));
    system.rejectedOpcodes = {0xFF};
    ApplyDriveRules(kSystemDrive, system);
    if (m_config.dataDisk) {
        ApplyDriveRules(kDataDrive, m_disks.Attach(kDataDrive, FixedDisk("SIM DATA DISK", 101)));
    }
}

void CVirtualPC::ApplyDriveRules(int number, CSimDrive& drive) const {
    if (!m_config.driveAccess) {
        drive.openFails = true;
        drive.openError = ERROR_ACCESS_DENIED;
    }
    if (number == m_config.stallingDrive) {
        drive.stallsForTimeout = true;
    }
}

// --- The host ------------------------------------------------------------

ZRK::CSharedArray<WORD> CVirtualPC::FindUsbComPorts(WORD vendorId, WORD productId) {
    return ZRK::FindUsbComPorts(ZRK::CDiscoveryApis{m_registry, m_devices}, vendorId, productId);
}

void CVirtualPC::Sleep(DWORD milliseconds) {
    if (!m_config.realTime) {
        m_clock.Advance(milliseconds);
        return;
    }
    RealSleep(milliseconds);
    AdvanceTo(std::max(m_clock.Now() + milliseconds, RealElapsedMs()));
}

void CVirtualPC::CatchUp() {
    if (m_config.realTime) {
        AdvanceTo(RealElapsedMs());
    }
}

void CVirtualPC::AdvanceTo(Millis target) {
    if (target > m_clock.Now()) {
        m_clock.Advance(target - m_clock.Now());
    }
}

void CVirtualPC::RealSleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

CVirtualPC::Millis CVirtualPC::RealElapsedMs() const {
    const auto elapsed = std::chrono::steady_clock::now() - m_realStart;
    return static_cast<Millis>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

bool CVirtualPC::HasAdministratorRights() {
    return CheckAdministratorRights(m_registry);
}

// --- What happened -------------------------------------------------------

std::string CVirtualPC::LeakReport() const {
    std::string report;
    auto line = [&report](const char* what, std::size_t count) {
        if (count != 0) {
            report += what + std::string(": ") + std::to_string(count) + "\n";
        }
    };
    line("serial handles open", m_serial.OpenHandleCount());
    line("registry keys open", m_registry.OpenKeyCount());
    for (const std::string& key : m_registry.LeakedKeys()) {
        report += "  " + key + "\n";
    }
    line("device sets open", m_devices.OpenSetCount());
    line("drive handles open", m_disks.OpenHandles());
    // Double closes are among the calls on bad handles.
    line("serial calls on bad or closed handles", m_serial.BadHandleCount());
    line("registry closes of bad handles", m_registry.InvalidCloseCount());
    line("registry calls on bad handles", m_registry.InvalidHandleUseCount());
    line("device sets destroyed wrongly", m_devices.BadDestroyCount());
    line("device sets used after destruction", m_devices.UseOfClosedSetCount());
    line("drive closes of bad handles", m_disks.BadCloses());
    return report;
}

std::string CVirtualPC::Describe(ELanguage language) const {
    const CVirtualAdapter& adapter = *m_adapter;
    const std::string mode =
        (adapter.Writable() ? Text::kSimWritable : Text::kSimReadOnly).In(language);
    const Millis due = adapter.NextChangeAt();
    const std::string wait = due == AdapterConfig::kNever || due < m_clock.Now()
                                 ? std::string("-")
                                 : std::to_string(due - m_clock.Now());
    std::string state;
    switch (adapter.State()) {
        case EAdapterState::kNormal: {
            std::string ports;
            for (WORD port : adapter.Config().portNumbers) {
                ports += (ports.empty() ? "COM" : " COM") + std::to_string(port);
            }
            state = Format(Text::kSimStateNormal.In(language), ports);
            break;
        }
        case EAdapterState::kSwitching:
            state = Format(Text::kSimStateSwitching.In(language), std::to_string(adapter.Target()),
                           mode, wait);
            break;
        case EAdapterState::kMassStorage:
            state = Format(Text::kSimStateMassStorage.In(language),
                           std::to_string(adapter.DriveNumber()), std::to_string(adapter.Target()),
                           mode);
            break;
        case EAdapterState::kReturning:
            state = Format(Text::kSimStateReturning.In(language), wait);
            break;
        case EAdapterState::kDetached:
            state = Text::kSimStateDetached.In(language);
            break;
    }
    return Format(Text::kSimStatus.In(language), Milliseconds(m_clock.Now()), state);
}

}  // namespace Sim
}  // namespace Tolvane
