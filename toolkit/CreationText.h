// How the control host reads a creation text. No Windows header.
#pragma once

#include <string_view>

enum class CreationKind {
    kInlineHtml,  // "MSHTML:" (any letter case) then HTML
    kAddress,     // any other text holding a colon: a web browser navigated to it
    kClassName,   // anything else: a control's class name
};

CreationKind ClassifyCreationText(std::wstring_view text);
