#include <cstdio>

#include "app/admin_check.h"
#include "discovery/com_port_finder.h"
#include "modes/pass_through.h"
#include "platform/win32/pass_through_layout.h"
#include "platform/win32/win32_device_list_api.h"
#include "platform/win32/win32_raw_disk_api.h"
#include "platform/win32/win32_registry_api.h"
#include "platform/win32/win32_serial_api.h"

namespace {

ZRK::CWin32SerialApi g_serial;
ZRK::CWin32RawDiskApi g_disks;

}  // namespace

int main() {
    // Taking the objects' addresses through volatile storage keeps them, and
    // with them their virtual tables and every system call behind those, in
    // the linked program.
    const void* volatile keep[] = {&g_serial, &g_disks};
    (void)keep;

    // The portable road of the dialog's start and of both operations' first
    // step, over the real calls: read only, nothing is written or sent.
    ZRK::CWin32RegistryApi registry;
    ZRK::CWin32DeviceListApi devices;
    const bool administrator = Tolvane::CheckAdministratorRights(registry);
    const ZRK::CDiscoveryApis apis{registry, devices};
    const unsigned ports = ZRK::FindUsbComPorts(apis, 0x04D8, 0xE6B2).GetSize();
    std::printf("administrator rights: %s\nadapter COM ports: %u\n", administrator ? "yes" : "no",
                ports);

    const bool matches = ZRK::MatchesSystemPassThroughLayout(Tolvane::PassThroughLayout::Native());
    std::printf("pass-through record layout %s the system's\n",
                matches ? "matches" : "DIFFERS FROM");
    return matches ? 0 : 1;
}
