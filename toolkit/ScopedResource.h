// Move-only owners of Win32 resources. Each owner type names its release
// function through a traits struct; copies are deleted, moves hand the
// resource over, and reset() releases the old value first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

template <typename Traits>
class CScopedResource {
public:
    using Type = typename Traits::Type;

    CScopedResource() = default;
    // Takes over value, which the caller owned.
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
    // Releases the held value and hands out the empty slot for a function
    // that returns a new resource through a pointer.
    Type* put() {
        reset();
        return &m_value;
    }

private:
    Type m_value = Traits::Empty();
};

// The traits of a handle that goes back to the system through ReleaseFunction
// and whose "no handle" value is EmptyValue (null unless said otherwise).
template <typename Handle, auto ReleaseFunction, intptr_t EmptyValue = 0>
struct HandleTraits {
    using Type = Handle;
    static Type Empty() {
        if constexpr (std::is_pointer_v<Type>) {
            return reinterpret_cast<Type>(EmptyValue);
        } else {
            return static_cast<Type>(EmptyValue);  // a handle that is a number, such as a SOCKET
        }
    }
    static bool IsValid(Type value) { return value != Empty(); }
    static void Release(Type value) { ReleaseFunction(value); }
};

// An owner of such a handle, declared in one line:
// using CMenu = CScopedHandle<HMENU, ::DestroyMenu>;
template <typename Handle, auto ReleaseFunction, intptr_t EmptyValue = 0>
using CScopedHandle = CScopedResource<HandleTraits<Handle, ReleaseFunction, EmptyValue>>;

// A kernel handle. Both null and INVALID_HANDLE_VALUE count as no handle, so
// CreateFileW's failure value can be taken as it comes.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr && value != INVALID_HANDLE_VALUE; }
    static void Release(Type value) { ::CloseHandle(value); }
};
using CHandle = CScopedResource<KernelHandleTraits>;

// A library loaded for a moment (LoadLibraryW / FreeLibrary).
using CLibrary = CScopedHandle<HMODULE, ::FreeLibrary>;

// A directory listing (FindFirstFileW / FindClose); its failure value is
// INVALID_HANDLE_VALUE (-1).
using CFileFind = CScopedHandle<HANDLE, ::FindClose, -1>;

// A menu loaded from a resource or created (DestroyMenu). Its submenus
// belong to it.
using CMenu = CScopedHandle<HMENU, ::DestroyMenu>;
