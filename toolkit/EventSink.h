// The IDispatch plumbing of a browser or control event sink that a window
// embeds. It answers IUnknown, IDispatch and its one event interface with
// itself and offers no type information or names. Each sink brings its own
// reference answers (AddRef, Release) and its own event table (Invoke).
#pragma once

#include <windows.h>
#include <oaidl.h>

class CEventSink : public IDispatch {
public:
    // QueryInterface: E_POINTER for a null out-pointer; otherwise it is
    // cleared, and IUnknown, IDispatch and the event interface give the sink
    // itself (through AddRef); anything else E_NOINTERFACE.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != m_events) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

protected:
    // events: the dispatch interface the sink is advised for.
    explicit CEventSink(const IID& events) : m_events(events) {}
    ~CEventSink() = default;
    CEventSink(const CEventSink&) = delete;
    CEventSink& operator=(const CEventSink&) = delete;

private:
    const IID& m_events;
};
