// The handles the simulator hands out in place of kernel handles and SetupAPI device
// information sets, and what each stands for: a device information set, a filter or a
// pin instance.
//
// Every value has the low bits 10: real kernel handles are multiples of 4 and a real
// HDEVINFO is a heap pointer, so no real handle can be taken for a simulated one. The
// values only grow, so a closed handle stays invalid.
#pragma once

#include <windows.h>

#include <map>
#include <utility>
#include <variant>

#include "hardware_simulator/device_info_set.h"
#include "hardware_simulator/open_filter.h"
#include "hardware_simulator/open_pin.h"

namespace hardware_simulator {

class HandleTable {
public:
    template <typename Object>
    ULONG_PTR Add(Object object)
    {
        ULONG_PTR handle = next_;
        next_ += 4;
        entries_.emplace(handle, std::move(object));
        return handle;
    }

    // The object behind `handle`, or null when it is no open handle of that kind.
    template <typename Object>
    Object* Find(ULONG_PTR handle)
    {
        auto entry = entries_.find(handle);
        return entry == entries_.end() ? nullptr : std::get_if<Object>(&entry->second);
    }

    template <typename Object>
    bool Remove(ULONG_PTR handle)
    {
        if (Find<Object>(handle) == nullptr) return false;
        entries_.erase(handle);
        return true;
    }

    template <typename Object>
    unsigned Count() const
    {
        unsigned count = 0;
        for (const auto& entry : entries_) count += std::holds_alternative<Object>(entry.second) ? 1 : 0;
        return count;
    }

    // Calls `visit(handle, object)` for every open handle of that kind, in handle order.
    template <typename Object, typename Visit>
    void ForEach(Visit visit)
    {
        for (auto& entry : entries_)
            if (Object* object = std::get_if<Object>(&entry.second)) visit(entry.first, *object);
    }

    void Clear() { entries_.clear(); }

private:
    std::map<ULONG_PTR, std::variant<DeviceInfoSet, OpenFilter, OpenPin>> entries_;
    ULONG_PTR next_ = 0x4B530002;
};

}  // namespace hardware_simulator
