// Owners of GDI resources: device contexts, the objects the caller created,
// and the selection of an object into a device context.
#pragma once

#include <windows.h>

#include <utility>

#include "toolkit/ScopedResource.h"

// A GDI object the caller created (DeleteObject).
template <typename Handle>
using CGdiObject = CScopedHandle<Handle, ::DeleteObject>;
using CBrush = CGdiObject<HBRUSH>;
using CBitmap = CGdiObject<HBITMAP>;

// A memory device context (CreateCompatibleDC / DeleteDC).
class CMemoryDC : public CScopedHandle<HDC, ::DeleteDC> {
public:
    CMemoryDC() = default;
    // A new memory device context compatible with compatibleWith (null: the
    // screen); empty when it could not be made.
    explicit CMemoryDC(HDC compatibleWith) : CScopedResource(::CreateCompatibleDC(compatibleWith)) {}
};

// A window's device context (GetDC / ReleaseDC), which goes back to the
// window it came from. Move-only; reset() gives it back early.
class CWindowDC {
public:
    CWindowDC() = default;
    // The device context of window (null: the screen).
    explicit CWindowDC(HWND window) : m_hWnd(window), m_hDC(::GetDC(window)) {}
    ~CWindowDC() { reset(); }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    CWindowDC(CWindowDC&& other) noexcept
        : m_hWnd(std::exchange(other.m_hWnd, nullptr)), m_hDC(std::exchange(other.m_hDC, nullptr)) {}
    CWindowDC& operator=(CWindowDC&& other) noexcept {
        if (this != &other) {
            reset();
            m_hWnd = std::exchange(other.m_hWnd, nullptr);
            m_hDC = std::exchange(other.m_hDC, nullptr);
        }
        return *this;
    }

    HDC get() const { return m_hDC; }
    explicit operator bool() const { return m_hDC != nullptr; }
    void reset() {
        if (m_hDC) ::ReleaseDC(m_hWnd, m_hDC);
        m_hWnd = nullptr;
        m_hDC = nullptr;
    }

private:
    HWND m_hWnd = nullptr;
    HDC m_hDC = nullptr;
};

// An object selected into a device context for one scope; the previous one
// is selected back when the scope ends.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hPrevious(::SelectObject(dc, object)) {}
    ~CSelectObject() {
        if (m_hPrevious) ::SelectObject(m_hDC, m_hPrevious);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hPrevious;
};
