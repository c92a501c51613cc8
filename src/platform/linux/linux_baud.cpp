#include "platform/linux/linux_baud.h"

// Only the kernel's termios definitions here; see the header.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace Tolvane {
namespace Linux {

#if defined(TCGETS2) && defined(TCSETS2) && defined(BOTHER)

int SetArbitraryBaudRate(int fd, unsigned rate) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
    t.c_cflag |= BOTHER;
#ifdef CIBAUD
    // Input speed follows the output speed.
    t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
#endif
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    if (ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    return 0;
}

int GetActualBaudRate(int fd, unsigned* rate) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    *rate = t.c_ospeed;
    return 0;
}

#else

int SetArbitraryBaudRate(int, unsigned) {
    return ENOTTY;
}
int GetActualBaudRate(int, unsigned*) {
    return ENOTTY;
}

#endif

}  // namespace Linux
}  // namespace Tolvane
