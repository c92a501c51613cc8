// The two things the tool does to the adapter: switch it to the mass-storage
// state for one SCSI target, and bring it back to the normal state. Each
// runs to the end on the calling (user-interface) thread, tells the user the
// outcome in one message box, and leaves nothing open behind it.
#pragma once

#include <cstdint>
#include <string>

#include "modes/operation_host.h"
#include "platform/win_types.h"

namespace ZRK {
class CSerialPort;
}

namespace Tolvane {

constexpr WORD kAdapterVendorId = 0x04D8;
constexpr WORD kAdapterProductId = 0xE6B2;
// The adapter shows two serial interfaces in its normal state.
constexpr unsigned kAdapterPortCount = 2;

constexpr DWORD kAdapterBaudRate = 480000000;
constexpr std::uint8_t kVersionQuery = 0x76;   // 'v'
constexpr std::uint8_t kSwitchCommand = 0x78;  // 'x'
constexpr int kVersionReplyMax = 5;
constexpr char kMinimumFirmware[] = "v0.40";
constexpr DWORD kVersionReplyWaitMs = 100;
constexpr DWORD kSwitchWaitMs = 1000;

constexpr int kFirstDriveNumber = 0;
constexpr int kLastDriveNumber = 99;
constexpr DWORD kPortLookIntervalMs = 500;
constexpr int kPortLooks = 5;

// 0x30 + id, plus 0x80 for a writable target, in 8-bit arithmetic.
std::uint8_t TargetByte(DWORD fieldValue, bool readOnly);

// Byte-wise comparison of a version reply with the minimum firmware; true
// when the reply is older.
bool IsOlderFirmware(const char* reply);

// How an operation, or the version query alone, ended: one value per
// closing message (and kDeclined, which has none), so that a caller can act
// on the outcome without reading the text it showed.
enum class EOperationOutcome {
    kReplied,          // version query: reply holds what came back
    kSwitched,         // the adapter left its serial ports after the command
    kReturned,         // an adapter port came back
    kNotFound,         // switch: fewer than two adapter ports
    kPortUnavailable,  // the adapter's port would not open
    kNoResponse,       // nothing had arrived after the wait, or the read failed
    kOldFirmware,      // switch: the reply is older than kMinimumFirmware
    kDeclined,         // the question was answered no
    kUnknownError,     // switch: the command did not go out, or the port stayed
    kAlreadyNormal,    // return: the adapter's ports are there already
    kNotBack,          // return: no adapter port came back
};

// The switch's first exchange with the adapter, which a look at its state
// shares: sets port up for COM port portNumber with the adapter's line
// settings, opens it, sends the version query, waits and reads what has
// arrived, at most kVersionReplyMax bytes, into reply (always
// NUL-terminated). The port stays open for the caller. kReplied,
// kPortUnavailable or kNoResponse.
EOperationOutcome QueryFirmwareVersion(COperationHost& host, ZRK::CSerialPort& port,
                                       WORD portNumber, char (&reply)[kVersionReplyMax + 1]);

// The switch to the mass-storage state, for the target the field holds
// (0 when it holds nothing) and the read-only box. When firmware is not
// null it receives the adapter's version reply as it came, once there is
// one.
EOperationOutcome SwitchToMassStorage(COperationHost& host, CMessageBoxes& boxes, DWORD targetId,
                                      bool readOnly, std::string* firmware = nullptr);

// The return to the normal state.
EOperationOutcome ReturnToNormal(COperationHost& host, CMessageBoxes& boxes);

}  // namespace Tolvane
