// pty_adapter DIR [--firmware TEXT | --silent] [--stay] [--leave-after MS]
//             [--on-leave COMMAND]
//
// The adapter in its normal state for the end-to-end tests, on the master
// sides of two pseudo-terminals: DIR/port0 and DIR/port1 link to the slave
// sides, which the test lays where the program under test looks for the
// adapter's two serial interfaces. It reads the wire with the virtual
// adapter's protocol reader: the version query gets the firmware text
// (default v0.41; none with --silent), and a switch command makes it leave
// the bus as a USB device does (not with --stay), as it also does MS
// milliseconds after it answered a version query (--leave-after): both lines
// are hung up, so that every later call on them fails, COMMAND runs (sh -c,
// with TOLVANE_TARGET and TOLVANE_WRITABLE set after a switch), DIR/gone
// appears and the program ends.
//
// DIR/log gets one line per event on port N:
//   open N / close N   the slave side's first descriptor opened, last closed
//   line N SETTINGS    the line when bytes arrive, if changed: the speed,
//                      cs5..cs8, [-]parenb, [-]parodd, [-]cstopb, [-]inpck
//   rx N HEX...        the bytes received
//   leave              leaving the bus
// It waits in poll, a tick at a time while a line has no reader (a master
// reports its slave's hang-up until the slave is opened again).
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sim/adapter_protocol.h"

namespace {

using Tolvane::Sim::AdapterRequest;
using Clock = std::chrono::steady_clock;

constexpr int kNoReaderTickMs = 10;

struct Line {
    int master = -1;
    bool reader = false;
    std::string settings;
    Tolvane::Sim::CAdapterLineReader protocol;
};

FILE* g_log = nullptr;

void Log(const std::string& text) {
    std::fprintf(g_log, "%s\n", text.c_str());
    std::fflush(g_log);
}

std::string Settings(int fd) {
    termios2 t{};
    ioctl(fd, TCGETS2, &t);
    static const char* const kSizes[] = {"cs5", "cs6", "cs7", "cs8"};
    const auto flag = [](bool on, const char* name) { return std::string(on ? " " : " -") + name; };
    return std::to_string(t.c_ospeed) + " " + kSizes[(t.c_cflag & CSIZE) >> 4] +
           flag(t.c_cflag & PARENB, "parenb") + flag(t.c_cflag & PARODD, "parodd") +
           flag(t.c_cflag & CSTOPB, "cstopb") + flag(t.c_iflag & INPCK, "inpck");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    std::string firmware = "v0.41";
    bool stay = false;
    const char* onLeave = "true";
    int leaveAfterMs = -1;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        stay = stay || option == "--stay";
        if (option == "--silent") {
            firmware.clear();
        } else if (option == "--firmware") {
            firmware = value;
        } else if (option == "--on-leave") {
            onLeave = value;
        } else if (option == "--leave-after") {
            leaveAfterMs = std::atoi(value);
        }
        i += option == "--firmware" || option == "--on-leave" || option == "--leave-after";
    }
    g_log = std::fopen((dir + "/log").c_str(), "w");
    Line lines[2];
    for (int n = 0; n < 2; ++n) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const char* slave = master < 0 ? nullptr : ptsname(master);
        if (g_log == nullptr || slave == nullptr || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("pty_adapter");
            return 1;
        }
        // A master reports its slave's hang-up only once the slave has been
        // open: opened and closed once, "no reader" reads alike before the
        // first open and after each close. DIR/port1 comes last: ready.
        close(open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC));
        lines[n].master = master;
        if (symlink(slave, (dir + "/port" + std::to_string(n)).c_str()) != 0) {
            std::perror("pty_adapter");
            return 1;
        }
    }

    AdapterRequest leave;  // kNone: not leaving (yet)
    Clock::time_point leaveAt = Clock::time_point::max();
    while (leave.kind == AdapterRequest::EKind::kNone && Clock::now() < leaveAt) {
        pollfd fds[2];
        bool waitingForReader = false;
        for (int n = 0; n < 2; ++n) {
            fds[n] = {lines[n].reader ? lines[n].master : -1, POLLIN, 0};
            waitingForReader = waitingForReader || !lines[n].reader;
        }
        const auto untilLeave =
            std::chrono::duration_cast<std::chrono::milliseconds>(leaveAt - Clock::now()).count();
        const bool leaving = leaveAt != Clock::time_point::max();
        poll(fds, 2,
             waitingForReader ? kNoReaderTickMs
             : leaving        ? std::max(0, int(untilLeave) + 1)
                              : -1);

        for (int n = 0; n < 2; ++n) {
            Line& line = lines[n];
            const std::string port = std::to_string(n);
            pollfd probe{line.master, POLLIN, 0};
            poll(&probe, 1, 0);
            std::uint8_t bytes[256];
            const ssize_t got =
                (probe.revents & POLLIN) ? read(line.master, bytes, sizeof bytes) : 0;
            // A hang-up counts once what was written before it has been read.
            const bool reader = got > 0 || (probe.revents & POLLHUP) == 0;
            if (reader != line.reader) {
                line.reader = reader;
                Log((reader ? "open " : "close ") + port);
            }
            if (got <= 0) {
                continue;
            }
            if (Settings(line.master) != line.settings) {
                line.settings = Settings(line.master);
                Log("line " + port + " " + line.settings);
            }
            std::string hex = "rx " + port;
            for (ssize_t i = 0; i < got; ++i) {
                char byte[4];
                std::snprintf(byte, sizeof byte, " %02x", bytes[i]);
                hex += byte;
                const AdapterRequest request = line.protocol.Take(bytes[i]);
                if (request.kind == AdapterRequest::EKind::kVersionQuery && !firmware.empty()) {
                    if (write(line.master, firmware.data(), firmware.size()) < 0) {
                        Log("reply failed");
                    }
                    if (leaveAfterMs >= 0) {
                        leaveAt = Clock::now() + std::chrono::milliseconds(leaveAfterMs);
                    }
                } else if (request.kind == AdapterRequest::EKind::kSwitch && !stay) {
                    leave = request;
                }
            }
            Log(hex);
        }
    }

    Log("leave");
    for (Line& line : lines) {
        close(line.master);
    }
    if (leave.kind == AdapterRequest::EKind::kSwitch) {
        setenv("TOLVANE_TARGET", std::to_string(leave.target).c_str(), 1);
        setenv("TOLVANE_WRITABLE", leave.writable ? "1" : "0", 1);
    }
    if (std::system(onLeave) != 0) {
        Log("on-leave failed");
    }
    std::fclose(std::fopen((dir + "/gone").c_str(), "w"));
    return 0;
}
