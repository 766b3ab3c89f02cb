// Holds an object that is constructed in the usual order but never destroyed.
// For objects whose threads may still run while the process ends.
#pragma once

#include <new>
#include <utility>

template <typename T>
class CNoDestroy {
public:
    template <typename... Args>
    explicit CNoDestroy(Args&&... args) {
        new (m_storage) T(std::forward<Args>(args)...);
    }
    CNoDestroy(const CNoDestroy&) = delete;
    CNoDestroy& operator=(const CNoDestroy&) = delete;

    T& Get() { return *std::launder(reinterpret_cast<T*>(m_storage)); }
    T* operator->() { return &Get(); }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};
