// Move-only owners of Win32 resources. Each owner type names its release
// function through a traits struct; copies are deleted, moves hand the
// resource over, and reset() releases the old value first.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class CScopedResource {
public:
    using Type = typename Traits::Type;

    CScopedResource() = default;
    explicit CScopedResource(Type value) : m_value(value) {}
    ~CScopedResource() { reset(); }

    CScopedResource(const CScopedResource&) = delete;
    CScopedResource& operator=(const CScopedResource&) = delete;
    CScopedResource(CScopedResource&& other) noexcept : m_value(other.release()) {}
    CScopedResource& operator=(CScopedResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Type get() const { return m_value; }
    explicit operator bool() const { return Traits::IsValid(m_value); }

    // Gives up ownership without releasing.
    Type release() { return std::exchange(m_value, Traits::Empty()); }
    // Releases the held value (if any) and takes value.
    void reset(Type value = Traits::Empty()) {
        const Type old = std::exchange(m_value, value);
        if (Traits::IsValid(old)) Traits::Release(old);
    }

private:
    Type m_value = Traits::Empty();
};

// A kernel handle. Both null and INVALID_HANDLE_VALUE count as no handle, so
// CreateFileW's failure value can be taken as it comes.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr && value != INVALID_HANDLE_VALUE; }
    static void Release(Type value) { ::CloseHandle(value); }
};
using CHandle = CScopedResource<KernelHandleTraits>;
