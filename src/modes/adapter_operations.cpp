#include "modes/adapter_operations.h"

#include <cstring>
#include <vector>

#include "comm/serial_port.h"
#include "lib/text_string.h"
#include "modes/pass_through.h"
#include "tolvane_texts.h"

namespace Tolvane {

std::uint8_t TargetByte(DWORD fieldValue, bool readOnly) {
    const unsigned id = fieldValue & 0xFFu;
    return static_cast<std::uint8_t>(0x30u + id + (readOnly ? 0x00u : 0x80u));
}

bool IsOlderFirmware(const char* reply) {
    // Plain unsigned byte order, no locale: "v0.5" and "w" are newer,
    // "v0.4" (a proper prefix) older.
    return std::strcmp(reply, kMinimumFirmware) < 0;
}

EOperationOutcome QueryFirmwareVersion(COperationHost& host, ZRK::CSerialPort& port,
                                       WORD portNumber, char (&reply)[kVersionReplyMax + 1]) {
    ZRK::SerialParameters parameters;
    parameters.devicePath = ZRK::CSerialPort::MakeDevicePath(portNumber);
    parameters.baudRate = kAdapterBaudRate;
    parameters.byteSize = 8;
    parameters.parity = NOPARITY;
    parameters.stopBits = ONESTOPBIT;
    port.SetParameters(parameters);

    port.Close();
    if (port.OpenPort() != 0) {
        return EOperationOutcome::kPortUnavailable;
    }
    port.RenameDescriptor();

    port.Send(1, &kVersionQuery);
    host.Sleep(kVersionReplyWaitMs);

    std::memset(reply, 0, kVersionReplyMax + 1);
    const int received = port.Receive(kVersionReplyMax, reply);
    reply[kVersionReplyMax] = '\0';
    // A failed read says nothing about the firmware: it is reported like no
    // reply at all rather than as an old version with an empty name.
    return received <= 0 ? EOperationOutcome::kNoResponse : EOperationOutcome::kReplied;
}

namespace {

// Shows text and hands outcome on, so that each way out of an operation is
// one line.
EOperationOutcome Tell(CMessageBoxes& boxes, const char* text, EOperationOutcome outcome) {
    boxes.MessageBox(text, MB_OK);
    return outcome;
}

EOperationOutcome Tell(CMessageBoxes& boxes, const CText& text, EOperationOutcome outcome) {
    return Tell(boxes, text.In(boxes.Language()), outcome);
}

}  // namespace

EOperationOutcome SwitchToMassStorage(COperationHost& host, CMessageBoxes& boxes, DWORD targetId,
                                      bool readOnly, std::string* firmware) {
    const ZRK::CSharedArray<WORD> ports = host.FindUsbComPorts(kAdapterVendorId, kAdapterProductId);
    if (ports.GetSize() < kAdapterPortCount) {
        return Tell(boxes, Text::kAdapterNotFoundMaybeMass, EOperationOutcome::kNotFound);
    }

    // All traffic goes through the lowest-numbered interface. The second one
    // is left alone: it would need opening before anything could reach it,
    // and the adapter switches on the first.
    ZRK::CSerialPort port(host.Serial());
    char reply[kVersionReplyMax + 1] = {};
    const EOperationOutcome query = QueryFirmwareVersion(host, port, ports.At(0), reply);
    if (query == EOperationOutcome::kPortUnavailable) {
        return Tell(boxes, Text::kPortNotFound, query);
    }
    if (query != EOperationOutcome::kReplied) {
        return Tell(boxes, Text::kNoResponse, EOperationOutcome::kNoResponse);
    }
    if (firmware != nullptr) {
        *firmware = reply;
    }

    if (IsOlderFirmware(reply)) {
        return Tell(boxes,
                    ZRK::CTextString::Format(Text::kOldVersionFormat.In(boxes.Language()), reply),
                    EOperationOutcome::kOldFirmware);
    }

    if (boxes.Show(Text::kAskSwitchToMass, MB_YESNO) != IDYES) {
        return EOperationOutcome::kDeclined;
    }

    const std::uint8_t command[2] = {kSwitchCommand, TargetByte(targetId, readOnly)};
    const int sent = port.Send(2, command);
    host.Sleep(kSwitchWaitMs);
    // A port that refused the command is gone for another reason (cable
    // pulled, adapter reset while the question was open): that is no switch.
    if (sent != 2) {
        return Tell(boxes, Text::kUnknownError, EOperationOutcome::kUnknownError);
    }

    // The adapter leaves its serial interfaces to come back as a disk: a
    // port that no longer answers is the sign of success.
    if (port.CheckState() == ZRK::CCommunication::kStateUnusable) {
        return Tell(boxes, Text::kSwitchedToMass, EOperationOutcome::kSwitched);
    }
    return Tell(boxes, Text::kUnknownError, EOperationOutcome::kUnknownError);
}

EOperationOutcome ReturnToNormal(COperationHost& host, CMessageBoxes& boxes) {
    ZRK::CSharedArray<WORD> ports = host.FindUsbComPorts(kAdapterVendorId, kAdapterProductId);
    if (ports.GetSize() >= kAdapterPortCount) {
        return Tell(boxes, Text::kAlreadyNormal, EOperationOutcome::kAlreadyNormal);
    }
    if (boxes.Show(Text::kAskReturnToNormal, MB_YESNO) != IDYES) {
        return EOperationOutcome::kDeclined;
    }

    // The adapter's disk is not looked for: every drive that opens gets the
    // command, and only the adapter understands it.
    ZRK::CRawDiskApi& disks = host.RawDisk();
    const PassThroughLayout layout = PassThroughLayout::Native();
    for (int n = kFirstDriveNumber; n <= kLastDriveNumber; ++n) {
        const ZRK::CTextString path = ZRK::CTextString::Format("\\\\.\\PhysicalDrive%d", n);
        HANDLE drive = disks.CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr);
        if (drive == INVALID_HANDLE_VALUE) {
            continue;
        }
        std::vector<std::uint8_t> record = BuildReturnCommandRecord(layout);
        DWORD returned = 0;
        const DWORD size = static_cast<DWORD>(record.size());
        disks.DeviceIoControl(drive, ZRK::kIoctlScsiPassThroughDirect, record.data(), size,
                              record.data(), size, &returned, nullptr);
        disks.CloseHandle(drive);
    }

    for (int look = 0; look < kPortLooks; ++look) {
        host.Sleep(kPortLookIntervalMs);
        ports = host.FindUsbComPorts(kAdapterVendorId, kAdapterProductId);
        if (ports.GetSize() != 0) {
            break;
        }
    }

    if (ports.GetSize() == 0) {
        return Tell(boxes, Text::kAdapterNotFoundPowerCycle, EOperationOutcome::kNotBack);
    }
    return Tell(boxes, Text::kReturnedToNormal, EOperationOutcome::kReturned);
}

}  // namespace Tolvane
