#include <cstdio>

#include "modes/pass_through.h"
#include "platform/win32/pass_through_layout.h"
#include "platform/win32/win32_device_list_api.h"
#include "platform/win32/win32_raw_disk_api.h"
#include "platform/win32/win32_registry_api.h"
#include "platform/win32/win32_serial_api.h"

namespace {

ZRK::CWin32SerialApi g_serial;
ZRK::CWin32RegistryApi g_registry;
ZRK::CWin32DeviceListApi g_devices;
ZRK::CWin32RawDiskApi g_disks;

}  // namespace

int main() {
    // Taking the objects' addresses through volatile storage keeps them, and
    // with them their virtual tables and every system call behind those, in
    // the linked program.
    const void* volatile keep[] = {&g_serial, &g_registry, &g_devices, &g_disks};
    (void)keep;

    const bool matches = ZRK::MatchesSystemPassThroughLayout(Tolvane::PassThroughLayout::Native());
    std::printf("pass-through record layout %s the system's\n",
                matches ? "matches" : "DIFFERS FROM");
    return matches ? 0 : 1;
}
