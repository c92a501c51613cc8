// Virtual time for the virtual PC: nothing waits for real, every Sleep of a
// virtual device or host only moves this clock, and timed events (an adapter
// leaving the bus 300 ms after a command) fire when the clock passes them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

namespace Tolvane {
namespace Sim {

class CVirtualClock {
public:
    using Millis = std::uint64_t;

    Millis Now() const { return m_now; }

    // Moves time forward, firing every due event in time order (events
    // scheduled by an event fire too, when they fall inside the step).
    void Advance(Millis ms) {
        const Millis target = m_now + ms;
        for (;;) {
            auto next = m_events.begin();
            if (next == m_events.end() || next->first.first > target) {
                break;
            }
            auto action = std::move(next->second);
            m_now = next->first.first;
            m_events.erase(next);
            action();
        }
        m_now = target;
    }

    // Runs action once the clock reaches Now() + delay (at once for 0 only
    // when the clock next moves or Advance(0) is called).
    void Schedule(Millis delay, std::function<void()> action) {
        m_events.emplace(std::make_pair(m_now + delay, m_sequence++), std::move(action));
    }

private:
    Millis m_now = 0;
    std::uint64_t m_sequence = 0;
    std::map<std::pair<Millis, std::uint64_t>, std::function<void()>> m_events;
};

}  // namespace Sim
}  // namespace Tolvane
