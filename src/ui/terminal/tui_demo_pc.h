// The virtual PC as the demo runs it: in real time, with a word to the
// screen before each of its waits, so that the status line follows an
// operation that blocks the dialog.
#pragma once

#include <functional>

#include "platform/sim/virtual_pc.h"

namespace Tolvane {
namespace Tui {

class CDemoPC : public Sim::CVirtualPC {
public:
    explicit CDemoPC(Sim::VirtualPcConfig config) : Sim::CVirtualPC(withRealTime(config)) {}

    std::function<void()> onSleep;

protected:
    void RealSleep(DWORD milliseconds) override {
        if (onSleep) {
            onSleep();
        }
        Sim::CVirtualPC::RealSleep(milliseconds);
    }

private:
    static Sim::VirtualPcConfig withRealTime(Sim::VirtualPcConfig config) {
        config.realTime = true;
        return config;
    }
};

}  // namespace Tui
}  // namespace Tolvane
