// Preloaded (LD_PRELOAD) into the Wine processes of the end-to-end test.
// Wine reads a serial port's modem lines with TIOCMGET, which a
// pseudo-terminal refuses with ENOTTY, so GetCommModemStatus would fail on
// every call and an adapter that stays on the bus would read as gone. On a
// pseudo-terminal slave the lines read as a USB CDC port's do while it is
// up (CTS, DSR, DCD); after a hang-up the call fails with EIO, as it does
// on a port whose device has left, and that passes through unchanged.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace {

// The character-device majors of pseudo-terminal slaves.
constexpr unsigned kPtsFirstMajor = 136;
constexpr unsigned kPtsLastMajor = 143;

using IoctlFunction = int (*)(int, unsigned long, ...);

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) __THROW {
    static const auto real = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    __builtin_va_list args;
    __builtin_va_start(args, request);
    void* argument = __builtin_va_arg(args, void*);
    __builtin_va_end(args);
    const int result = real(fd, request, argument);
    const int error = errno;
    struct stat st {};
    if (result != 0 && error == ENOTTY && request == TIOCMGET && fstat(fd, &st) == 0 &&
        S_ISCHR(st.st_mode) && major(st.st_rdev) >= kPtsFirstMajor &&
        major(st.st_rdev) <= kPtsLastMajor) {
        *static_cast<int*>(argument) = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
    }
    errno = error;
    return result;
}
