// A COM port as a communication channel: opened by device path, given a
// fixed line configuration and time-outs under which reads never wait,
// written in blocks, read for whatever has arrived, and asked for its state
// through the modem-status lines.
#pragma once

#include "comm/communication.h"
#include "lib/text_string.h"
#include "platform/serial_api.h"
#include "platform/win_types.h"

namespace ZRK {

struct SerialParameters {
    CTextString devicePath;
    DWORD baudRate = 0;
    DWORD byteSize = 0;  // only the low 8 bits are used
    DWORD parity = 0;    // low byte is the parity code; non-zero enables checking
    DWORD stopBits = 0;  // low byte is the stop-bit code
};

class CSerialPort : public CCommunication {
public:
    static constexpr DWORD kIdentifierBase = 0x01000000u;
    static constexpr DWORD kPurgeAll =
        PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    // Flags kept when the line is configured: fBinary, fParity, fErrorChar,
    // fNull, fAbortOnError; all flow control and DTR/RTS are cleared.
    static constexpr DWORD kApplyFlagsMask = 0xFFFFCC03u;
    // Clears fDtrControl and fRtsControl, so DTR and RTS drop.
    static constexpr DWORD kDropLinesMask = 0xFFFFCFCFu;
    // Byte-by-byte sending: attempts per byte, with a 1 ms pause after each.
    static constexpr int kByteAttempts = 10;

    // Every platform call goes through api, which must outlive the port.
    explicit CSerialPort(CSerialApi& api);
    ~CSerialPort() override;

    CommDescriptor* GetDescriptor() override { return &descriptor; }
    bool Control(DWORD request) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return handle != INVALID_HANDLE_VALUE; }
    bool IsConnected() const override { return connected; }
    int Send(int size, const void* data) override;
    int Receive(int size, void* buffer) override;
    int GetReceivableSize() override;
    int CheckState() override;

    virtual bool Purge();

    // The results below are Windows error codes, 0 on success.
    // Stores the path and line settings; applies them at once to an open
    // port of the same port number, closes the port when the number changes.
    DWORD SetParameters(SerialParameters parameters);
    // Opens and configures the device of the current path. The caller closes
    // an open port first; on an open port this refuses with
    // ERROR_ACCESS_DENIED rather than losing the handle.
    DWORD OpenPort();
    DWORD ApplySettings(HANDLE file);
    // Names the descriptor after the current path, as a successful Open
    // does; for callers that open through Close and OpenPort.
    void RenameDescriptor();

    const CTextString& GetDevicePath() const { return devicePath; }

    // "\\.\COM<n>", the same form for every number.
    static CTextString MakeDevicePath(int portNumber);
    // The decimal number from the first digit of path on (saturating at the
    // largest int), or -1 when path holds no digit.
    static int PortNumberOf(const char* path);
    // The text before the first digit; empty when there is none.
    static CTextString PrefixOf(const char* path);

protected:
    // Points at which a derived port may change how the device is opened,
    // configured, written and read. False from OnApplySettings refuses the
    // settings (ERROR_NOT_READY).
    virtual bool OnApplySettings(HANDLE file, DCB& dcb, COMMTIMEOUTS& timeouts);
    virtual HANDLE CreateDevice(const char* path);
    virtual bool WriteDevice(DWORD& written, DWORD count, const void* data, HANDLE file);
    virtual bool ReadDevice(DWORD& read, void* buffer, DWORD count, HANDLE file);

    CommDescriptor descriptor;
    HANDLE handle = INVALID_HANDLE_VALUE;
    CTextString devicePath;
    DWORD baudRate = 9600;
    BYTE byteSize = 7;
    DWORD parity = NOPARITY;
    DWORD stopBits = ONESTOPBIT;
    bool connected = false;
    bool sendWholeBlock = true;
    bool checkCts = false;
    CSerialApi& api;

private:
    int SendBlock(DWORD size, const BYTE* data);
    int SendBytes(DWORD size, const BYTE* data);
};

}  // namespace ZRK
