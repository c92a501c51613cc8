// Arbitrary line speeds. The kernel's termios2 interface lives in
// <asm/termbits.h>, whose struct termios clashes with the C library's
// <termios.h>, so it is kept in a translation unit of its own behind these
// two plain functions.
#pragma once

namespace Tolvane {
namespace Linux {

// Sets input and output speed to rate through TCSETS2/BOTHER, leaving every
// other setting as it is. 0 on success, else the errno of the failed call
// (ENOTTY where the kernel has no termios2).
int SetArbitraryBaudRate(int fd, unsigned rate);

// The output speed in bits per second as the driver holds it (TCGETS2).
// 0 on success, else the errno of the failed call.
int GetActualBaudRate(int fd, unsigned* rate);

}  // namespace Linux
}  // namespace Tolvane
