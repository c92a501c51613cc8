// pty_adapter DIR [--firmware TEXT | --silent] [--stay] [--on-leave COMMAND]
//             [--lifetime SECONDS]
//
// The adapter in its normal state for the end-to-end tests, on the master
// sides of two pseudo-terminals: DIR/port0 and DIR/port1 link to the slave
// sides, which the test lays where the program under test looks for the
// adapter's two serial interfaces. It reads the wire with the virtual
// adapter's protocol reader: the version query gets the firmware text
// (default v0.41; none with --silent), and a switch command makes it leave the bus as
// a USB device does (unless --stay): both lines are hung up, so every later
// call on them fails, COMMAND runs (sh -c, with TOLVANE_TARGET and
// TOLVANE_WRITABLE set) and the program ends, as it does after SECONDS
// (default 60) whatever happens. A file named "unplug" created
// in DIR pulls the cable: the same without a switch.
//
// DIR/log gets one line per event, per port N:
//   open N / close N      the first slave descriptor opened, the last closed
//   line N SPEED FLAGS    the line settings when bytes arrive, when changed:
//                         cs5..cs8, [-]parenb, [-]parodd, [-]cstopb, [-]inpck
//   rx N HEX...           bytes received
//   gone                  off the bus
// DIR/ready appears once the ports are there, DIR/gone once it has left.
// It waits in poll, with a short time-out while a line has no reader (a
// pseudo-terminal master reports a hang-up until its slave is opened).
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string g_dir;
FILE* g_log = nullptr;

void Log(const std::string& text) {
    std::fprintf(g_log, "%s\n", text.c_str());
    std::fflush(g_log);
}

void Touch(const char* name) {
    std::fclose(std::fopen((g_dir + "/" + name).c_str(), "w"));
}

std::string Settings(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return "?";
    }
    static const char* const kSizes[] = {"cs5", "cs6", "cs7", "cs8"};
    const auto flag = [](bool on, const char* name) { return std::string(on ? " " : " -") + name; };
    return std::to_string(t.c_ospeed) + " " + kSizes[(t.c_cflag & CSIZE) >> 4] +
           flag(t.c_cflag & PARENB, "parenb") + flag(t.c_cflag & PARODD, "parodd") +
           flag(t.c_cflag & CSTOPB, "cstopb") + flag(t.c_iflag & INPCK, "inpck");
}

[[noreturn]] void Leave(Line (&lines)[2], const char* command, const AdapterRequest& request) {
    for (Line& line : lines) {
        close(line.master);
    }
    if (request.kind == AdapterRequest::EKind::kSwitch) {
        setenv("TOLVANE_TARGET", std::to_string(request.target).c_str(), 1);
        setenv("TOLVANE_WRITABLE", request.writable ? "1" : "0", 1);
    }
    if (command != nullptr && std::system(command) != 0) {
        Log("on-leave failed");
    }
    Log("gone");
    Touch("gone");
    std::exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pty_adapter DIR [options]\n");
        return 2;
    }
    g_dir = argv[1];
    std::string firmware = "v0.41";
    bool stay = false;
    const char* onLeave = nullptr;
    int lifetime = 60;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (option == "--stay" || option == "--silent") {
            stay = stay || option == "--stay";
            firmware = option == "--silent" ? "" : firmware;
            continue;
        }
        if (option == "--firmware") {
            firmware = value;
        } else if (option == "--on-leave") {
            onLeave = value;
        } else if (option == "--lifetime") {
            lifetime = std::atoi(value);
        }
        ++i;
    }
    g_log = std::fopen((g_dir + "/log").c_str(), "w");
    Line lines[2];
    for (int n = 0; n < 2; ++n) {
        lines[n].master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const char* slave = lines[n].master < 0 ? nullptr : ptsname(lines[n].master);
        if (g_log == nullptr || slave == nullptr || grantpt(lines[n].master) != 0 ||
            unlockpt(lines[n].master) != 0 ||
            symlink(slave, (g_dir + "/port" + std::to_string(n)).c_str()) != 0) {
            std::perror("pty_adapter");
            return 1;
        }
        // A master reports the hang-up of its slave only once the slave has
        // been open: open and close it once, so that "no reader" reads alike
        // before the first open and after each close.
        close(open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC));
    }
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, g_dir.c_str(), IN_CREATE | IN_MOVED_TO);
    Touch("ready");

    const Clock::time_point end = Clock::now() + std::chrono::seconds(lifetime);
    while (Clock::now() < end) {
        pollfd fds[3] = {{watch, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        bool waitingForReader = false;
        for (int n = 0; n < 2; ++n) {
            fds[n + 1].fd = lines[n].reader ? lines[n].master : -1;
            waitingForReader = waitingForReader || !lines[n].reader;
        }
        poll(fds, 3, waitingForReader ? kNoReaderTickMs : 1000);

        alignas(inotify_event) char events[4096];
        for (ssize_t got = read(watch, events, sizeof events), at = 0; got > 0 && at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->len != 0 && std::strcmp(event->name, "unplug") == 0) {
                Leave(lines, onLeave, AdapterRequest{});
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        for (int n = 0; n < 2; ++n) {
            Line& line = lines[n];
            const std::string port = std::to_string(n);
            pollfd probe{line.master, POLLIN, 0};
            poll(&probe, 1, 0);
            std::uint8_t bytes[256];
            const ssize_t got =
                (probe.revents & POLLIN) ? read(line.master, bytes, sizeof bytes) : 0;
            if (got > 0) {
                if (!line.reader) {  // opened, written and maybe closed within a tick
                    line.reader = true;
                    Log("open " + port);
                }
                const std::string settings = Settings(line.master);
                if (settings != line.settings) {
                    line.settings = settings;
                    Log("line " + port + " " + settings);
                }
                std::string hex = "rx " + port;
                for (ssize_t i = 0; i < got; ++i) {
                    char byte[4];
                    std::snprintf(byte, sizeof byte, " %02x", bytes[i]);
                    hex += byte;
                }
                Log(hex);
                for (ssize_t i = 0; i < got; ++i) {
                    const AdapterRequest request = line.protocol.Take(bytes[i]);
                    if (request.kind == AdapterRequest::EKind::kVersionQuery && !firmware.empty() &&
                        write(line.master, firmware.data(), firmware.size()) < 0) {
                        Log("reply failed");
                    } else if (request.kind == AdapterRequest::EKind::kSwitch && !stay) {
                        Leave(lines, onLeave, request);
                    }
                }
                continue;  // what is left is read before a hang-up counts
            }
            const bool reader = (probe.revents & POLLHUP) == 0;
            if (reader != line.reader) {
                line.reader = reader;
                Log((reader ? "open " : "close ") + port);
            }
        }
    }
    return 0;
}
