// A USB disk's SCSI generic node (/dev/sgN), for the one command this tool
// sends to disks: the adapter's return command, which moves no data. Every
// call returns 0 or the errno of what failed.
#pragma once

#include <scsi/sg.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace Tolvane {
namespace Linux {

// The SG_IO request for a command without a data phase, without sending it:
// interface 'S', no transfer, cdb (cdbLength bytes), a sense buffer of
// senseSize bytes (at most 255) and the time-out in milliseconds.
sg_io_hdr_t NoDataRequest(const std::uint8_t* cdb, std::size_t cdbLength, unsigned timeoutMs,
                          std::uint8_t* sense, std::size_t senseSize);

// How a sent request ended: 0 when the command reached the device and
// completed (whatever its SCSI status), ETIMEDOUT when it timed out, ENODEV
// when the device could not be reached, EIO for other transport faults.
int TransportOutcome(const sg_io_hdr_t& sent);

class CSgDevice {
public:
    CSgDevice() = default;
    CSgDevice(CSgDevice&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    CSgDevice& operator=(CSgDevice&&) = delete;
    ~CSgDevice();

    // Read-write (the sg driver passes a vendor-specific command only on a
    // node opened for writing) and non-blocking.
    int Open(const std::string& node);

    // Sends cdb without a data phase and waits for it; *status is the SCSI
    // status and *senseLength the sense bytes stored at sense. Only the
    // adapter's return command (opcode FF) goes out, anything else is
    // EPERM: some no-data commands (FORMAT UNIT among them) destroy a disk
    // without moving any data. EINVAL for a CDB longer than 16 bytes.
    int SendNoData(const std::uint8_t* cdb, std::size_t cdbLength, unsigned timeoutMs,
                   std::uint8_t* sense, std::size_t senseSize, std::uint8_t* status,
                   std::size_t* senseLength);

private:
    int m_fd = -1;
};

}  // namespace Linux
}  // namespace Tolvane
