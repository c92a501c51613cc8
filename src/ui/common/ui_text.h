// Texts that both Linux front-ends build: a message filled in, and bytes
// that came from a device or from the user, made safe for a terminal.
#pragma once

#include <string>

namespace Tolvane {
namespace Ui {

// format with its first "%s" replaced by arg (byte strings); a format without
// "%s" comes back unchanged. Unlike printf, arg is never read as a format.
std::string FillIn(const std::string& format, const std::string& arg);

// Bytes from a device (a version reply, a disk's vendor and model) for any
// output: printable ASCII as it is, every other byte as \xNN, so that no
// device can send the terminal an escape sequence.
std::string DeviceText(const std::string& raw);

// A command-line argument inside a message: the user's bytes as they came
// (in the user's own encoding), control characters as \xNN.
std::string ArgumentText(const std::string& raw);

}  // namespace Ui
}  // namespace Tolvane
