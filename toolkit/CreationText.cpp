#include "toolkit/CreationText.h"

#include <cwctype>

CreationKind ClassifyCreationText(std::wstring_view text) {
    constexpr std::wstring_view kInline = L"mshtml:";
    if (text.size() >= kInline.size()) {
        bool inlineHtml = true;
        for (size_t i = 0; i < kInline.size(); ++i) {
            if (static_cast<wchar_t>(std::towlower(text[i])) != kInline[i]) inlineHtml = false;
        }
        if (inlineHtml) return CreationKind::kInlineHtml;
    }
    return text.find(L':') != std::wstring_view::npos ? CreationKind::kAddress : CreationKind::kClassName;
}
