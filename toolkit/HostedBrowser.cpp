#include "toolkit/HostedBrowser.h"

#include <exdispid.h>

#include "toolkit/ControlHost.h"

HRESULT CHostedBrowser::Host(HWND host, const wchar_t* creationText, IDispatch* sink, const VARIANT* address) {
    const HRESULT created = CreateControlInHost(host, creationText);
    if (created != S_OK) return created;
    if (FAILED(QueryHostedControl(host, IID_IWebBrowser2, m_browser)) || !m_browser) return created;
    Advise(sink);
    CVariant target;
    if (address) target.CopyFrom(*address);
    m_browser->Navigate2(target.get(), nullptr, nullptr, nullptr, nullptr);
    m_browser->put_Silent(1);
    return created;
}

void CHostedBrowser::Advise(IDispatch* sink) {
    CComPtr<IConnectionPointContainer> container;
    if (!sink || FAILED(m_browser.QueryInterface(IID_IConnectionPointContainer, container)) || !container) return;
    if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, m_events.put())) || !m_events) return;
    if (FAILED(m_events->Advise(sink, &m_dwCookie))) m_events.reset();
}

void CHostedBrowser::Disconnect() {
    if (m_events) m_events->Unadvise(m_dwCookie);
    m_events.reset();
    m_dwCookie = 0;
    m_browser.reset();
}
