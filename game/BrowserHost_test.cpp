#include "game/BrowserHost.h"

#include <exdisp.h>
#include <oleidl.h>

#include <gtest/gtest.h>

#include "common/GamePage.h"
#include "toolkit/CreationText.h"

namespace {

TEST(InvokeEvent, AnswersItsThreeInterfacesAndCountsNoReferences) {
    CInvokeEvent sink;  // not attached to a window
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sink.AddRef(), 1u);
        EXPECT_EQ(sink.Release(), 0u);
        EXPECT_EQ(sink.Release(), 0u);
    }
    for (const IID& iid : {IID_IUnknown, IID_IDispatch, DIID_DWebBrowserEvents2}) {
        void* object = nullptr;
        EXPECT_EQ(sink.QueryInterface(iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IDispatch*>(&sink));
    }
    void* object = &sink;
    EXPECT_EQ(sink.QueryInterface(IID_IOleObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(sink.QueryInterface(IID_IDispatch, nullptr), E_POINTER);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&sink);
    EXPECT_EQ(sink.GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);
    // Events before the sink has its window change nothing and fail nothing.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(sink.Invoke(113, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink.Invoke(113, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST(InvokeEvent, TheCreationTextFramesTheGamePageAndReadsAsAnAddress) {
    const std::wstring text = GameCreationText();
    EXPECT_EQ(text.rfind(L"MSHTML<HTML><BODY><IFRAME scrolling='auto' src='http://", 0), 0u);
    const std::wstring tail = L"/wd/tov/index.htm'/></BODY></HTML>";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(ClassifyCreationText(text.c_str()), CreationKind::kAddress);
}

}  // namespace
