// FindUsbComPorts over a large synthetic device tree in the virtual PC's
// registry and device list: the time per call, and how many registry calls
// each key of the walk costs, for trees of different sizes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "discovery/com_port_finder.h"
#include "platform/sim/sim_device_list.h"
#include "platform/sim/sim_registry.h"

namespace {

using Tolvane::Sim::CSimDeviceList;
using Tolvane::Sim::CSimRegistry;

const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum";
constexpr int kPorts = 200;
constexpr int kInstancesPerDevice = 4;
// One non-port instance in this many is a present device; the rest are
// remembered but unplugged, as on a machine that has seen many devices.
constexpr int kPresentEvery = 4;

// A machine with `instances` device-instance keys, kPorts of them COM ports
// (two of them the adapter's interfaces) spread evenly over the tree.
struct CMachine {
    CSimRegistry registry;
    CSimDeviceList devices;
    std::size_t keysVisited = 0;
};

std::string Hex4(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", n & 0xFFFF);
    return text;
}

void AddInstance(CMachine& machine, int index, int instances) {
    static const char* const kBuses[] = {"USB", "PCI", "ACPI", "ROOT", "HID", "SWD", "STORAGE"};
    const int device = index / kInstancesPerDevice;
    const bool isPort = index % (instances / kPorts) == 0;
    const int portNumber = index / (instances / kPorts) + 3;
    const bool isAdapter = isPort && (portNumber == 50 || portNumber == 51);

    std::string hardwareId;
    std::string path;
    if (isAdapter) {
        const std::string mi = portNumber == 50 ? "00" : "02";
        hardwareId = "USB\\VID_04D8&PID_E6B2&MI_" + mi;
        path = kEnum + "\\" + hardwareId + "\\7&2f1c&0&00" + mi;
    } else {
        const char* bus = kBuses[device % 7];
        hardwareId = std::string(bus) + "\\VID_" + Hex4(0x1000 + device) + "&PID_" + Hex4(device);
        path = kEnum + "\\" + hardwareId + "\\" + std::to_string(index % kInstancesPerDevice) +
               "&1a2b3c&0";
    }
    const std::string driver = std::string(isPort ? "{4d36e978-e325-11ce-bfc1-08002be10318}"
                                                  : "{36fc9e60-c465-11cf-8056-444553540000}") +
                               "\\" + Hex4(index);

    CSimRegistry& r = machine.registry;
    r.SetString(HKEY_LOCAL_MACHINE, path, "Driver", driver);
    r.SetString(HKEY_LOCAL_MACHINE, path, "DeviceDesc", "Device " + std::to_string(index));
    r.SetMultiString(HKEY_LOCAL_MACHINE, path, "HardwareID", {hardwareId});
    r.CreateKey(HKEY_LOCAL_MACHINE, path + "\\Control");
    if (isPort) {
        r.SetString(HKEY_LOCAL_MACHINE, path + "\\Device Parameters", "PortName",
                    "COM" + std::to_string(portNumber));
    } else {
        r.SetDword(HKEY_LOCAL_MACHINE, path + "\\Device Parameters", "IdleTimeout", 30);
    }
    r.CreateKey(HKEY_LOCAL_MACHINE, path + "\\LogConf");

    if (isPort || index % kPresentEvery == 0) {
        machine.devices.AddDevice(driver, "Device " + std::to_string(index), "Maker",
                                  {hardwareId, "USB\\Class_02"});
    }
}

// Counts the keys that a walk of the Enum tree reports, as the finder sees
// them.
class CCountingFinder : public ZRK::CComPortFinder {
public:
    using ZRK::CComPortFinder::CComPortFinder;
    std::int32_t OnFoundKey(const ZRK::CTextString& strName, const ZRK::CSection& key,
                            std::int32_t nDepth) override {
        ++m_nKeys;
        return ZRK::CComPortFinder::OnFoundKey(strName, key, nDepth);
    }
    std::size_t m_nKeys = 0;
};

CMachine& Machine(int instances) {
    static std::map<int, std::unique_ptr<CMachine>> machines;
    std::unique_ptr<CMachine>& machine = machines[instances];
    if (!machine) {
        machine = std::make_unique<CMachine>();
        for (int i = 0; i < instances; ++i) {
            AddInstance(*machine, i, instances);
        }
        CCountingFinder finder(machine->devices);
        ZRK::CRegistryAccessor accessor(machine->registry, HKEY_LOCAL_MACHINE,
                                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
        finder.Collect(ZRK::CSection(&accessor, kEnum.c_str()));
        machine->keysVisited = finder.m_nKeys;
    }
    return *machine;
}

void BM_FindUsbComPorts(benchmark::State& state) {
    const int instances = static_cast<int>(state.range(0));
    CMachine& machine = Machine(instances);
    const ZRK::CDiscoveryApis apis{machine.registry, machine.devices};
    machine.registry.ResetCallCounts();
    machine.devices.ResetCounts();

    std::uint32_t found = 0;
    for (auto _ : state) {
        // The call changes the doubles' counters, so it cannot be dropped;
        // its result is checked once the loop is over.
        const ZRK::CSharedArray<WORD> ports = ZRK::FindUsbComPorts(apis, 0x04D8, 0xE6B2);
        found = ports.GetSize();
    }
    if (found != 2) {
        state.SkipWithError("the adapter's two ports were not found");
        return;
    }
    const double iterations = static_cast<double>(state.iterations());
    const double keys = static_cast<double>(machine.keysVisited);
    const double registryCalls =
        static_cast<double>(machine.registry.TotalCallCount()) / iterations;
    const auto& counts = machine.devices.Counts();
    const double setupCalls = static_cast<double>(counts.getClassDevs + counts.enumDeviceInfo +
                                                  counts.getProperty + counts.destroyList) /
                              iterations;

    state.SetComplexityN(instances);
    state.counters["instances"] = instances;
    state.counters["keys_visited"] = keys;
    state.counters["present"] = static_cast<double>(counts.enumDeviceInfo) / iterations - 1;
    state.counters["reg_calls"] = registryCalls;
    state.counters["reg_calls_per_key"] = registryCalls / keys;
    state.counters["setupapi_calls"] = setupCalls;
    // Seconds per key visited, averaged over the iterations.
    state.counters["time_per_key"] = benchmark::Counter(
        keys, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_FindUsbComPorts)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
