// Committed read-write pages that a pin instance shares with its client, released when
// the instance goes.
#pragma once

#include <windows.h>

#include <utility>

namespace hardware_simulator {

class VirtualMemory {
public:
    VirtualMemory() = default;
    // Address() is null when the pages could not be committed.
    explicit VirtualMemory(SIZE_T size)
        : address_(static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
    {
    }
    VirtualMemory(VirtualMemory&& other) noexcept : address_(std::exchange(other.address_, nullptr)) {}
    VirtualMemory& operator=(VirtualMemory&& other) noexcept
    {
        std::swap(address_, other.address_);
        return *this;
    }
    VirtualMemory(const VirtualMemory&) = delete;
    VirtualMemory& operator=(const VirtualMemory&) = delete;
    ~VirtualMemory()
    {
        if (address_ != nullptr) VirtualFree(address_, 0, MEM_RELEASE);
    }

    BYTE* Address() const { return address_; }

private:
    BYTE* address_ = nullptr;
};

}  // namespace hardware_simulator
