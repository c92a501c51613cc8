#include "comm/serial_port.h"

#include <algorithm>
#include <climits>
#include <string>

namespace ZRK {

namespace {

const char* FirstDigit(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p >= '0' && *p <= '9') {
            return p;
        }
    }
    return nullptr;
}

// Time-outs under which a read returns at once with what has arrived and a
// write of n bytes may block for n + 1000 milliseconds.
constexpr DWORD kReadIntervalTimeout = 0xFFFFFFFFu;
constexpr DWORD kWriteTotalTimeoutMultiplier = 1;
constexpr DWORD kWriteTotalTimeoutConstant = 1000;

}  // namespace

CSerialPort::CSerialPort(CSerialApi& api) : api(api) {
    descriptor.typeName = "RS232C";
    descriptor.identifier = kIdentifierBase;
}

CSerialPort::~CSerialPort() {
    CSerialPort::Close();
}

bool CSerialPort::Control(DWORD /*request*/) {
    return false;
}

int CSerialPort::PortNumberOf(const char* path) {
    const char* p = FirstDigit(path);
    if (p == nullptr) {
        return -1;
    }
    // Saturates instead of overflowing on an absurdly long number.
    int number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (number > (INT_MAX - digit) / 10) {
            return INT_MAX;
        }
        number = number * 10 + digit;
    }
    return number;
}

CTextString CSerialPort::PrefixOf(const char* path) {
    const char* p = FirstDigit(path);
    if (p == nullptr) {
        return CTextString();
    }
    // Byte for byte: a cut by character could drop a byte taken for a lead byte.
    return CTextString(std::string(path, static_cast<std::size_t>(p - path)).c_str());
}

CTextString CSerialPort::MakeDevicePath(int portNumber) {
    return CTextString::Format("\\\\.\\COM%d", portNumber);
}

void CSerialPort::RenameDescriptor() {
    const int number = PortNumberOf(devicePath);
    descriptor.typeName = CTextString::Format("RS232C(%s%d)", PrefixOf(devicePath), number);
    descriptor.identifier = kIdentifierBase + (static_cast<DWORD>(number) & 0xFFFFu);
}

DWORD CSerialPort::SetParameters(SerialParameters parameters) {
    // A port that never had a path takes the new one even when neither
    // holds a digit (both numbers are -1); otherwise such a path could never
    // be set at all.
    if (devicePath.IsEmpty() || PortNumberOf(parameters.devicePath) != PortNumberOf(devicePath)) {
        Close();
        devicePath = parameters.devicePath;
    }
    baudRate = parameters.baudRate;
    byteSize = static_cast<BYTE>(parameters.byteSize & 0xFFu);
    parity = parameters.parity;
    stopBits = parameters.stopBits;
    if (!IsOpen()) {
        return ERROR_SUCCESS;
    }
    return ApplySettings(handle);
}

DWORD CSerialPort::ApplySettings(HANDLE file) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    COMMTIMEOUTS timeouts{};
    if (!api.GetCommState(file, &dcb) || !api.GetCommTimeouts(file, &timeouts)) {
        return api.GetLastError();
    }
    dcb.BaudRate = baudRate;
    dcb.ByteSize = byteSize;
    dcb.Parity = static_cast<BYTE>(parity & 0xFFu);
    dcb.StopBits = static_cast<BYTE>(stopBits & 0xFFu);
    dcb.fParity = parity != 0 ? 1 : 0;
    SetDcbFlagsWord(dcb, DcbFlagsWord(dcb) & kApplyFlagsMask);

    timeouts.ReadIntervalTimeout = kReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = kWriteTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = kWriteTotalTimeoutConstant;

    if (!OnApplySettings(file, dcb, timeouts)) {
        return ERROR_NOT_READY;
    }
    if (!api.SetCommState(file, &dcb) || !api.SetCommTimeouts(file, &timeouts)) {
        return api.GetLastError();
    }
    return ERROR_SUCCESS;
}

DWORD CSerialPort::OpenPort() {
    if (devicePath.IsEmpty()) {
        return ERROR_INVALID_PARAMETER;
    }
    if (IsOpen()) {
        // What an exclusive COM device answers to a second open anyway.
        return ERROR_ACCESS_DENIED;
    }
    HANDLE file = CreateDevice(devicePath);
    if (file == INVALID_HANDLE_VALUE) {
        return api.GetLastError();
    }
    api.PurgeComm(file, kPurgeAll);
    const DWORD code = ApplySettings(file);
    if (code != ERROR_SUCCESS) {
        api.CloseHandle(file);
        return code;
    }
    // Clears whatever error condition the driver kept from earlier use.
    DWORD errors = 0;
    COMSTAT stat{};
    api.ClearCommError(file, &errors, &stat);
    api.SetCommMask(file, 0);
    api.PurgeComm(file, kPurgeAll);
    handle = file;
    return ERROR_SUCCESS;
}

