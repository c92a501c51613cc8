#include "platform/linux/sg_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "modes/pass_through.h"

namespace Tolvane {
namespace Linux {

namespace {

// Host and driver bytes of an SG_IO result (the kernel's values).
constexpr unsigned kDidNoConnect = 0x01;
constexpr unsigned kDidTimeOut = 0x03;
constexpr unsigned kDidBadTarget = 0x04;
constexpr unsigned kDriverTimeout = 0x06;
constexpr unsigned kDriverSense = 0x08;

}  // namespace

sg_io_hdr_t NoDataRequest(const std::uint8_t* cdb, std::size_t cdbLength, unsigned timeoutMs,
                          std::uint8_t* sense, std::size_t senseSize) {
    sg_io_hdr_t h;
    std::memset(&h, 0, sizeof h);
    h.interface_id = 'S';
    h.dxfer_direction = SG_DXFER_NONE;
    h.cmdp = const_cast<std::uint8_t*>(cdb);
    h.cmd_len = static_cast<unsigned char>(cdbLength);
    h.sbp = sense;
    h.mx_sb_len = static_cast<unsigned char>(std::min<std::size_t>(senseSize, UCHAR_MAX));
    h.timeout = timeoutMs;
    return h;
}

int TransportOutcome(const sg_io_hdr_t& sent) {
    const unsigned host = sent.host_status;
    const unsigned driver = sent.driver_status & 0x0Fu;
    if (host == kDidTimeOut || driver == kDriverTimeout) {
        return ETIMEDOUT;
    }
    if (host == kDidNoConnect || host == kDidBadTarget) {
        return ENODEV;
    }
    return host != 0 || (driver != 0 && driver != kDriverSense) ? EIO : 0;
}

CSgDevice::~CSgDevice() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

int CSgDevice::Open(const std::string& node) {
    do {
        m_fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd < 0 ? errno : 0;
}

int CSgDevice::SendNoData(const std::uint8_t* cdb, std::size_t cdbLength, unsigned timeoutMs,
                          std::uint8_t* sense, std::size_t senseSize, std::uint8_t* status,
                          std::size_t* senseLength) {
    if (cdbLength == 0 || cdbLength > kCdbSize) {
        return EINVAL;
    }
    if (cdb[0] != kReturnCommandOpcode) {
        return EPERM;
    }
    sg_io_hdr_t h = NoDataRequest(cdb, cdbLength, timeoutMs, sense, senseSize);
    if (ioctl(m_fd, SG_IO, &h) != 0) {
        return errno;
    }
    *status = h.status;
    *senseLength = std::min<std::size_t>(h.sb_len_wr, h.mx_sb_len);
    return TransportOutcome(h);
}

}  // namespace Linux
}  // namespace Tolvane
