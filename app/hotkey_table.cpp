#include "app/hotkey_table.h"

#include <utility>

namespace {

// Clears the flag however the callback ends, exceptions included.
class DispatchingScope {
public:
    explicit DispatchingScope(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    DispatchingScope(const DispatchingScope&) = delete;
    DispatchingScope& operator=(const DispatchingScope&) = delete;
    ~DispatchingScope() { flag_ = false; }

private:
    bool& flag_;
};

} // namespace

bool HotkeyTable::store(HotkeyId id, HotkeyCallback callback)
{
    if (!callback) {
        return false;
    }
    callbacks_[id] = std::move(callback);
    return true;
}

std::size_t HotkeyTable::remove(HotkeyId id)
{
    return callbacks_.erase(id);
}

bool HotkeyTable::contains(HotkeyId id) const
{
    return callbacks_.find(id) != callbacks_.end();
}

void HotkeyTable::clear()
{
    callbacks_.clear();
}

bool HotkeyTable::dispatch(HotkeyId id)
{
    const auto entry = callbacks_.find(id);
    if (entry == callbacks_.end() || dispatching_ || !entry->second) {
        return false;
    }
    const HotkeyCallback callback = entry->second;
    // Declared after the copy so the flag is cleared before the copy is destroyed.
    const DispatchingScope scope(dispatching_);
    callback();
    return true;
}
