// Owners of COM resources: interface pointers, BSTRs, VARIANTs and safe
// arrays. All are move-only.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

#include "toolkit/ScopedResource.h"

template <typename Interface>
struct ComInterfaceTraits {
    using Type = Interface*;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Release(Type value) { value->Release(); }
};

// An interface pointer that holds one reference and releases it when it
// goes. Unlike ATL's CComPtr it cannot be copied: a second reference is
// always taken on purpose (AddRef, QueryInterface).
template <typename Interface>
class CComPtr : private CScopedResource<ComInterfaceTraits<Interface>> {
    using Base = CScopedResource<ComInterfaceTraits<Interface>>;

public:
    CComPtr() = default;
    // Takes over a reference the caller holds.
    explicit CComPtr(Interface* adopted) : Base(adopted) {}

    using Base::get;
    using Base::operator bool;
    // Releases the held reference (if any) and takes over adopted's.
    using Base::reset;
    // Releases the held reference and hands out the empty slot for a call
    // that returns an interface through an Interface** parameter.
    using Base::put;
    // put() for calls that take a void** (QueryInterface, CoCreateInstance).
    void** put_void() { return reinterpret_cast<void**>(put()); }
    // Gives up the reference without releasing it.
    Interface* detach() { return Base::release(); }

    Interface* operator->() const { return get(); }

    // The held object's interface iid into other, which then holds its own
    // reference. E_POINTER when nothing is held.
    template <typename Other>
    HRESULT QueryInterface(REFIID iid, CComPtr<Other>& other) const {
        if (!get()) return E_POINTER;
        return get()->QueryInterface(iid, other.put_void());
    }
};

// A BSTR (SysAllocString / SysFreeString).
using CBstr = CScopedHandle<BSTR, ::SysFreeString>;

// A safe array (SafeArrayCreate... / SafeArrayDestroy, which also frees the
// BSTRs and releases the interfaces it holds).
using CSafeArray = CScopedHandle<SAFEARRAY*, ::SafeArrayDestroy>;

// A VARIANT that is initialised when made and cleared (VariantClear: its
// BSTR freed, its interface released) when it goes or is replaced.
class CVariant {
public:
    CVariant() { ::VariantInit(&m_value); }
    ~CVariant() { ::VariantClear(&m_value); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    CVariant(CVariant&& other) noexcept : m_value(other.m_value) { ::VariantInit(&other.m_value); }
    CVariant& operator=(CVariant&& other) noexcept {
        if (this != &other) {
            ::VariantClear(&m_value);
            m_value = other.m_value;
            ::VariantInit(&other.m_value);
        }
        return *this;
    }

    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }
    // Empties the variant (VT_EMPTY).
    void reset() { ::VariantClear(&m_value); }
    // Empties the variant and hands it out for a call that fills a VARIANT*.
    VARIANT* put() {
        reset();
        return &m_value;
    }
    // Replaces the value with a BSTR copy of text. False, with the old value
    // kept, when the copy cannot be made.
    bool SetText(const wchar_t* text) {
        const BSTR copy = ::SysAllocString(text);
        if (!copy) return false;
        ::VariantClear(&m_value);
        m_value.vt = VT_BSTR;
        m_value.bstrVal = copy;
        return true;
    }
    // Replaces the value with a copy of source (VariantCopy).
    HRESULT CopyFrom(const VARIANT& source) {
        // VariantCopy only reads its source; its declaration lacks the const.
        return ::VariantCopy(put(), const_cast<VARIANT*>(&source));
    }

private:
    VARIANT m_value;
};
