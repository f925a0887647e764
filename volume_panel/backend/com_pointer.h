// Holds one reference to a COM object and releases it when it goes out of scope, so
// that every path out of a sequence of COM calls lets go of what it obtained.
#pragma once

#include <unknwn.h>

namespace volume {

template <typename Interface>
class ComPointer
{
public:
    ComPointer() = default;
    ~ComPointer() { reset(); }

    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    Interface* operator->() const { return object; }
    Interface* get() const { return object; }
    explicit operator bool() const { return object != nullptr; }

    // The address to hand to a call that returns a new reference; drops the old one first.
    Interface** put()
    {
        reset();
        return &object;
    }

    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset()
    {
        if (object != nullptr)
            object->Release();
        object = nullptr;
    }

    // Hands the reference to the caller.
    Interface* release()
    {
        Interface* released = object;
        object = nullptr;
        return released;
    }

private:
    Interface* object = nullptr;
};

}  // namespace volume
