// Who else has a device open, found as fuser finds it: through /proc.
#pragma once

#include <sys/types.h>

#include <string>

namespace Tolvane {
namespace Linux {

// Whether a process other than this one has the character device `device`
// open: the links in <procRoot>/<pid>/fd, followed and compared by device
// number. This process is the one <procRoot>/self names, which is not
// getpid() in a PID namespace that sees its parent's /proc. A process whose
// descriptors cannot be read (another user's, to a process without the
// rights; one that ends while we look) is skipped, and so is a link that
// cannot be followed. A file on a network or FUSE mount is not asked of its
// server (AT_STATX_DONT_SYNC), so a hung mount does not stall the check.
bool OtherProcessHolds(const std::string& procRoot, dev_t device);

}  // namespace Linux
}  // namespace Tolvane
