#include "platform/linux/linux_serial_api.h"

#include <strings.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/linux/sysfs.h"

namespace Tolvane {
namespace Linux {

namespace {

constexpr DWORD kReadReturnsAtOnce = 0xFFFFFFFF;
constexpr BYTE kSpaceParity = 4;

}  // namespace

bool ParseComPath(const char* path, unsigned* number) {
    if (path == nullptr) {
        return false;
    }
    std::string s = path;
    if (s.compare(0, 4, "\\\\.\\") == 0) {
        s.erase(0, 4);
    }
    unsigned long n = 0;
    if (s.size() < 4 || strncasecmp(s.c_str(), "COM", 3) != 0 ||
        !ParseDecimal(s.substr(3), 0xFFFF, &n)) {
        return false;
    }
    *number = static_cast<unsigned>(n);
    return true;
}

CLinuxSerialApi::CLinuxSerialApi(CSystemError& reasons, std::string deviceDir, std::string procRoot)
    : m_reasons(reasons), m_deviceDir(std::move(deviceDir)), m_procRoot(std::move(procRoot)) {}

BOOL CLinuxSerialApi::Fail(DWORD code) {
    m_lastError = code;
    return FALSE;
}

BOOL CLinuxSerialApi::Done(const Port& port, int error) {
    m_reasons.Note(port.node, error);
    return error == 0 ? TRUE : Fail(WinErrorFromErrno(error));
}

CLinuxSerialApi::Port* CLinuxSerialApi::Lookup(HANDLE file, bool argumentGiven) {
    Port* port = m_ports.Find(file);
    if (port == nullptr || !argumentGiven) {
        Fail(port == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return port;
}

HANDLE CLinuxSerialApi::CreateFileA(LPCSTR path, DWORD /*access*/, DWORD /*shareMode*/,
                                    void* /*security*/, DWORD /*creation*/, DWORD /*flags*/,
                                    HANDLE /*templateFile*/) {
    unsigned number = 0;
    if (!ParseComPath(path, &number)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Opening a tty raises DTR and RTS.
    Port port{AcmPortPath(m_deviceDir, number), CTtyPort(),
              COMMTIMEOUTS{kReadReturnsAtOnce, 0, 0, 0, 0}, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE};
    const int error = m_reasons.Note(port.node, port.tty.Open(port.node, m_procRoot));
    if (error != 0) {
        Fail(error == ENOTTY || error == EINVAL ? ERROR_NOT_SUPPORTED : WinErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    return m_ports.Add(std::move(port));
}

BOOL CLinuxSerialApi::GetCommState(HANDLE file, DCB* dcb) {
    Port* port = Lookup(file, dcb != nullptr);
    TtyLine line;
    if (port == nullptr || !Done(*port, port->tty.GetLine(&line))) {
        return FALSE;
    }
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = line.rate;
    d.fBinary = 1;
    d.fParity = line.checkParity;
    d.fDtrControl = port->dtrControl;
    d.fRtsControl = port->rtsControl;
    d.ByteSize = static_cast<BYTE>(line.dataBits);
    d.Parity = line.parity == 'o' ? ODDPARITY : line.parity == 'e' ? EVENPARITY : NOPARITY;
    d.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    *dcb = d;
    return TRUE;
}

BOOL CLinuxSerialApi::SetCommState(HANDLE file, DCB* dcb) {
    Port* port = Lookup(file, dcb != nullptr);
    if (port == nullptr) {
        return FALSE;
    }
    const DCB& d = *dcb;
    if (d.BaudRate == 0 || d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > kSpaceParity ||
        d.StopBits > TWOSTOPBITS) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (d.Parity > EVENPARITY || d.StopBits == ONE5STOPBITS || d.fOutxCtsFlow || d.fOutxDsrFlow ||
        d.fDsrSensitivity || d.fOutX || d.fInX || d.fDtrControl > DTR_CONTROL_ENABLE ||
        d.fRtsControl > RTS_CONTROL_ENABLE) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    TtyLine line;
    line.rate = d.BaudRate;
    line.dataBits = d.ByteSize;
    line.parity = "noe"[d.Parity];
    line.checkParity = d.fParity != 0;
    line.stopBits = d.StopBits == TWOSTOPBITS ? 2 : 1;
    int error = port->tty.SetLine(line);
    if (error == 0) {
        error = port->tty.SetModemLines(d.fDtrControl == DTR_CONTROL_ENABLE,
                                        d.fRtsControl == RTS_CONTROL_ENABLE);
    }
    if (error == 0) {
        port->dtrControl = static_cast<BYTE>(d.fDtrControl);
        port->rtsControl = static_cast<BYTE>(d.fRtsControl);
    }
    return Done(*port, error);
}

BOOL CLinuxSerialApi::GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    Port* port = Lookup(file, timeouts != nullptr);
    if (port == nullptr) {
        return FALSE;
    }
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL CLinuxSerialApi::SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    Port* port = Lookup(file, timeouts != nullptr);
    if (port == nullptr) {
        return FALSE;
    }
    if (timeouts->ReadIntervalTimeout != kReadReturnsAtOnce ||
        timeouts->ReadTotalTimeoutMultiplier != 0 || timeouts->ReadTotalTimeoutConstant != 0) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    port->timeouts = *timeouts;
    return TRUE;
}

BOOL CLinuxSerialApi::SetCommMask(HANDLE file, DWORD /*mask*/) {
    return Lookup(file) != nullptr;
}

BOOL CLinuxSerialApi::PurgeComm(HANDLE file, DWORD /*flags*/) {
    Port* port = Lookup(file);
    return port != nullptr && Done(*port, port->tty.Flush());
}

BOOL CLinuxSerialApi::ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
    Port* port = Lookup(file);
    std::size_t waiting = 0;
    if (port == nullptr || !Done(*port, port->tty.Waiting(&waiting))) {
        return FALSE;
    }
    if (errors != nullptr) {
        *errors = 0;
    }
    if (stat != nullptr) {
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(std::min<std::size_t>(waiting, 0xFFFFFFFFu));
    }
    return TRUE;
}

BOOL CLinuxSerialApi::GetCommModemStatus(HANDLE file, DWORD* status) {
    Port* port = Lookup(file, status != nullptr);
    int lines = 0;
    if (port == nullptr || !Done(*port, port->tty.ModemLines(&lines))) {
        return FALSE;
    }
    *status =
        ((lines & TIOCM_CTS) != 0 ? MS_CTS_ON : 0) | ((lines & TIOCM_DSR) != 0 ? MS_DSR_ON : 0) |
        ((lines & TIOCM_RNG) != 0 ? MS_RING_ON : 0) | ((lines & TIOCM_CAR) != 0 ? MS_RLSD_ON : 0);
    return TRUE;
}

BOOL CLinuxSerialApi::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read,
                               void* overlapped) {
    Port* port =
        Lookup(file, read != nullptr && overlapped == nullptr && (buffer != nullptr || count == 0));
    if (port == nullptr) {
        return FALSE;
    }
    std::size_t got = 0;
    const int error = port->tty.Read(buffer, count, &got);
    *read = static_cast<DWORD>(got);
    return Done(*port, error);
}

BOOL CLinuxSerialApi::WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written,
                                void* overlapped) {
    Port* port = Lookup(
        file, written != nullptr && overlapped == nullptr && (data != nullptr || count == 0));
    if (port == nullptr) {
        return FALSE;
    }
    const COMMTIMEOUTS& to = port->timeouts;
    const std::uint64_t budget =
        to.WriteTotalTimeoutConstant + std::uint64_t{to.WriteTotalTimeoutMultiplier} * count;
    std::size_t done = 0;
    const int error = port->tty.Write(data, count, budget, &done);
    *written = static_cast<DWORD>(done);
    return Done(*port, error);
}

BOOL CLinuxSerialApi::CloseHandle(HANDLE file) {
    if (!m_ports.Remove(file)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

}  // namespace Linux
}  // namespace Tolvane
