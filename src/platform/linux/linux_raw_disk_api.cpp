#include "platform/linux/linux_raw_disk_api.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <tuple>

namespace Tolvane {
namespace Linux {

namespace {

// Host and driver bytes of an SG_IO result (the kernel's values).
constexpr unsigned kDidNoConnect = 0x01;
constexpr unsigned kDidTimeOut = 0x03;
constexpr unsigned kDidBadTarget = 0x04;
constexpr unsigned kDriverTimeout = 0x06;
constexpr unsigned kDriverSense = 0x08;

constexpr std::uint8_t kMaxDataDirection = 2;

// The unit of a block device's size attribute, whatever its sector size.
constexpr std::uint64_t kSectorBytes = 512;

bool ParseScsiAddress(const std::string& name, ScsiAddress* address) {
    unsigned long parts[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t colon = name.find(':', start);
        if ((i < 3) != (colon != std::string::npos)) {
            return false;
        }
        const std::size_t end = i < 3 ? colon : name.size();
        if (!ParseDecimal(name.substr(start, end - start), 0xFFFFFFFFul, &parts[i])) {
            return false;
        }
        start = end + 1;
    }
    *address = ScsiAddress{parts[0], parts[1], parts[2], parts[3]};
    return true;
}

std::string ParentDir(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Whether some directory above deviceDir (up to the sysfs root) is a USB
// device or interface.
bool AttachedThroughUsb(const std::string& deviceDir, const std::string& root) {
    for (std::string dir = ParentDir(deviceDir); dir.size() > root.size() && dir != "/";
         dir = ParentDir(dir)) {
        if (LinkTargetName(dir + "/subsystem") == "usb") {
            return true;
        }
    }
    return false;
}

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The disk driver's block device below the SCSI device, when there is one
// with a name fit for a device path, with its size and read-only flag.
void ReadBlockNode(const std::string& scsiDir, UsbScsiDisk* disk) {
    for (const std::string& node : ListDirectory(scsiDir + "/block")) {
        if (!std::all_of(node.begin(), node.end(), IsAsciiAlnum)) {
            continue;
        }
        disk->blockNode = node;
        const std::string dir = scsiDir + "/block/" + node;
        std::string text;
        std::uint64_t sectors = 0;
        if (ReadTrimmedAttribute(dir + "/size", &text) &&
            ParseDecimal64(text, UINT64_MAX / kSectorBytes, &sectors)) {
            disk->sizeBytes = sectors * kSectorBytes;
        }
        disk->readOnly = ReadTrimmedAttribute(dir + "/ro", &text) && text == "1";
        return;
    }
}

// Drive N of the raw-disk calls: the N-th listed disk that has a generic
// node.
const UsbScsiDisk* NumberedDisk(const std::vector<UsbScsiDisk>& disks, unsigned number) {
    for (const UsbScsiDisk& disk : disks) {
        if (!disk.genericNode.empty() && number-- == 0) {
            return &disk;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<UsbScsiDisk> ListUsbScsiDisks(const std::string& sysfsRoot) {
    std::vector<UsbScsiDisk> disks;
    std::string root;
    if (!ResolvePath(sysfsRoot, &root)) {
        return disks;
    }
    const std::string devices = sysfsRoot + "/bus/scsi/devices";
    for (const std::string& name : ListDirectory(devices)) {
        UsbScsiDisk disk;
        std::string type;
        std::string real;
        if (!ParseScsiAddress(name, &disk.address) ||
            !ReadTrimmedAttribute(devices + "/" + name + "/type", &type) || type != "0" ||
            !ResolvePath(devices + "/" + name, &real) || !AttachedThroughUsb(real, root)) {
            continue;
        }
        const std::string dir = devices + "/" + name;
        for (const std::string& node : ListDirectory(dir + "/scsi_generic")) {
            unsigned long number = 0;
            if (ParseNumberedName(node, "sg", 0xFFFFFFFFul, &number)) {
                disk.genericNode = node;
                break;
            }
        }
        ReadBlockNode(dir, &disk);
        ReadTrimmedAttribute(dir + "/vendor", &disk.vendor);
        ReadTrimmedAttribute(dir + "/model", &disk.model);
        disks.push_back(disk);
    }
    std::sort(disks.begin(), disks.end(), [](const UsbScsiDisk& a, const UsbScsiDisk& b) {
        return std::tie(a.address.host, a.address.channel, a.address.target, a.address.lun) <
               std::tie(b.address.host, b.address.channel, b.address.target, b.address.lun);
    });
    return disks;
}

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

bool IsNoDataRequest(const PassThroughRequest& request) {
    return request.dataTransferLength == 0 && request.dataBuffer == 0 &&
           request.dataIn <= kMaxDataDirection;
}

sg_io_hdr_t BuildSgIoRequest(const PassThroughRequest& request, std::uint8_t* cdb,
                             std::uint8_t* sense) {
    sg_io_hdr_t h;
    std::memset(&h, 0, sizeof h);
    h.interface_id = 'S';
    h.dxfer_direction = SG_DXFER_NONE;
    std::memcpy(cdb, request.cdb, kCdbSize);
    h.cmdp = cdb;
    h.cmd_len = static_cast<unsigned char>(std::min<std::size_t>(request.cdbLength, kCdbSize));
    h.sbp = sense;
    h.mx_sb_len = request.senseInfoLength;
    h.dxferp = nullptr;
    h.dxfer_len = 0;
    h.timeout = request.timeOutValue > UINT_MAX / 1000u ? UINT_MAX : request.timeOutValue * 1000u;
    return h;
}

DWORD StoreSgIoResult(const sg_io_hdr_t& result, const PassThroughLayout& layout,
                      const PassThroughRequest& request, const std::uint8_t* sense, void* outBuffer,
                      DWORD* returned) {
    auto* out = static_cast<std::uint8_t*>(outBuffer);
    const std::uint8_t senseLength =
        static_cast<std::uint8_t>(std::min<unsigned>(result.sb_len_wr, request.senseInfoLength));
    out[layout.offScsiStatus] = result.status;
    out[layout.offSenseInfoLength] = senseLength;
    std::memset(out + layout.offDataTransferLength, 0, 4);
    if (senseLength != 0) {
        std::memcpy(out + request.senseInfoOffset, sense, senseLength);
    }
    if (returned != nullptr) {
        *returned = senseLength != 0 ? request.senseInfoOffset + senseLength
                                     : static_cast<DWORD>(layout.structSize);
    }
    const unsigned host = result.host_status;
    const unsigned driver = result.driver_status & 0x0Fu;
    if (host == kDidTimeOut || driver == kDriverTimeout) {
        return ERROR_SEM_TIMEOUT;
    }
    if (host == kDidNoConnect || host == kDidBadTarget) {
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    if (host != 0 || (driver != 0 && driver != kDriverSense)) {
        return ERROR_IO_DEVICE;
    }
    return ERROR_SUCCESS;
}

CLinuxRawDiskApi::CLinuxRawDiskApi(std::string sysfsRoot, std::string deviceDir)
    : m_sysfsRoot(std::move(sysfsRoot)), m_deviceDir(std::move(deviceDir)) {}

CLinuxRawDiskApi::~CLinuxRawDiskApi() {
    for (int fd : m_drives.TakeAll()) {
        close(fd);
    }
}

BOOL CLinuxRawDiskApi::Fail(DWORD code) {
    m_lastError = code;
    return FALSE;
}

HANDLE CLinuxRawDiskApi::CreateFileA(LPCSTR path, DWORD /*access*/, DWORD /*shareMode*/,
                                     void* /*security*/, DWORD creation, DWORD /*flags*/,
                                     HANDLE /*templateFile*/) {
    unsigned number = 0;
    if (creation != OPEN_EXISTING) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!ParsePhysicalDrivePath(path, &number)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::vector<UsbScsiDisk> disks = ListUsbScsiDisks(m_sysfsRoot);
    const UsbScsiDisk* disk = NumberedDisk(disks, number);
    if (disk == nullptr) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::string node = m_deviceDir + "/" + disk->genericNode;
    int fd;
    do {
        fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        Fail(WinErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    return m_drives.Add(fd);
}

BOOL CLinuxRawDiskApi::DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize,
                                       void* outBuffer, DWORD outSize, DWORD* returned,
                                       void* overlapped) {
    const int* fd = m_drives.Find(device);
    if (fd == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (returned != nullptr) {
        *returned = 0;
    }
    if (code != ZRK::kIoctlScsiPassThroughDirect) {
        return Fail(ERROR_INVALID_FUNCTION);
    }
    const PassThroughLayout layout = PassThroughLayout::Native();
    PassThroughRequest request{};
    if (overlapped != nullptr || inBuffer == nullptr ||
        !ParsePassThroughRecord(layout, inBuffer, inSize, &request) || !IsNoDataRequest(request) ||
        // Only the adapter's return command goes out: some no-data commands
        // (FORMAT UNIT among them) destroy a disk without moving any data.
        request.cdb[0] != kReturnCommandOpcode || outBuffer == nullptr ||
        outSize < layout.structSize ||
        (request.senseInfoLength != 0 &&
         static_cast<std::uint64_t>(request.senseInfoOffset) + request.senseInfoLength > outSize)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::uint8_t cdb[kCdbSize];
    std::uint8_t sense[UCHAR_MAX + 1] = {};
    sg_io_hdr_t h = BuildSgIoRequest(request, cdb, sense);
    if (ioctl(*fd, SG_IO, &h) != 0) {
        return Fail(WinErrorFromErrno(errno));
    }
    const DWORD result = StoreSgIoResult(h, layout, request, sense, outBuffer, returned);
    return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

BOOL CLinuxRawDiskApi::CloseHandle(HANDLE device) {
    int fd = -1;
    if (!m_drives.Remove(device, &fd)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    close(fd);
    return TRUE;
}

}  // namespace Linux
}  // namespace Tolvane
