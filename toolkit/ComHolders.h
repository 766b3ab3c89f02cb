// Owners of COM resources for one scope: an interface pointer released and
// a BSTR freed when the scope ends.
#pragma once

#include <windows.h>
#include <oleauto.h>

// An interface pointer released when it goes out of scope.
template <typename Interface>
class CComHolder {
public:
    CComHolder() = default;
    ~CComHolder() {
        if (m_p) m_p->Release();
    }
    CComHolder(const CComHolder&) = delete;
    CComHolder& operator=(const CComHolder&) = delete;

    Interface** Out() { return &m_p; }
    void** OutVoid() { return reinterpret_cast<void**>(&m_p); }
    Interface* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    Interface* Get() const { return m_p; }

private:
    Interface* m_p = nullptr;
};

// A BSTR freed when it goes out of scope.
class CBstr {
public:
    explicit CBstr(const wchar_t* text) : m_text(::SysAllocString(text)) {}
    ~CBstr() { ::SysFreeString(m_text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_text; }

private:
    BSTR m_text;
};
