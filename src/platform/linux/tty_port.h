// A serial tty (the adapter's /dev/ttyACMn) held for this process alone, in
// raw mode. Every call returns 0 or the errno of what failed.
//
// The port has left the bus when the system says EIO, ENODEV or ENXIO, or
// when poll reports a hang-up or an error: a USB tty is hung up when its
// device goes, and a read then gives end of file, which is told apart from
// "nothing has arrived" this way. Such a port answers EIO from then on, as
// the kernel does on a hung-up tty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Tolvane {
namespace Linux {

// What Open returns for a tty that another process has open: the kernel let
// this process in, so there is no errno for it.
constexpr int kHeldElsewhere = -1;

struct TtyLine {
    unsigned rate = 9600;      // bits per second, any the driver takes
    unsigned dataBits = 8;     // 5 to 8
    char parity = 'n';         // 'n', 'o' or 'e'
    bool checkParity = false;  // INPCK
    unsigned stopBits = 1;     // 1 or 2
};

class CTtyPort {
public:
    CTtyPort() = default;
    CTtyPort(CTtyPort&& other) noexcept;
    CTtyPort& operator=(CTtyPort&&) = delete;
    ~CTtyPort() { Close(); }

    // Opens node with O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC and takes it for
    // this process (TIOCEXCL), so that later opens by others fail. A port is
    // never shared: when another process holds it, the open fails before the
    // line is touched, with EBUSY from the kernel (the holder set the flag)
    // or kHeldElsewhere (the flag is set but root came through, which never
    // clears a holder's flag; or another process has the tty open, see
    // OtherProcessHolds). Then raw mode: no echo, no translation, modem
    // control lines ignored, VMIN = VTIME = 0; a speed of 0 (which would
    // drop DTR) becomes 9600. ENOTTY: not a tty.
    int Open(const std::string& node, const std::string& procRoot);
    // Drops the lines that SetModemLines dropped last (a close might not),
    // clears the exclusive flag that Open set, and closes.
    void Close();

    // The line through termios2 (BOTHER), so that a rate without a standard
    // code, such as the adapter's 480000000, is set as it is; raw mode is
    // kept, and flow control of either kind is off.
    int SetLine(const TtyLine& line);
    // The line as the driver holds it.
    int GetLine(TtyLine* line) const;
    // Raises or drops DTR and RTS; a tty without modem lines (a
    // pseudo-terminal) has none to set.
    int SetModemLines(bool dtr, bool rts);
    // The modem lines (TIOCM_* bits); 0 on a tty without them.
    int ModemLines(int* lines) const;

    // Empties both queues.
    int Flush();
    // The bytes that have arrived and wait to be read.
    int Waiting(std::size_t* count) const;
    // What has arrived, at most size bytes, without waiting.
    int Read(void* buffer, std::size_t size, std::size_t* got);
    // Writes size bytes, waiting for room in the driver's queue at most
    // timeoutMs in all. *done is what went, also when the time ran out,
    // which is no error.
    int Write(const void* data, std::size_t size, std::uint64_t timeoutMs, std::size_t* done);

private:
    // Err for a call that failed with errno err, EIO for a hung-up line, or 0.
    int Outcome(int err) const;

    int m_fd = -1;
    bool m_exclusive = false;
    int m_dropped = 0;  // TIOCM_DTR / TIOCM_RTS
};

}  // namespace Linux
}  // namespace Tolvane
