// The pass-through record as this Windows build's own headers lay it out,
// for checking the portable serialiser against the system's structure.
#pragma once

#include "modes/pass_through.h"

namespace ZRK {

// Offsets and sizes of SCSI_PASS_THROUGH_DIRECT taken with offsetof/sizeof
// from the system headers, with the 32-byte sense area behind it.
Tolvane::PassThroughLayout SystemPassThroughLayout();

// Whether every offset and size of the given layout is the system's.
bool MatchesSystemPassThroughLayout(const Tolvane::PassThroughLayout& layout);

}  // namespace ZRK