bool CSerialPort::Open() {
    Close();
    if (OpenPort() != ERROR_SUCCESS) {
        return false;
    }
    RenameDescriptor();
    return true;
}

void CSerialPort::Close() {
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    HANDLE file = handle;
    handle = INVALID_HANDLE_VALUE;
    // Drop DTR and RTS so the device sees the line go away before the
    // handle does.
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (api.GetCommState(file, &dcb)) {
        SetDcbFlagsWord(dcb, DcbFlagsWord(dcb) & kDropLinesMask);
        api.SetCommState(file, &dcb);
    }
    api.CloseHandle(file);
    connected = false;
}

int CSerialPort::Send(int size, const void* data) {
    if (!IsOpen()) {
        return -1;
    }
    if (size < 0 || (size > 0 && data == nullptr)) {
        return -1;
    }
    const auto* bytes = static_cast<const BYTE*>(data);
    return sendWholeBlock ? SendBlock(static_cast<DWORD>(size), bytes)
                          : SendBytes(static_cast<DWORD>(size), bytes);
}

int CSerialPort::SendBlock(DWORD size, const BYTE* data) {
    DWORD total = 0;
    DWORD remaining = size;
    for (;;) {
        DWORD written = 0;
        if (!WriteDevice(written, remaining, data + total, handle)) {
            return -1;
        }
        if (written == 0) {
            return static_cast<int>(total);
        }
        // A driver that claims more than it was given is believed only up
        // to what it was given.
        if (written >= remaining) {
            return static_cast<int>(size);
        }
        total += written;
        remaining -= written;
    }
}

int CSerialPort::SendBytes(DWORD size, const BYTE* data) {
    for (DWORD i = 0; i < size; ++i) {
        DWORD written = 0;
        int attempts = 0;
        for (;;) {
            if (!WriteDevice(written, 1, data + i, handle)) {
                return -1;
            }
            if (written != 1) {
                ++attempts;
                api.Sleep(1);
            }
            if (written != 0) {
                break;
            }
            if (attempts >= kByteAttempts) {
                return -1;
            }
        }
    }
    return static_cast<int>(size);
}

int CSerialPort::Receive(int size, void* buffer) {
    // A closed port fails here rather than handing the invalid handle to the
    // platform layer.
    if (!IsOpen() || size < 0 || (size > 0 && buffer == nullptr)) {
        return -1;
    }
    DWORD errors = 0;
    COMSTAT stat{};
    if (!api.ClearCommError(handle, &errors, &stat)) {
        return -1;
    }
    const DWORD count = std::min(static_cast<DWORD>(size), stat.cbInQue);
    if (count == 0) {
        return 0;
    }
    DWORD read = 0;
    if (!ReadDevice(read, buffer, count, handle)) {
        return -1;
    }
    return static_cast<int>(std::min(read, count));
}

int CSerialPort::GetReceivableSize() {
    if (!IsOpen()) {
        return -1;
    }
    DWORD errors = 0;
    COMSTAT stat{};
    if (!api.ClearCommError(handle, &errors, &stat)) {
        return -1;
    }
    return static_cast<int>(std::min<DWORD>(stat.cbInQue, INT_MAX));
}

int CSerialPort::CheckState() {
    if (!IsOpen()) {
        return kStateUnusable;
    }
    DWORD status = 0;
    if (!api.GetCommModemStatus(handle, &status)) {
        return kStateUnusable;
    }
    if (checkCts) {
        connected = (status & MS_CTS_ON) != 0;
        return connected ? kStateConnected : kStateNotConnected;
    }
    connected = true;
    return kStateConnected;
}

bool CSerialPort::Purge() {
    if (!IsOpen()) {
        return false;
    }
    return api.PurgeComm(handle, kPurgeAll) != FALSE;
}

bool CSerialPort::OnApplySettings(HANDLE /*file*/, DCB& /*dcb*/, COMMTIMEOUTS& /*timeouts*/) {
    return true;
}

HANDLE CSerialPort::CreateDevice(const char* path) {
    return api.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool CSerialPort::WriteDevice(DWORD& written, DWORD count, const void* data, HANDLE file) {
    DWORD n = 0;
    if (!api.WriteFile(file, data, count, &n, nullptr)) {
        return false;
    }
    written = n;
    return true;
}

bool CSerialPort::ReadDevice(DWORD& read, void* buffer, DWORD count, HANDLE file) {
    DWORD n = 0;
    if (!api.ReadFile(file, buffer, count, &n, nullptr)) {
        return false;
    }
    read = n;
    return true;
}

}  // namespace ZRK
