#pragma once
// The hotkey manager's table of callbacks and its guard against re-entrant commands.
#include <cstddef>
#include <functional>
#include <map>

using HotkeyId = int;
using HotkeyCallback = std::function<void()>;

class HotkeyTable {
public:
    // Stores the callable under the id, replacing (and destroying) any earlier one. An empty
    // callable is refused, so every entry can be run.
    bool store(HotkeyId id, HotkeyCallback callback);
    // Removes the id's entry; the number of entries removed (0 or 1).
    std::size_t remove(HotkeyId id);
    bool contains(HotkeyId id) const;
    void clear();

    // Runs the id's callback to its end and returns true; returns false and runs nothing when
    // the id has no entry or a callback is running already (a command raised while another one
    // pumps messages is dropped). The callback runs from a copy, so it may unregister itself.
    bool dispatch(HotkeyId id);
    bool dispatching() const noexcept { return dispatching_; }

private:
    bool dispatching_ = false;
    std::map<HotkeyId, HotkeyCallback> callbacks_;
};
