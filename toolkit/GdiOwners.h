// Scoped owners of GDI resources: each gives back what it took when the
// scope ends.
#pragma once

#include <windows.h>

#include "toolkit/ScopedResource.h"

// A window's device context (GetDC / ReleaseDC).
class CWindowDC {
public:
    explicit CWindowDC(HWND window) : m_hWnd(window), m_hDC(::GetDC(window)) {}
    ~CWindowDC() {
        if (m_hDC) ::ReleaseDC(m_hWnd, m_hDC);
    }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// A memory device context compatible with another (CreateCompatibleDC / DeleteDC).
class CMemoryDC {
public:
    explicit CMemoryDC(HDC compatibleWith) : m_hDC(::CreateCompatibleDC(compatibleWith)) {}
    ~CMemoryDC() {
        if (m_hDC) ::DeleteDC(m_hDC);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HDC m_hDC;
};

// An object selected into a device context, the previous one selected back.
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

// A GDI object the caller created (DeleteObject when the scope ends).
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Release(Type value) { ::DeleteObject(value); }
};
using CGdiObject = CScopedResource<GdiObjectTraits>;
