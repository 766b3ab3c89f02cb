#include "toolkit/CreationText.h"

#include <gtest/gtest.h>

namespace {

TEST(CreationText, InlineHtmlAddressOrClassName) {
    EXPECT_EQ(ClassifyCreationText(L"MSHTML:<b>x</b>"), CreationKind::kInlineHtml);
    EXPECT_EQ(ClassifyCreationText(L"mshtml:<b>x</b>"), CreationKind::kInlineHtml);
    EXPECT_EQ(ClassifyCreationText(L"http://127.0.0.1/wd/tov/index.htm"), CreationKind::kAddress);
    // The game window's text: no colon right after MSHTML, one inside the address.
    EXPECT_EQ(ClassifyCreationText(L"MSHTML<HTML><BODY><IFRAME scrolling='auto' src='http://h/wd/tov/index.htm'/>"
                                   L"</BODY></HTML>"),
              CreationKind::kAddress);
    EXPECT_EQ(ClassifyCreationText(L"Shell.Explorer.2"), CreationKind::kClassName);
    EXPECT_EQ(ClassifyCreationText(L"MSHTML"), CreationKind::kClassName);
    EXPECT_EQ(ClassifyCreationText(L""), CreationKind::kClassName);
}

}  // namespace
