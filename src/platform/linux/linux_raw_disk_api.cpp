#include "platform/linux/linux_raw_disk_api.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace Tolvane {
namespace Linux {

bool ParsePhysicalDrivePath(const char* path, unsigned* number) {
    if (path == nullptr) {
        return false;
    }
    std::string s = path;
    if (s.compare(0, 4, "\\\\.\\") == 0) {
        s.erase(0, 4);
    }
    static const char kPrefix[] = "PhysicalDrive";
    const std::size_t prefixLength = sizeof kPrefix - 1;
    unsigned long n = 0;
    if (s.size() <= prefixLength || strncasecmp(s.c_str(), kPrefix, prefixLength) != 0 ||
        !ParseDecimal(s.substr(prefixLength), 99999, &n)) {
        return false;
    }
    *number = static_cast<unsigned>(n);
    return true;
}

void StorePassThroughReply(const PassThroughLayout& layout, const PassThroughRequest& request,
                           std::uint8_t status, const std::uint8_t* sense, std::size_t senseLength,
                           void* outBuffer, DWORD* returned) {
    auto* out = static_cast<std::uint8_t*>(outBuffer);
    const auto length =
        static_cast<std::uint8_t>(std::min<std::size_t>(senseLength, request.senseInfoLength));
    out[layout.offScsiStatus] = status;
    out[layout.offSenseInfoLength] = length;
    std::memset(out + layout.offDataTransferLength, 0, 4);
    if (length != 0) {
        std::memcpy(out + request.senseInfoOffset, sense, length);
    }
    if (returned != nullptr) {
        *returned =
            length != 0 ? request.senseInfoOffset + length : static_cast<DWORD>(layout.structSize);
    }
}

CLinuxRawDiskApi::CLinuxRawDiskApi(CSystemError& reasons, CSysfs sysfs)
    : m_reasons(reasons), m_sysfs(std::move(sysfs)) {}

HANDLE CLinuxRawDiskApi::CreateFileA(LPCSTR path, DWORD /*access*/, DWORD /*shareMode*/,
                                     void* /*security*/, DWORD /*creation*/, DWORD /*flags*/,
                                     HANDLE /*templateFile*/) {
    unsigned number = 0;
    if (!ParsePhysicalDrivePath(path, &number)) {
        return INVALID_HANDLE_VALUE;
    }
    for (const UsbDiskInfo& disk : m_sysfs.ListUsbDisks()) {
        if (disk.driveNumber == static_cast<int>(number)) {
            Drive drive{disk.genericPath, CSgDevice()};
            if (m_reasons.Note(drive.node, drive.sg.Open(drive.node)) != 0) {
                return INVALID_HANDLE_VALUE;
            }
            return m_drives.Add(std::move(drive));
        }
    }
    return INVALID_HANDLE_VALUE;
}

BOOL CLinuxRawDiskApi::DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize,
                                       void* outBuffer, DWORD outSize, DWORD* returned,
                                       void* overlapped) {
    Drive* drive = m_drives.Find(device);
    if (returned != nullptr) {
        *returned = 0;
    }
    const PassThroughLayout layout = PassThroughLayout::Native();
    PassThroughRequest request{};
    if (drive == nullptr || code != ZRK::kIoctlScsiPassThroughDirect || overlapped != nullptr ||
        inBuffer == nullptr || !ParsePassThroughRecord(layout, inBuffer, inSize, &request) ||
        request.dataTransferLength != 0 || request.dataBuffer != 0 ||
        request.dataIn > kScsiIoctlDataUnspecified || outBuffer == nullptr ||
        outSize < layout.structSize ||
        (request.senseInfoLength != 0 &&
         static_cast<std::uint64_t>(request.senseInfoOffset) + request.senseInfoLength > outSize)) {
        return FALSE;
    }
    std::uint8_t sense[UCHAR_MAX + 1] = {};
    std::uint8_t status = 0;
    std::size_t senseLength = 0;
    const unsigned timeoutMs =
        request.timeOutValue > UINT_MAX / 1000u ? UINT_MAX : request.timeOutValue * 1000u;
    if (m_reasons.Note(drive->node,
                       drive->sg.SendNoData(request.cdb, request.cdbLength, timeoutMs, sense,
                                            request.senseInfoLength, &status, &senseLength)) != 0) {
        return FALSE;
    }
    StorePassThroughReply(layout, request, status, sense, senseLength, outBuffer, returned);
    return TRUE;
}

BOOL CLinuxRawDiskApi::CloseHandle(HANDLE device) {
    if (!m_drives.Remove(device)) {
        return FALSE;
    }
    return TRUE;
}

}  // namespace Linux
}  // namespace Tolvane
