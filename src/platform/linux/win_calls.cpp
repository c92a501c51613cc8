#include "platform/linux/win_calls.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/linux/tty_port.h"

namespace Tolvane {
namespace Linux {

DWORD WinErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case kHeldElsewhere:
            return ERROR_ACCESS_DENIED;
        case EIO:
        case ENODEV:
        case ENXIO:
            return ERROR_DEVICE_NOT_CONNECTED;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOTTY:
            return ERROR_INVALID_FUNCTION;
        case ETIMEDOUT:
            return ERROR_SEM_TIMEOUT;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

std::string NodeError(const std::string& node, int error) {
    const char* words =
        error == kHeldElsewhere ? "held by another process" : strerrordesc_np(error);
    return node + ": " + (words != nullptr ? words : "error " + std::to_string(error));
}

void SleepMilliseconds(DWORD milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace Linux
}  // namespace Tolvane
