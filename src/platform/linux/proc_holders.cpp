#include "platform/linux/proc_holders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/linux/sysfs.h"

namespace Tolvane {
namespace Linux {

bool OtherProcessHolds(const std::string& procRoot, dev_t device) {
    const std::string self = LinkTargetName(procRoot + "/self");
    for (const std::string& pid : ListDirectory(procRoot)) {
        unsigned long number = 0;
        if (pid == self || !ParseDecimal(pid, 0xFFFFFFFFul, &number)) {
            continue;
        }
        const std::string fdDir = procRoot + "/" + pid + "/fd/";
        for (const std::string& fd : ListDirectory(fdDir)) {
            struct statx file {};
            const int r =
                statx(AT_FDCWD, (fdDir + fd).c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &file);
            if (r == 0 && S_ISCHR(file.stx_mode) &&
                makedev(file.stx_rdev_major, file.stx_rdev_minor) == device) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace Linux
}  // namespace Tolvane
